#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "records/record_model.h"

namespace tarvik {

// Reads a file through a window of it held in memory: a walk over the records of a file, or
// over its segments in file order, costs one read per window instead of one per record.
// The window starts small and doubles while reads go forward through the file, so that a few
// pieces taken here and there do not cost a whole window each.
class FileWindow {
 public:
  explicit FileWindow(size_t max_bytes = size_t{1} << 20) : max_bytes_(max_bytes) {}
  // The bytes [offset, offset + n) of the file that exist (fewer at its end, none outside it);
  // valid until the next call or until the file changes. Call Reset when it does.
  std::span<const uint8_t> View(BinaryFile& file, int64_t offset, size_t n);
  void Reset() {
    held_ = 0;
    window_bytes_ = kFirstBytes;
  }

 private:
  static constexpr size_t kFirstBytes = size_t{64} << 10;
  size_t max_bytes_;
  size_t window_bytes_ = kFirstBytes;
  int64_t start_ = 0;
  // The window's bytes, not cleared before each read: held_ of capacity_ are the file's.
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_ = 0;
  size_t held_ = 0;
};

// Decodes segments by their sample type code. Keeps the last file open, so that the many
// segments of one packet file are read without reopening it.
class SampleReader {
 public:
  // The segment's samples: Count values, zeros where the file holds none (an unknown code, a
  // file that cannot be opened, data that ends early). A Count beyond what the file could
  // possibly hold is cut to that bound, so a damaged count never allocates more than the file.
  // sound, when given, receives how many of the samples, from the first on, are recorded
  // data: those after it were never in the file, and a block whose check fails (a Steim or GCF
  // block whose last sample disagrees with its reverse integration constant) has none.
  std::vector<int32_t> Read(const TRecordDescription& segment, int64_t* sound = nullptr);
  // How many samples Read gives for the segment.
  int64_t Count(const TRecordDescription& segment);
  // Read's samples written to out, whose size is Count(segment); every position is written,
  // whatever out held before.
  void ReadInto(const TRecordDescription& segment, std::span<int32_t> out,
                int64_t* sound = nullptr);

 private:
  BinaryFile* FileFor(const std::string& path);

  BinaryFile file_;
  FileWindow window_;
  std::string path_;
  bool open_failed_ = false;
};

// One segment's samples; see SampleReader::Read.
std::vector<int32_t> ReadSamples(const TRecordDescription& segment);

// The most samples that any sample encoding can store in a file of this many bytes.
int64_t MaxSamplesInFile(int64_t file_size);

// Decompresses a bzip2 stream into at most max_bytes bytes; stops when the output is full.
// Returns the bytes produced (what was decoded before any damage in the stream).
std::vector<uint8_t> Bzip2Decompress(const uint8_t* data, size_t size, size_t max_bytes);

// Compresses bytes with bzip2 (block size 9).
std::vector<uint8_t> Bzip2Compress(const uint8_t* data, size_t size);

}  // namespace tarvik
