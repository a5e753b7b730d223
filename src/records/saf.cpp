#include "records/saf.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <vector>

#include "common/binary_file.h"
#include "common/datetime.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/rounding.h"
#include "common/text_encoding.h"
#include "records/float_samples.h"

namespace tarvik {

namespace {

constexpr std::string_view kFirstLine = "SESAME ASCII data format (saf)";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Highest sampling rate taken for a recording.
constexpr double kMaxRate = 1e6;
// Rows are written into the matrix this many at a time.
constexpr size_t kChunk = 4096;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         AsciiUpper(text.substr(0, prefix.size())) == AsciiUpper(prefix);
}

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';';
}

// The whitespace-separated fields of text.
std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsSeparator(text[pos])) ++pos;
    size_t end = pos;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end > pos) out.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

// Reads lines of LF or CR LF text, counting them.
class Lines {
 public:
  explicit Lines(const std::string& path) : in_(path, std::ios::binary) {}
  bool IsOpen() const { return static_cast<bool>(in_); }
  bool Next(std::string& line) {
    if (!std::getline(in_, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number_;
    return true;
  }
  int64_t Number() const { return number_; }

 private:
  std::ifstream in_;
  int64_t number_ = 0;
};

std::optional<TDateTime> ParseStart(std::string_view text) {
  const std::vector<std::string_view> f = Fields(text);
  if (f.size() != 6) return std::nullopt;
  std::array<int32_t, 5> parts{};
  for (size_t i = 0; i < 5; ++i) {
    const std::optional<int32_t> v = ParseInt32(f[i]);
    if (!v) return std::nullopt;
    parts[i] = *v;
  }
  const std::optional<double> seconds = ParseDouble(f[5]);
  const auto [year, month, day, hour, minute] = parts;
  if (!seconds || year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || *seconds < 0.0 || *seconds >= 61.0) {
    return std::nullopt;
  }
  return EncodeDateTime(year, month, day, hour, minute) + *seconds / kSecondsPerDay;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// Reads the first line and the "KEY = value" lines up to the "####" line; lines stays at the
// first data row.
std::optional<SafHeader> ParseHeader(Lines& lines, const std::string& path, TStatus* why) {
  const auto refuse = [why](TCode code, std::vector<TArg> args = {}) {
    RefuseFile(why, Refusal(code, std::move(args)));
    return std::nullopt;
  };
  std::string line;
  if (!lines.Next(line)) return refuse(TCode::kRefuseFileEmpty);
  std::string_view first = line;
  if (first.starts_with(kUtf8Bom)) first.remove_prefix(kUtf8Bom.size());
  if (!StartsWithNoCase(first, kFirstLine)) {
    return refuse(TCode::kRefuseSafFirstLine, {kFirstLine});
  }
  SafHeader h;
  const std::vector<std::string_view> words = Fields(first.substr(kFirstLine.size()));
  const std::string_view number = words.size() >= 2 && AsciiUpper(words[0]) == "V." ? words[1]
                                  : !words.empty() && StartsWithNoCase(words[0], "V.")
                                      ? words[0].substr(2)
                                      : std::string_view();
  const std::optional<int32_t> version = ParseInt32(number);
  if (!version || (*version != 1 && *version != 2)) {
    return refuse(TCode::kRefuseSafVersion);
  }
  h.Version = *version;

  std::optional<std::string> station, start, rate, samples;
  std::array<std::optional<std::string>, 3> ids;
  bool separated = false;
  while (lines.Next(line)) {
    if (line.starts_with("####")) {
      separated = true;
      break;
    }
    if (line.starts_with("#")) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;  // free text some writers add
    const std::string key = AsciiUpper(Trim(std::string_view(line).substr(0, eq)));
    std::string value = Trim(std::string_view(line).substr(eq + 1));
    if (key == "STA_CODE")
      station = value;
    else if (key == "START_TIME")
      start = value;
    else if (key == "SAMP_FREQ")
      rate = value;
    else if (key == "NDAT")
      samples = value;
    else if (key == "CH0_ID")
      ids[0] = value;
    else if (key == "CH1_ID")
      ids[1] = value;
    else if (key == "CH2_ID")
      ids[2] = value;
  }
  if (!separated) return refuse(TCode::kRefuseSafNoSeparator);
  h.HeaderLines = static_cast<int32_t>(std::min<int64_t>(lines.Number(), INT32_MAX));
  if (!start) return refuse(TCode::kRefuseHeaderHasNo, {"START_TIME"});
  if (!rate) return refuse(TCode::kRefuseHeaderHasNo, {"SAMP_FREQ"});
  if (!samples) return refuse(TCode::kRefuseHeaderHasNo, {"NDAT"});
  const std::optional<TDateTime> when = ParseStart(*start);
  if (!when) {
    return refuse(TCode::kRefuseSafStart, {"START_TIME", Quoted(*start)});
  }
  h.Start = *when;
  const std::optional<double> hz = ParseDouble(*rate);
  if (!hz || !(*hz > 0.0) || *hz > kMaxRate) {
    return refuse(TCode::kRefuseSafRate, {"SAMP_FREQ", Quoted(*rate)});
  }
  h.Rate = *hz;
  const std::optional<int32_t> n = ParseInt32(*samples);
  if (!n || *n < 0) return refuse(TCode::kRefuseSafCount, {"NDAT", Quoted(*samples)});
  h.Samples = *n;
  static constexpr const char* kUsual[] = {"V", "N", "E"};
  for (size_t c = 0; c < 3; ++c) {
    h.Channels[c] = ids[c] && !ids[c]->empty() ? ShortName(*ids[c]) : kUsual[c];
  }
  h.Station = station && !station->empty() ? *station : FileName(path);
  if (!station || station->empty()) {
    const size_t dot = h.Station.rfind('.');
    if (dot != std::string::npos && dot > 0) h.Station.resize(dot);
  }
  return h;
}

using RowSink = std::function<void(int64_t row, const std::array<double, 3>& values)>;

// Walks the rows after the header, handing each to sink. Refuses (false, *why) a row that does
// not hold three numbers, a blank line before the last row (row n is line header + n, which
// the text segments rely on) and a row count other than NDAT.
bool WalkRows(Lines& lines, const SafHeader& h, const RowSink& sink, TStatus* why) {
  std::string line;
  int64_t row = 0;
  int64_t blank = 0;  // the first blank line, 0 while there is none
  while (lines.Next(line)) {
    const std::vector<std::string_view> f = Fields(line);
    if (f.empty()) {
      if (blank == 0) blank = lines.Number();
      continue;
    }
    if (blank != 0) {
      TStatus refusal = Refusal(TCode::kRefuseBlankLineAmongRows, {std::to_string(blank)});
      refusal.Line = blank;
      return RefuseFile(why, std::move(refusal));
    }
    // The row by its number and its line.
    const auto refuse_row = [&](TCode code, TArg what) {
      TStatus refusal =
          Refusal(code, {std::to_string(row + 1), std::to_string(lines.Number()), std::move(what)});
      refusal.Line = lines.Number();
      refusal.Record = static_cast<int>(std::min<int64_t>(row, INT32_MAX));
      return RefuseFile(why, std::move(refusal));
    };
    if (f.size() < 3) {
      return refuse_row(f.size() == 1 ? TCode::kRefuseSafRowValue : TCode::kRefuseSafRowValues,
                        std::to_string(f.size()));
    }
    std::array<double, 3> values{};
    for (size_t c = 0; c < 3; ++c) {
      const std::optional<double> v = ParseDouble(f[c]);
      if (!v) return refuse_row(TCode::kRefuseSafRowNotNumber, Quoted(f[c]));
      values[c] = *v;
    }
    if (row >= h.Samples) {
      return RefuseFile(why,
                        Refusal(TCode::kRefuseSafMoreRows, {"NDAT", std::to_string(h.Samples)}));
    }
    sink(row, values);
    ++row;
  }
  if (row != h.Samples) {
    return RefuseFile(why, Refusal(TCode::kRefuseSafRowCount,
                                   {"NDAT", std::to_string(h.Samples), std::to_string(row)}));
  }
  return true;
}

}  // namespace

bool LooksLikeSafStart(std::string_view text) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return StartsWithNoCase(text, kFirstLine);
}

bool IsSafFile(const std::string& path) {
  BinaryFile file;
  if (!file.Open(path, false)) return false;
  char head[64] = {};
  const size_t got = file.ReadAt(0, head, sizeof head);
  return LooksLikeSafStart(std::string_view(head, got));
}

int32_t SafAxis(std::string_view id) {
  const std::string upper = AsciiUpper(Trim(id));
  if (upper.empty()) return -1;
  if (upper.ends_with("UD")) return 2;
  if (upper.ends_with("NS")) return 1;
  if (upper.ends_with("EW")) return 0;
  switch (upper.back()) {
    case 'Z':
    case 'V':
    case 'U':
      return 2;
    case 'N':
      return 1;
    case 'E':
      return 0;
    default:
      return -1;
  }
}

std::optional<SafFile> ReadSafFile(const std::string& path, TStatus* why) {
  Lines lines(path);
  if (!lines.IsOpen()) {
    RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
    return std::nullopt;
  }
  std::optional<SafHeader> h = ParseHeader(lines, path, why);
  if (!h) return std::nullopt;
  std::array<FloatScale, 3> scales;
  const auto add = [&](int64_t, const std::array<double, 3>& v) {
    for (size_t c = 0; c < 3; ++c) scales[c].Add(v[c]);
  };
  if (!WalkRows(lines, *h, add, why)) return std::nullopt;
  SafFile file;
  file.Header = std::move(*h);
  for (size_t c = 0; c < 3; ++c) file.Scales[c] = scales[c].Scale();
  return file;
}

bool ReadSafHeader(const std::string& path, TFileRecordInfo& info, double /*default_rate*/,
                   TStatus* why) {
  info.Reset();
  const std::optional<SafFile> f = ReadSafFile(path, why);
  if (!f) return false;
  const SafHeader& h = f->Header;
  info.Station = h.Station;
  info.Start = h.Start;
  info.SampRate = h.Rate;
  info.ChannelCount = 3;
  for (size_t c = 0; c < 3; ++c) {
    info.ChannelNames[c] = h.Channels[c];
    info.ChannelCoefs[c] = f->Scales[c];
    info.ChannelAxes[c] = SafAxis(h.Channels[c]);
  }
  info.SampleCount = h.Samples;
  info.BlockSamples = h.Samples;
  info.BlockCount = 1;
  return true;
}

void BuildSafSegments(const std::string& path, TRecList& list, const std::string& /*station*/) {
  const std::optional<SafFile> f = ReadSafFile(path);
  if (!f) return;
  const SafHeader& h = f->Header;
  for (size_t c = 0; c < 3; ++c) {
    TRecordDescription seg;
    seg.FileName = path;
    seg.Station = h.Station;
    seg.Location = "00";
    seg.Channel = h.Channels[c];
    seg.StartTime = h.Start;
    seg.SampRate = h.Rate;
    seg.Count = h.Samples;
    seg.DataType = kSampleTextFloat;
    // Text segments count their offset in lines and pick a column when a stride is given.
    seg.Offset = h.HeaderLines;
    seg.Skip = static_cast<int32_t>(c);
    seg.Stride = 1;
    seg.Calib = 1.0 / f->Scales[c];
    list.Add(std::move(seg));
  }
}

void ReadSafInto(const std::string& path, LoadTarget& target) {
  if (target.Data == nullptr) return;
  Lines lines(path);
  const std::optional<SafHeader> parsed = ParseHeader(lines, path, nullptr);
  if (!parsed) return;
  const SafHeader& h = *parsed;
  const double first_rate = target.First.SampRate > 0.0 ? target.First.SampRate : h.Rate;
  if (std::abs(h.Rate - first_rate) > 1e-9 * first_rate) return;
  // Each record channel takes the file's column of the same name, else the one at its place;
  // every file of the record is scaled as its first file is.
  const int channels = std::min(target.ChannelCount(), 3);
  std::array<size_t, 3> column{0, 1, 2};
  std::array<double, 3> scale{1.0, 1.0, 1.0};
  for (int c = 0; c < channels; ++c) {
    const auto k = static_cast<size_t>(c);
    const std::string& name = target.First.ChannelNames[k];
    const auto named = std::find(h.Channels.begin(), h.Channels.end(), name);
    if (named != h.Channels.end()) column[k] = static_cast<size_t>(named - h.Channels.begin());
    const double s = target.First.ChannelCoefs[k];
    if (s > 0.0 && std::isfinite(s)) scale[k] = s;
  }
  const int64_t length = target.Length();
  // A file whose time lies far outside the record (a damaged time stamp) adds nothing.
  const double place = (h.Start - target.RecordStart) * kSecondsPerDay * first_rate;
  if (!(place > -static_cast<double>(h.Samples) - 1.0 &&
        place < static_cast<double>(length) + 1.0)) {
    return;
  }
  const int64_t offset = RoundToInt64(place);
  std::array<std::vector<int32_t>, 3> chunk;
  int64_t chunk_start = 0;  // the row of chunk's first values
  const auto flush = [&] {
    for (int c = 0; c < channels; ++c) target.Write(c, offset + chunk_start, chunk[c]);
    chunk_start += static_cast<int64_t>(chunk[0].size());
    for (auto& v : chunk) v.clear();
  };
  const auto take = [&](int64_t row, const std::array<double, 3>& v) {
    const int64_t at = offset + row;
    if (at < 0 || at >= length) {
      if (chunk[0].empty()) chunk_start = row + 1;
      return;
    }
    for (int c = 0; c < channels; ++c) {
      const auto k = static_cast<size_t>(c);
      chunk[k].push_back(ScaleSample(v[column[k]], scale[k]));
    }
    if (chunk[0].size() >= kChunk) flush();
  };
  WalkRows(lines, h, take, nullptr);
  flush();
  if (h.Samples > 0) {
    target.Position = std::max(target.Position, std::min(offset + h.Samples, length));
  }
}

}  // namespace tarvik
