#include "records/ugr.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/paths.h"
#include "common/rounding.h"

namespace tarvik {

namespace {

// Position (0-based) of the component letter in the file name.
constexpr size_t kComponentPos = 9;

// The two decimal digits at 1-based position pos of name; -1 when they are not digits.
int TwoDigits(const std::string& name, size_t pos) {
  if (name.size() < pos + 1) return -1;
  const char a = name[pos - 1];
  const char b = name[pos];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  return (a - '0') * 10 + (b - '0');
}

// Samples per channel of a file of this size: nothing but 4-byte samples.
int32_t SamplesOfSize(int64_t file_size) {
  return ClampToInt32(std::max<int64_t>(file_size, 0) / 4);
}

// The file holds nothing but the counts of a 24-bit converter, so they stay far inside ±2^28;
// text, pictures or random bytes read as int32 mostly do not (text never: its bytes put every
// value beyond 2^29). Up to the first 4096 samples are looked at; one in a hundred may be out
// of range (glitches) before the file is taken for something else.
TStatus ImplausibleCounts(BinaryFile& file) {
  constexpr int64_t kLooked = 4096;
  constexpr int64_t kBound = int64_t{1} << 28;
  const int64_t n = std::min<int64_t>(file.Size() / 4, kLooked);
  const std::vector<uint8_t> bytes = file.ReadBytes(0, static_cast<size_t>(n) * 4);
  int64_t beyond = 0;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const int64_t v = LoadI32LE(&bytes[i]);
    if (v >= kBound || v <= -kBound) ++beyond;
  }
  if (100 * beyond <= n) return {};
  return Refusal(TCode::kRefuseUgrCounts, {std::to_string(beyond), std::to_string(n)});
}

}  // namespace

std::optional<TDateTime> UgrStartFromName(const std::string& path) {
  const std::string name = FileName(path);
  const int year = TwoDigits(name, 1);
  const int month = TwoDigits(name, 3);
  const int day = TwoDigits(name, 5);
  const int hour = TwoDigits(name, 8);
  const int minute = TwoDigits(name, 11);
  const int second = TwoDigits(name, 13);
  const int hundredths = TwoDigits(name, 16);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59 || hundredths < 0) {
    return std::nullopt;
  }
  return EncodeDateTime(2000 + year, month, day, hour, minute, second, hundredths * 10);
}

std::string UgrStationFromName(const std::string& path) {
  const std::string ext = FileExtension(FileName(path));
  if (ext.size() <= 4) return {};
  return ext.substr(4, 3);
}

double UgrRateFromSize(int64_t file_size, double default_rate) {
  const int64_t samples = file_size / 4;
  if (samples == 6000) return 50.0;
  if (samples == 12000) return 100.0;
  if (file_size >= 48004 && file_size <= 96003) return 200.0;
  return default_rate;
}

std::string UgrComponentPath(const std::string& path, char component) {
  const std::string folder = FolderOf(path);
  std::string name = FileName(path);
  if (name.size() <= kComponentPos) return {};
  name[kComponentPos] = component;
  return JoinPath(folder, name);
}

bool ReadUgrHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                   TStatus* why) {
  info.Reset();
  BinaryFile file;
  if (!file.Open(path)) return RefuseFile(why, Refusal(TCode::kRefuseNotOpened));
  const std::optional<TDateTime> start = UgrStartFromName(path);
  if (!start) {
    return RefuseFile(why, Refusal(TCode::kRefuseUgrName));
  }
  if (file.Size() < 4) return RefuseFile(why, Refusal(TCode::kRefuseNoSample, {"4"}));
  if (TStatus implausible = ImplausibleCounts(file); !implausible.Ok()) {
    return RefuseFile(why, std::move(implausible));
  }
  info.Station = UgrStationFromName(path);
  info.Start = *start;
  info.SampRate = UgrRateFromSize(file.Size(), default_rate);
  info.ChannelCount = 3;
  static constexpr const char* kNames[] = {"E", "N", "Z"};
  for (size_t i = 0; i < 3; ++i) {
    info.ChannelNames[i] = kNames[i];
    info.ChannelCoefs[i] = 1e6;
  }
  info.BlockCount = 1;
  info.SampleCount = SamplesOfSize(file.Size());
  info.BlockSamples = info.SampleCount;
  return true;
}

void ReadUgrInto(const std::string& path, LoadTarget& target) {
  BinaryFile self;
  if (!self.Open(path)) return;
  const int32_t count = SamplesOfSize(self.Size());
  if (target.Data != nullptr) {
    const int64_t length = target.Length();
    // Only the part of the file that lands inside the matrix is read.
    const int64_t first = std::max<int64_t>(0, -target.Position);
    const int64_t last = std::min<int64_t>(count, length - target.Position);
    const int channels = std::min(target.First.ChannelCount, kMaxChannels);
    constexpr int64_t kChunk = 65536;
    std::vector<int32_t> samples;
    for (int ch = 0; ch < channels && first < last; ++ch) {
      const std::string& name = target.First.ChannelNames[static_cast<size_t>(ch)];
      if (name.empty()) continue;
      BinaryFile file;
      if (!file.Open(UgrComponentPath(path, name[0]))) continue;
      for (int64_t at = first; at < last; at += kChunk) {
        const int64_t n = std::min(kChunk, last - at);
        const std::vector<uint8_t> bytes = file.ReadBytes(at * 4, static_cast<size_t>(n) * 4);
        samples.resize(bytes.size() / 4);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = LoadI32LE(&bytes[i * 4]);
        target.Write(ch, target.Position + at, samples);
        if (static_cast<int64_t>(samples.size()) < n) break;  // the component's file ends here
      }
    }
  }
  target.Position += count;
}

}  // namespace tarvik
