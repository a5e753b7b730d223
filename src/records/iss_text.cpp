#include "records/iss_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/binary_file.h"
#include "common/number_text.h"
#include "common/rounding.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

// A data table row: a 10-character time field, then X, Y and Z.
bool ParseRow(std::string_view line, std::array<double, 3>& xyz) {
  if (line.size() <= 10) return false;
  line.remove_prefix(10);
  for (double& v : xyz) {
    size_t b = 0;
    while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
    size_t e = b;
    while (e < line.size() && line[e] != ' ' && line[e] != '\t') ++e;
    if (!ParseInto(ParseDouble(line.substr(b, e - b)), v)) return false;
    line.remove_prefix(e);
  }
  return true;
}

constexpr std::string_view kTableMark = "\fIntegrated";

// Channel places beyond the 32 a record holds are dropped.
constexpr int kPlacesPerTrigger = 3;

}  // namespace

TIssKeyReader::TIssKeyReader(std::string text)
    : text_(std::move(text)), lines_(SplitLines(text_)) {}

std::optional<std::string> TIssKeyReader::Find(std::string_view key) {
  while (next_ < lines_.size()) {
    const std::string_view line = lines_[next_++];
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)) != key) continue;
    std::string_view value = line.substr(eq + 1);
    const size_t semicolon = value.find(';');
    if (semicolon != std::string_view::npos) value = value.substr(0, semicolon);
    return Trim(value);
  }
  return std::nullopt;
}

std::string TIssKeyReader::Value(std::string_view key) {
  return Find(key).value_or("0");
}

bool TIssKeyReader::SkipToTable() {
  while (next_ < lines_.size()) {
    if (lines_[next_++].substr(0, kTableMark.size()) == kTableMark) return true;
  }
  return false;
}

std::optional<std::string_view> TIssKeyReader::NextLine() {
  if (next_ >= lines_.size()) return std::nullopt;
  return lines_[next_++];
}

std::optional<std::string_view> TIssKeyReader::PeekLine() const {
  if (next_ >= lines_.size()) return std::nullopt;
  return lines_[next_];
}

TDateTime TIssTrigger::Start() const {
  const TDateTime time = UnixToDateTime(TimeSec + TimeUsec / 1e6);
  if (!(Rate > 0.0)) return time;
  return time - SpanOfSamples(static_cast<double>(TriggerPosition), Rate);
}

IssRead ReadIssFileKeys(TIssKeyReader& reader, TIssFileKeys& keys) {
  const std::optional<std::string> sec = reader.Find("t_time.tv_sec");
  if (!sec) return IssRead::kEnd;
  double s = 0.0, us = 0.0;
  if (!ParseInto(ParseDouble(*sec), s) ||
      !ParseInto(ParseDouble(reader.Value("t_time.tv_usec")), us) ||
      !ParseInto(ParseInt64(reader.Value("no_of_triggers")), keys.TriggerCount)) {
    return IssRead::kDamaged;
  }
  keys.Time = UnixToDateTime(s + us / 1e6);
  for (size_t i = 0; i < keys.SiteIds.size(); ++i) {
    keys.SiteIds[i] = reader.Value("site_ids[" + std::to_string(i) + "]");
  }
  return IssRead::kOk;
}

IssRead ReadIssTriggerKeys(TIssKeyReader& reader, TIssTrigger& t) {
  const std::optional<std::string> sec = reader.Find("t_time.tv_sec");
  if (!sec) return IssRead::kEnd;
  bool ok = ParseInto(ParseDouble(*sec), t.TimeSec) &&
            ParseInto(ParseDouble(reader.Value("t_time.tv_usec")), t.TimeUsec) &&
            ParseInto(ParseInt64(reader.Value("TriggerPosition")), t.TriggerPosition) &&
            ParseInto(ParseInt64(reader.Value("duration")), t.Duration) &&
            ParseInto(ParseInt64(reader.Value("NoPoints")), t.Points);
  if (!ok) return IssRead::kDamaged;
  t.Enabled[0] = reader.Value("X_enabled") == "1";
  t.Enabled[1] = reader.Value("Y_enabled") == "1";
  t.Enabled[2] = reader.Value("Z_enabled") == "1";
  ok = ParseInto(ParseInt64(reader.Value("site_id")), t.SiteId) &&
       ParseInto(ParseDouble(reader.Value("DCoffset[0]")), t.DcOffset[0]) &&
       ParseInto(ParseDouble(reader.Value("DCoffset[1]")), t.DcOffset[1]) &&
       ParseInto(ParseDouble(reader.Value("DCoffset[2]")), t.DcOffset[2]) &&
       ParseInto(ParseDouble(reader.Value("decimated_sampling_rate")), t.Rate);
  return ok ? IssRead::kOk : IssRead::kDamaged;
}

std::string IssChannelName(int component, int64_t site_id) {
  static constexpr const char* kPrefixes[] = {"EX", "NY", "ZZ"};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%2.2lld", kPrefixes[std::clamp(component, 0, 2)],
                static_cast<long long>(site_id));
  return ShortName(buf);
}

int64_t IssResampledLength(int64_t n, double q) {
  return RoundToInt64(static_cast<double>(n) * q);
}

int32_t IssResampledAt(const std::vector<int32_t>& in, double q, int64_t g) {
  const auto n = static_cast<int64_t>(in.size());
  if (n == 0) return 0;
  // With a single sample there is nothing to interpolate between: it is repeated.
  if (g <= 0 || n == 1) return in.front();
  const double x = static_cast<double>(g) / q;
  // Past the last pair the line through it is continued; x is only converted when it is small.
  const int64_t t = x >= static_cast<double>(n - 2) ? n - 2 : static_cast<int64_t>(x);
  const int64_t lo = in[static_cast<size_t>(t)];
  const int64_t hi = in[static_cast<size_t>(t + 1)];
  const double step = (x - static_cast<double>(t)) * static_cast<double>(hi - lo);
  return RoundToInt32Clamped(static_cast<double>(lo) + static_cast<double>(RoundToInt64(step)));
}

bool ReadIssHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                   TStatus* why) {
  info.Reset();
  BinaryFile probe;
  if (!probe.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
  probe.Close();
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  TIssKeyReader reader(std::string(bytes.begin(), bytes.end()));
  TIssFileKeys keys;
  switch (ReadIssFileKeys(reader, keys)) {
    case IssRead::kOk:
      break;
    case IssRead::kEnd:
      return RefuseFile(why, Refusal(TCode::kRefuseIssNoFileTime, {"t_time.tv_sec"}));
    case IssRead::kDamaged:
      return RefuseFile(why, Refusal(TCode::kRefuseIssKeysNotNumbers));
  }
  if (keys.TriggerCount < 0) return RefuseFile(why, Refusal(TCode::kRefuseIssNegativeTriggers));

  std::vector<std::string> sites;
  for (const std::string& id : keys.SiteIds) {
    if (id != "0") sites.push_back(id);
  }
  std::sort(sites.begin(), sites.end());
  for (const std::string& id : sites) info.Station += (info.Station.empty() ? "" : "_") + id;

  info.Start = keys.Time;
  TDateTime latest_end = keys.Time;
  bool have_trigger = false;
  bool damaged = false;
  // Every trigger is read from lines that follow the previous one, so the loop ends with the
  // file however large the stated count.
  for (int64_t k = 0; k < keys.TriggerCount; ++k) {
    TIssTrigger trigger;
    const IssRead r = ReadIssTriggerKeys(reader, trigger);
    if (r != IssRead::kOk) {
      damaged = r == IssRead::kDamaged;
      if (damaged) RefuseFile(why, Refusal(TCode::kRefuseIssTriggerKey, {std::to_string(k + 1)}));
      break;
    }
    for (int c = 0; c < kPlacesPerTrigger; ++c) {
      const int64_t place = k * kPlacesPerTrigger + c;
      if (place >= kMaxChannels) break;
      const auto p = static_cast<size_t>(place);
      info.ChannelNames[p] = trigger.Enabled[static_cast<size_t>(c)]
                                 ? IssChannelName(c, trigger.SiteId)
                                 : std::string();
      // Samples are nanometres already; a unit coefficient keeps them so.
      info.ChannelCoefs[p] = 1.0;
      info.ChannelCount = static_cast<int32_t>(place + 1);
    }
    if (!(trigger.Rate > 0.0)) continue;
    const TDateTime start = trigger.Start();
    const double length =
        static_cast<double>(trigger.TriggerPosition) + static_cast<double>(trigger.Duration);
    const TDateTime end = start + SpanOfSamples(length, trigger.Rate);
    if (!have_trigger) latest_end = end;
    have_trigger = true;
    info.Start = std::min(info.Start, start);
    latest_end = std::max(latest_end, end);
    info.SampRate = std::max(info.SampRate, trigger.Rate);
  }
  const int64_t samples =
      info.SampRate > 0.0 ? SamplesInSpan(latest_end - info.Start, info.SampRate) : 0;
  info.SampleCount = ClampToInt32(std::max<int64_t>(samples, 0));
  info.BlockSamples = info.SampleCount;
  info.BlockCount = 1;
  return !damaged;
}

void ReadIssInto(const std::string& path, LoadTarget& target) {
  TFileRecordInfo own;
  ReadIssHeader(path, own, target.DefaultRate);
  const double record_rate = target.First.SampRate;
  const bool first_file = target.Position == 0;
  if (target.Data != nullptr && record_rate > 0.0) {
    TData32& data = *target.Data;
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    TIssKeyReader reader(std::string(bytes.begin(), bytes.end()));
    TIssFileKeys keys;
    const bool readable = ReadIssFileKeys(reader, keys) == IssRead::kOk;
    for (int64_t k = 0; readable && k < keys.TriggerCount; ++k) {
      TIssTrigger trigger;
      if (ReadIssTriggerKeys(reader, trigger) != IssRead::kOk) break;
      if (!(trigger.Rate > 0.0)) continue;
      // Kept well inside int64 so that adding the position cannot overflow.
      constexpr int64_t kFar = int64_t{1} << 60;
      const int64_t offset =
          first_file
              ? std::clamp<int64_t>(
                    SamplesInSpan(trigger.Start() - target.RecordStart, record_rate), -kFar, kFar)
              : 0;

      std::array<std::vector<int32_t>, 3> rows;
      if (reader.SkipToTable() && reader.NextLine() && reader.NextLine()) {
        // A table shorter than NoPoints ends at the first line that is not a row; that line is
        // left for the next trigger's keys.
        for (int64_t i = 0; i < trigger.Points; ++i) {
          const std::optional<std::string_view> line = reader.PeekLine();
          std::array<double, 3> xyz{};
          if (!line || !ParseRow(*line, xyz)) break;
          reader.NextLine();
          for (size_t c = 0; c < 3; ++c) {
            rows[c].push_back(RoundToInt32Clamped((xyz[c] + trigger.DcOffset[c]) * 1e9));
          }
        }
      }
      if (rows[0].empty()) continue;  // no table: nothing to write, nothing to pad

      int channel = 0;
      const std::string x_name = IssChannelName(0, trigger.SiteId);
      for (int i = 0; i < std::min(target.First.ChannelCount, kMaxChannels); ++i) {
        if (target.First.ChannelNames[static_cast<size_t>(i)] == x_name) {
          channel = i;
          break;
        }
      }
      const bool resample = trigger.Rate < record_rate;
      const double q = resample ? record_rate / trigger.Rate : 1.0;
      const int64_t n = static_cast<int64_t>(rows[0].size());
      const int64_t made = resample ? IssResampledLength(n, q) : n;
      const int64_t padded = std::clamp<int64_t>(trigger.TriggerPosition, -kFar, kFar) +
                             std::clamp<int64_t>(trigger.Duration, -kFar, kFar);
      const int64_t total = std::max(made, padded);
      const int64_t base = target.Position + offset;
      for (int c = 0; c < 3; ++c) {
        const int ch = channel + c;
        if (ch < 0 || static_cast<size_t>(ch) >= data.size()) continue;
        std::vector<int32_t>& dst = data[static_cast<size_t>(ch)];
        // Only the samples that land inside the matrix are computed.
        const int64_t g_first = std::max<int64_t>(0, -base);
        const int64_t g_last = std::min(total, static_cast<int64_t>(dst.size()) - base);
        const std::vector<int32_t>& in = rows[static_cast<size_t>(c)];
        const int32_t last = resample ? IssResampledAt(in, q, made - 1) : in.back();
        for (int64_t g = g_first; g < g_last; ++g) {
          int32_t v = last;
          if (g < made) v = resample ? IssResampledAt(in, q, g) : in[static_cast<size_t>(g)];
          dst[static_cast<size_t>(base + g)] = v;
        }
        // The rows read (resampled or not) are data; the last row repeated after them is not.
        target.MarkWritten(ch, base + g_first, std::min(g_last, made) - g_first);
      }
    }
  }
  target.Position += own.SampleCount;
}

}  // namespace tarvik
