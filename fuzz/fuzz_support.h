// Plumbing shared by the fuzz targets: a scratch folder of the process's own for the files made
// from each input, and the usual walk of a format over one file (header, segments, samples).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "records/load_target.h"
#include "records/read_samples.h"
#include "records/record_model.h"

namespace tarvik::fuzz {

// A folder under the temp directory that belongs to this process alone (its name carries the
// pid and a random number, so parallel fuzzing jobs never share files, and a folder search by
// a reader sees only what this process wrote). Removed with everything in it when the process
// ends normally.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("tarvik-fuzz-" + std::to_string(getpid()) + "-" +
               std::to_string(std::random_device{}()))) {
    // Throws when the folder cannot be made: a run whose inputs never reach a file tests nothing.
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The path of the named file inside the folder.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The process's scratch folder, made on first use.
inline const ScratchFolder& Scratch() {
  static const ScratchFolder kFolder;
  return kFolder;
}

// Writes size bytes from data to the file at path, replacing what it held.
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Writes size bytes from data to the named file of the scratch folder, replacing what it held;
// returns the file's path.
inline std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = Scratch().File(name);
  WriteFile(path, data, size);
  return path;
}

using HeaderReader = bool (*)(const std::string& path, TFileRecordInfo& info, double default_rate,
                              TStatus* why);
using SegmentBuilder = void (*)(const std::string& path, TRecList& list,
                                const std::string& station);

// What a format's readers made of one file.
struct FileReading {
  TFileRecordInfo Info;
  TRecList Segments;
};

struct EverySegment {
  bool operator()(const TRecordDescription&) const { return true; }
};

// Runs a format's header reader (default rate 100 Hz) and segment builder (no station) over the
// file, then reads the samples of each segment that wanted accepts, in list order, through one
// SampleReader as the loader does.
template <typename Wanted = EverySegment>
FileReading ReadEverySegment(const std::string& path, HeaderReader read_header,
                             SegmentBuilder build_segments, Wanted wanted = {}) {
  FileReading reading;
  TStatus why;
  // A refusal always says why.
  if (!read_header(path, reading.Info, 100.0, &why) && why.Ok()) __builtin_trap();
  build_segments(path, reading.Segments, "");
  SampleReader reader;
  for (const TRecordDescription& segment : reading.Segments.Items) {
    if (!wanted(segment)) continue;
    int64_t sound = -1;
    const std::vector<int32_t> samples = reader.Read(segment, &sound);
    // The recorded samples are some of those read, from the first.
    if (sound < 0 || sound > static_cast<int64_t>(samples.size())) __builtin_trap();
  }
  return reading;
}

using SequentialReader = void (*)(const std::string& path, LoadTarget& target);

// Runs a format's sequential reader into a zeroed matrix of first's channels (bounded to
// 0..kMaxChannels) by length samples, with first as the record's first header and writing from
// position on.
inline void ReadIntoMatrix(const std::string& path, SequentialReader read_into,
                           const TFileRecordInfo& first, int64_t length, int64_t position) {
  TData32 matrix(static_cast<size_t>(std::clamp(first.ChannelCount, 0, kMaxChannels)),
                 std::vector<int32_t>(static_cast<size_t>(length), 0));
  LoadTarget target;
  target.Data = &matrix;
  target.First = first;
  target.Position = position;
  read_into(path, target);
}

// Runs a format's sequential reader into a record of first's header (up to 4096 samples) that
// starts at the file, a little before it and a little after it, as a record of several files
// may; the reader never moves its position outside the matrix.
inline void ReadIntoShiftedRecords(const std::string& path, SequentialReader read_into,
                                   const TFileRecordInfo& first) {
  if (first.ChannelCount <= 0 || !(first.SampRate > 0.0)) return;
  const int64_t length = std::clamp<int64_t>(first.SampleCount, 0, 4096);
  for (int64_t shift : {int64_t{0}, int64_t{-3}, int64_t{5}}) {
    TData32 matrix(static_cast<size_t>(std::clamp(first.ChannelCount, 0, kMaxChannels)),
                   std::vector<int32_t>(static_cast<size_t>(length), 0));
    LoadTarget target;
    target.Data = &matrix;
    target.First = first;
    target.RecordStart = first.Start + static_cast<double>(shift) / first.SampRate / 86400.0;
    read_into(path, target);
    if (target.Position < 0 || target.Position > length) __builtin_trap();
  }
}

}  // namespace tarvik::fuzz
