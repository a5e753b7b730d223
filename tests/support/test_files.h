#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvik::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The full path of name inside the folder.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// The corpus of real files: TARVIK_TESTDATA_DIR + "/" + relative.
std::string RealFile(const std::string& relative);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

// Appends big- or little-endian values to a byte vector (for the tests' small file writers).
void PutU16BE(std::vector<uint8_t>& b, uint16_t v);
void PutU32BE(std::vector<uint8_t>& b, uint32_t v);
void PutU16LE(std::vector<uint8_t>& b, uint16_t v);
void PutU32LE(std::vector<uint8_t>& b, uint32_t v);
void PutText(std::vector<uint8_t>& b, const std::string& text, size_t width, char pad = ' ');

}  // namespace tarvik::testing
