#include "common/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace tarvik {

namespace {

// Code points of Windows-1251 bytes 0x80..0xFF.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ToCp1251(uint32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x410 && cp <= 0x44F) return static_cast<char>(cp - 0x410 + 0xC0);
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == cp && cp != 0xFFFD) return static_cast<char>(0x80 + i);
  }
  return '?';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

// The length of the UTF-8 sequence that lead begins; 0 for a byte that begins none.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// The code point of the sequence of len bytes at utf8[i]; nullopt when it is not well formed.
std::optional<uint32_t> DecodeUtf8(std::string_view utf8, size_t i, size_t len) {
  if (len == 0 || i + len > utf8.size()) return std::nullopt;
  static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  uint32_t cp = static_cast<unsigned char>(utf8[i]) & kLeadBits[len];
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(utf8[i + k]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  return cp;
}

}  // namespace

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
  // Most texts of the program's files are ASCII, which both encodings write alike.
  if (IsAscii(cp1251)) return std::string(cp1251);
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (char ch : cp1251) {
    const auto b = static_cast<unsigned char>(ch);
    AppendUtf8(out, b < 0x80 ? b : kHigh[b - 0x80]);
  }
  return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t len = SequenceLength(static_cast<unsigned char>(utf8[i]));
    if (len > 0 && i + len > utf8.size()) {
      out += '?';  // a sequence cut by the end of the text
      break;
    }
    const std::optional<uint32_t> cp = DecodeUtf8(utf8, i, len);
    if (!cp) {
      out += '?';
      ++i;
      continue;
    }
    out += ToCp1251(*cp);
    i += len;
  }
  return out;
}

std::string FirstCharacterNotInCp1251(std::string_view utf8) {
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t len = SequenceLength(static_cast<unsigned char>(utf8[i]));
    const std::optional<uint32_t> cp = DecodeUtf8(utf8, i, len);
    if (!cp) {
      char text[8];
      std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(utf8[i] & 0xFF));
      return text;
    }
    if (*cp != '?' && ToCp1251(*cp) == '?') return std::string(utf8.substr(i, len));
    i += len;
  }
  return "";
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string Trim(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string TrimRight(std::string_view text) {
  size_t e = text.size();
  while (e > 0 && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(0, e));
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace tarvik
