#include "common/binary_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tarvik {

namespace {

constexpr int64_t kBufferSize = 64 * 1024;

int Seek(std::FILE* f, int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(f, offset, whence);
#else
  return std::fseek(f, static_cast<long>(offset), whence);
#endif
}

int64_t Tell(std::FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return std::ftell(f);
#endif
}

}  // namespace

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      position_(std::exchange(other.position_, -1)),
      buffered_(other.buffered_) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = std::exchange(other.file_, nullptr);
    size_ = std::exchange(other.size_, 0);
    position_ = std::exchange(other.position_, -1);
    buffered_ = other.buffered_;
  }
  return *this;
}

bool BinaryFile::Open(const std::string& path, bool buffered) {
  Close();
  // A folder opens like a file on Linux and then claims a size of 2^63 - 1 bytes.
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::path(path), ec)) return false;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  // Packet files are read as many small pieces in order: a large buffer turns them into few
  // system reads.
  buffered_ = buffered;
  if (buffered) {
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
  } else {
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  if (Seek(file_, 0, SEEK_END) != 0) {
    Close();
    return false;
  }
  size_ = Tell(file_);
  if (size_ < 0 || Seek(file_, 0, SEEK_SET) != 0) {
    Close();
    return false;
  }
  position_ = 0;
  return true;
}

void BinaryFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  position_ = -1;
}

size_t BinaryFile::ReadAt(int64_t offset, void* dst, size_t n) {
  if (file_ == nullptr || offset < 0 || offset >= size_ || n == 0) return 0;
  const auto available = static_cast<uint64_t>(size_ - offset);
  if (n > available) n = static_cast<size_t>(available);
  if (buffered_ && position_ >= 0 && offset > position_ && offset - position_ <= kBufferSize) {
    // A short skip forward (the header of the next packet) is read through: a seek would
    // throw the buffer away.
    uint8_t scratch[4096];
    int64_t gap = offset - position_;
    while (gap > 0) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(gap, sizeof scratch));
      const size_t got = std::fread(scratch, 1, want, file_);
      position_ += static_cast<int64_t>(got);
      gap -= static_cast<int64_t>(got);
      if (got != want) break;
    }
  }
  if (position_ != offset) {
    if (Seek(file_, offset, SEEK_SET) != 0) {
      position_ = -1;
      return 0;
    }
  }
  const size_t got = std::fread(dst, 1, n, file_);
  position_ = offset + static_cast<int64_t>(got);
  if (got != n) position_ = -1;
  return got;
}

std::vector<uint8_t> BinaryFile::ReadBytes(int64_t offset, size_t n) {
  std::vector<uint8_t> out;
  if (file_ == nullptr || offset < 0 || offset >= size_) return out;
  const auto available = static_cast<uint64_t>(size_ - offset);
  if (n > available) n = static_cast<size_t>(available);
  out.resize(n);
  out.resize(ReadAt(offset, out.data(), n));
  return out;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path, int64_t max_bytes) {
  BinaryFile f;
  if (!f.Open(path) || f.Size() > max_bytes) return {};
  return f.ReadBytes(0, static_cast<size_t>(f.Size()));
}

}  // namespace tarvik
