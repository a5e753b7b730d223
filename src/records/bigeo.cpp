#include "records/bigeo.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/binary_file.h"
#include "common/number_text.h"

namespace tarvik {

namespace {

// The table is a few text lines at the head of the file; a longer line is not part of it.
constexpr size_t kMaxLineLength = 4096;
constexpr size_t kReadChunk = 1 << 16;

// Reads a line's fields in the order and widths they were written: fixed-width texts take
// exactly their width from where the previous field ended, numbers skip leading blanks.
class LineFields {
 public:
  explicit LineFields(std::string_view line) : line_(line) {}

  std::string_view Text(size_t width) {
    const std::string_view out = line_.substr(pos_, width);
    pos_ += out.size();
    return out;
  }

  bool Number(double& value) {
    SkipBlanks();
    size_t used = 0;
    if (!ParseInto(ParseLeadingDouble(line_.substr(pos_), &used), value)) return false;
    pos_ += used;
    return true;
  }

  bool Integer(int64_t& value) {
    SkipBlanks();
    size_t i = pos_;
    if (i < line_.size() && (line_[i] == '+' || line_[i] == '-')) ++i;
    const size_t digits = i;
    while (i < line_.size() && i - digits < 18 &&
           std::isdigit(static_cast<unsigned char>(line_[i]))) {
      ++i;
    }
    if (i == digits) return false;
    if (i < line_.size() && std::isdigit(static_cast<unsigned char>(line_[i]))) return false;
    value = std::strtoll(std::string(line_.substr(pos_, i - pos_)).c_str(), nullptr, 10);
    pos_ = i;
    return true;
  }

 private:
  void SkipBlanks() {
    while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
  }

  std::string_view line_;
  size_t pos_ = 0;
};

// One channel line: its sample count, data type and data offset.
struct ChannelLine {
  int64_t Count = 0;
  std::string Type;
  int64_t Offset = 0;
};

bool ParseChannelLine(std::string_view line, ChannelLine& out) {
  LineFields f(line);
  double number = 0.0;
  f.Text(7);
  f.Text(7);
  if (!f.Number(number)) return false;
  if (!f.Integer(out.Count) || out.Count < 0) return false;
  for (int i = 0; i < 3; ++i) {
    if (!f.Number(number)) return false;
  }
  f.Text(8);
  out.Type = std::string(f.Text(2));
  if (out.Type.size() != 2) return false;
  if (!f.Integer(out.Offset) || out.Offset < 0) return false;
  f.Text(26);
  return true;
}

// Reads the file line by line from the start.
class LineReader {
 public:
  explicit LineReader(BinaryFile& file) : file_(file) {}

  // The next line without its line end; false at the end of the file or for an over-long line.
  bool Next(std::string& line) {
    line.clear();
    for (;;) {
      if (at_ == buffer_.size()) {
        buffer_ = file_.ReadBytes(offset_, kReadChunk);
        offset_ += static_cast<int64_t>(buffer_.size());
        at_ = 0;
        if (buffer_.empty()) return !line.empty();
      }
      const uint8_t c = buffer_[at_++];
      if (c == '\n') break;
      if (line.size() == kMaxLineLength) return false;
      line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

 private:
  BinaryFile& file_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0;
  int64_t offset_ = 0;
};

}  // namespace

bool IsBiGeoFile(const std::string& path) {
  BinaryFile file;
  if (!file.Open(path)) return false;
  const int64_t size = file.Size();
  LineReader reader(file);
  std::string line;
  ChannelLine channel;
  if (!reader.Next(line) || !ParseChannelLine(line, channel)) return false;
  // Counts are in bytes for text data ("a4"), otherwise in 4-byte samples.
  const int64_t unit = channel.Type == "a4" ? 1 : 4;
  int64_t end = channel.Offset;
  for (;;) {
    if (channel.Count > (size - end) / unit) return false;  // past the end of the file
    end += channel.Count * unit;
    if (end == size) return true;
    if (!reader.Next(line) || !ParseChannelLine(line, channel)) return false;
  }
}

}  // namespace tarvik
