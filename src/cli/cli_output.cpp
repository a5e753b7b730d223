#include "cli/cli_output.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>

#include "cli/cli_texts.h"
#include "records/formats.h"

namespace tarvik::cli {

namespace {
TLanguage cli_language = TLanguage::kEnglish;
}  // namespace

TLanguage Language() {
  return cli_language;
}

void SetLanguage(TLanguage language) {
  cli_language = language;
}

namespace {

// format (its text in the command line's language) with args.
std::string Formatted(const char* format, va_list args) {
  const std::string told = TrFormat(format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, told.c_str(), args);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, told.c_str(), again);
  va_end(again);
  return text;
}

}  // namespace

std::string Told(TCode code, std::vector<TArg> args) {
  return Text(MakeStatus(code, std::move(args)), cli_language);
}

std::string Told(const TStatus& status) {
  return Text(status, cli_language);
}

void ErrLine(TCode code, std::vector<TArg> args) {
  const std::string text = Told(code, std::move(args)) + "\n";
  std::fputs(text.c_str(), stderr);
}

void OutLine(TCode code, std::vector<TArg> args) {
  const std::string text = Told(code, std::move(args)) + "\n";
  std::fputs(text.c_str(), stdout);
}

OptionRefusal::OptionRefusal(const std::string& name, TStatus status)
    : CLI::ValidationError(name, Text(status, TLanguage::kEnglish)),
      status_(MakeStatus(TCode::kCliOptionRefused, {name, std::move(status)})) {}

void ErrReason(std::string_view command, std::string_view text) {
  const std::string line = std::string(command) + ": " + std::string(text) + "\n";
  std::fputs(line.c_str(), stderr);
}

void ErrReason(std::string_view command, const TStatus& status) {
  ErrReason(command, Told(status));
}

std::string Printed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

void ErrPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Formatted(format, args);
  va_end(args);
  std::fputs(text.c_str(), stderr);
}

void OutPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Formatted(format, args);
  va_end(args);
  std::fputs(text.c_str(), stdout);
}

std::string FormatNumber(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  // Prefer the shortest text that reads back to the same value.
  for (int digits = 6; digits < 17; ++digits) {
    char shorter[64];
    std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
    if (std::strtod(shorter, nullptr) == value) return shorter;
  }
  return buf;
}

nlohmann::ordered_json HeaderJson(const std::string& path, FormatTag tag,
                                  const TFileRecordInfo& info) {
  nlohmann::ordered_json j;
  j["file"] = path;
  if (tag == 0) {
    j["tag"] = 0;
  } else {
    j["tag"] = TagText(tag);
  }
  j["station"] = info.Station;
  j["start"] = FormatIso(info.Start);
  j["start_days"] = info.Start;
  j["samp_rate"] = info.SampRate;
  j["sample_count"] = info.SampleCount;
  j["channel_count"] = info.ChannelCount;
  j["block_count"] = info.BlockCount;
  j["block_samples"] = info.BlockSamples;
  nlohmann::ordered_json channels = nlohmann::ordered_json::array();
  const int n = std::clamp(info.ChannelCount, 0, kMaxChannels);
  for (int c = 0; c < n; ++c) {
    channels.push_back({{"name", info.ChannelNames[c]}, {"coef", info.ChannelCoefs[c]}});
  }
  j["channels"] = channels;
  return j;
}

FileReading ReadFileHeader(const std::string& path, double default_rate, TFileRecordInfo& info) {
  FileReading reading;
  info.Reset();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    reading.Error = MakeStatus(TCode::kCliNoSuchFile);
    return reading;
  }
  reading.Tag = Recognize(path);
  const FormatInfo* format = FindFormat(reading.Tag);
  if (format == nullptr) {
    reading.Error = MakeStatus(TCode::kCliNotSeismogram);
  } else if (format->ReadHeader == nullptr) {
    reading.Error = MakeStatus(TCode::kCliFormatUnreadable, {format->Name});
  } else if (const TStatus read = ReadHeader(path, reading.Tag, info, default_rate); !read.Ok()) {
    reading.Error = MakeStatus(TCode::kCliNotReadAs, {format->Name, read});
  }
  return reading;
}

std::optional<int64_t> HeldSamples(const std::string& path, FormatTag tag,
                                   const TFileRecordInfo& info) {
  const FormatInfo* format = FindFormat(tag);
  if (format == nullptr || format->BuildSegments == nullptr) return std::nullopt;
  TRecList list;
  format->BuildSegments(path, list, info.Station);
  std::map<std::string, int64_t> per_channel;
  for (const TRecordDescription& seg : list.Items) {
    if (seg.Station != info.Station) continue;
    per_channel[seg.Location + "." + seg.Channel] += std::max(seg.Count, 0);
  }
  int64_t held = 0;
  for (const auto& [channel, count] : per_channel) held = std::max(held, count);
  return held;
}

std::string HeaderText(const std::string& path, FormatTag tag, const TFileRecordInfo& info,
                       std::optional<int64_t> held) {
  std::string out = path + "\n";
  const FormatInfo* format = FindFormat(tag);
  const auto line = [&out](TCode code, std::vector<TArg> args) {
    out += Told(code, std::move(args)) + "\n";
  };
  line(TCode::kCliFieldFormat,
       {TagText(tag) + (format ? std::string(" (") + format->Name + ")" : "")});
  if (tag == 0) return out;
  line(TCode::kCliFieldStation, {info.Station});
  line(TCode::kCliFieldStart, {FormatIso(info.Start)});
  line(TCode::kCliFieldRate, {FormatNumber(info.SampRate)});
  line(TCode::kCliFieldFileSamples, {std::to_string(info.SampleCount)});
  if (held) line(TCode::kCliFieldHeld, {std::to_string(*held)});
  line(TCode::kCliFieldBlocks,
       {std::to_string(info.BlockCount), std::to_string(info.BlockSamples)});
  line(TCode::kCliFieldChannels, {std::to_string(info.ChannelCount)});
  const int n = std::clamp(info.ChannelCount, 0, kMaxChannels);
  for (int c = 0; c < n; ++c) {
    out += "    " + std::to_string(c + 1) + "\t" + info.ChannelNames[c] + "\t" +
           FormatNumber(info.ChannelCoefs[c]) + "\n";
  }
  return out;
}

CLI::Validator PositiveNumber() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double value = 0.0;
        if (CLI::detail::lexical_cast(text, value) && std::isfinite(value) && value > 0.0) {
          return {};
        }
        return "must be a number above 0, not " + text;
      },
      "POSITIVE");
}

}  // namespace tarvik::cli
