#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tarvik {

// A read-only file with positioned, bounds-checked reads. Reads never go past the end of the
// file: they return what is there. The file is closed when the object goes away.
class BinaryFile {
 public:
  BinaryFile() = default;
  explicit BinaryFile(const std::string& path) { Open(path); }
  ~BinaryFile() { Close(); }
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;

  // Opens the file; false when it cannot be opened or its size cannot be taken. A buffered file
  // suits reads of many small pieces in order; an unbuffered one reads exactly the bytes asked
  // for, which suits a few bytes taken here and there from a large file (record headers).
  bool Open(const std::string& path, bool buffered = true);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  int64_t Size() const { return size_; }

  // Reads up to n bytes from offset into dst; returns the number read (0 outside the file).
  size_t ReadAt(int64_t offset, void* dst, size_t n);
  // True when all n bytes at offset were read.
  bool ReadExact(int64_t offset, void* dst, size_t n) { return ReadAt(offset, dst, n) == n; }
  // The bytes [offset, offset + n) that exist in the file.
  std::vector<uint8_t> ReadBytes(int64_t offset, size_t n);

 private:
  std::FILE* file_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = -1;  // where the stream stands, to skip redundant seeks
  bool buffered_ = true;
};

// The whole file, or an empty vector when it cannot be read; refuses files above max_bytes.
std::vector<uint8_t> ReadWholeFile(const std::string& path, int64_t max_bytes = int64_t{1} << 34);

}  // namespace tarvik
