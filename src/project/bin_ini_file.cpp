#include "project/bin_ini_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>

#include "common/binary_file.h"
#include "common/bytes.h"
#include "common/datetime.h"
#include "common/text_encoding.h"

namespace tarvik {

namespace {

// A project file larger than this is not a project file.
constexpr int64_t kMaxProjectBytes = int64_t{1} << 30;
// The binary writer's first room; a project's values are kept until the file is written.
constexpr size_t kWriteBufferBytes = 64 * 1024;

bool IsSevenBit(std::string_view text) {
  // One OR over all bytes, which the compiler vectorises: the whole text of a project is
  // tested before it is written.
  unsigned char bits = 0;
  for (char c : text) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(const uint8_t* p, size_t units) {
  std::string out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = LoadU16LE(p + 2 * i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const uint32_t lo = LoadU16LE(p + 2 * (i + 1));
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

// INI lines cannot hold line breaks: they would start new lines in the file.
// The value itself when it has none; otherwise a copy in out with blanks in their place.
std::string_view OneLine(std::string_view value, std::string& out) {
  // One test over every byte, which the compiler vectorises: every value written is tested.
  bool breaks = false;
  for (char c : value) breaks |= (c == '\r') | (c == '\n');
  if (!breaks) return value;
  out.assign(value);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

// TrimView's work on a text that starts or ends with a blank.
std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
  };
  size_t b = 0;
  size_t e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

// As Trim: the text without surrounding blanks. Every blank is a control character or the
// space: a text that starts and ends with anything above them, as nearly every line, name and
// value does, is its own, which this small function, made inline, tells at once.
inline std::string_view TrimView(std::string_view text) {
  if (text.empty() || (static_cast<unsigned char>(text.front()) > ' ' &&
                       static_cast<unsigned char>(text.back()) > ' '))
    return text;
  return TrimBlanks(text);
}

bool ParseUnsigned(std::string_view text, int base, uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return ec == std::errc() && end == text.data() + text.size();
}

// Reads an unsigned decimal field of at most max_digits digits at text[pos...].
bool TakeNumber(std::string_view text, size_t& pos, size_t max_digits, int& value) {
  size_t n = 0;
  int v = 0;
  while (pos + n < text.size() && n < max_digits && text[pos + n] >= '0' && text[pos + n] <= '9') {
    v = v * 10 + (text[pos + n] - '0');
    ++n;
  }
  if (n == 0) return false;
  pos += n;
  value = v;
  return true;
}

bool TakeChar(std::string_view text, size_t& pos, char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

// "h:nn[:ss[.zzz]]" at text[pos...] as a fraction of a day.
bool TakeTime(std::string_view text, size_t& pos, double& fraction) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (!TakeNumber(text, pos, 2, h) || !TakeChar(text, pos, ':') || !TakeNumber(text, pos, 2, m))
    return false;
  if (TakeChar(text, pos, ':')) {
    if (!TakeNumber(text, pos, 2, s)) return false;
    if (TakeChar(text, pos, '.')) {
      const size_t start = pos;
      if (!TakeNumber(text, pos, 3, ms)) return false;
      for (size_t d = pos - start; d < 3; ++d) ms *= 10;
    }
  }
  if (h > 23 || m > 59 || s > 59) return false;
  fraction = (((h * 60.0 + m) * 60.0 + s) * 1000.0 + ms) / (kSecondsPerDay * 1000.0);
  return true;
}

// A byte of text with every byte of a word at once: the top bit of each byte of the result is
// set where the byte of x equals c, and no other bit is. Exact: no carry crosses a byte.
uint64_t BytesEqual(uint64_t x, char c) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const uint64_t t = x ^ (0x0101010101010101ull * static_cast<uint8_t>(c));
  return ~(((t & kLow7) + kLow7) | t) & ~kLow7;
}

// Where the line starting at text[start] ends: its first CR or LF, or the end of the text. eq
// gets the first "=" before that end (left as it is when there is none). Eight bytes at a
// step: the lines of a project are short, and a search of the C library per byte sought costs
// more than the line.
size_t LineEnd(std::string_view text, size_t start, size_t& eq) {
  const char* const base = text.data();
  size_t i = start;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= text.size(); i += 8) {
      uint64_t x = 0;
      std::memcpy(&x, base + i, 8);
      const uint64_t breaks = BytesEqual(x, '\n') | BytesEqual(x, '\r');
      uint64_t equals = eq == std::string_view::npos ? BytesEqual(x, '=') : 0;
      // The "=" signs after the line's end are not its own.
      if (breaks != 0) equals &= breaks ^ (breaks - 1);
      if (equals != 0) eq = i + static_cast<size_t>(std::countr_zero(equals)) / 8;
      if (breaks != 0) return i + static_cast<size_t>(std::countr_zero(breaks)) / 8;
    }
  }
  for (; i < text.size(); ++i) {
    const char c = base[i];
    if (c == '\n' || c == '\r') return i;
    if (c == '=' && eq == std::string_view::npos) eq = i;
  }
  return i;
}

// The whole of a text file as it is stored; empty when it cannot be read or is too large.
std::string ReadWholeText(const std::string& path) {
  BinaryFile f;
  std::string out;
  if (!f.Open(path) || f.Size() <= 0 || f.Size() > kMaxProjectBytes) return out;
  out.resize(static_cast<size_t>(f.Size()));
  out.resize(f.ReadAt(0, out.data(), out.size()));
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Number and date-time texts.

size_t FormatProjectFloatTo(double value, char (&out)[kProjectFloatChars]) {
  const auto put = [&out](std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return text.size();
  };
  if (std::isnan(value)) return put("NAN");
  if (std::isinf(value)) return put(value > 0 ? "INF" : "-INF");
  if (value == 0.0) return put("0");
  // As "%.14e" prints it, without the locale and the parsing of a format:
  // d.dddddddddddddde[+-]xx.
  char buf[40];
  const char* const end =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14).ptr;
  char digits[15];
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, 14);
  size_t count = 15;
  while (count > 1 && digits[count - 1] == '0') --count;
  int exponent = 0;
  for (const char* e = buf + 18; e < end; ++e) exponent = exponent * 10 + (*e - '0');
  if (buf[17] == '-') exponent = -exponent;

  char* p = out;
  if (value < 0) *p++ = '-';
  const auto copy = [&p](const char* from, size_t n) {
    std::memcpy(p, from, n);
    p += n;
  };
  if (exponent >= -5 && exponent < 15) {
    if (exponent >= 0) {
      const size_t int_digits = static_cast<size_t>(exponent) + 1;
      if (count <= int_digits) {
        copy(digits, count);
        p = std::fill_n(p, int_digits - count, '0');
      } else {
        copy(digits, int_digits);
        *p++ = '.';
        copy(digits + int_digits, count - int_digits);
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      p = std::fill_n(p, -exponent - 1, '0');
      copy(digits, count);
    }
  } else {
    *p++ = digits[0];
    if (count > 1) {
      *p++ = '.';
      copy(digits + 1, count - 1);
    }
    *p++ = 'E';
    if (exponent < 0) *p++ = '-';
    p = std::to_chars(p, out + sizeof out, std::abs(exponent)).ptr;
  }
  return static_cast<size_t>(p - out);
}

std::string FormatProjectFloat(double value) {
  char buf[kProjectFloatChars];
  return std::string(buf, FormatProjectFloatTo(value, buf));
}

namespace {

// The text without surrounding blanks and without one leading sign, which sets negative.
std::string_view WithoutBlanksAndSign(std::string_view t, bool& negative) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  negative = !t.empty() && t.front() == '-';
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) t.remove_prefix(1);
  return t;
}

}  // namespace

bool ParseProjectFloat(std::string_view text, double& value) {
  bool negative = false;
  std::string_view t = WithoutBlanksAndSign(text, negative);
  if (t.empty() || t.front() == '+' || t.front() == '-') return false;
  double v = 0.0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // Fifteen digits round the largest double up to 1.79769313486232E308, beyond the range: a
    // text up to that bound is the largest double as it was written, not an overflow.
    long double wide = 0.0L;
    const auto [wide_end, wide_ec] = std::from_chars(t.data(), t.data() + t.size(), wide);
    if (wide_ec != std::errc() || wide_end != end || wide > 1.79769313486232e308L || wide < 1.0L)
      return false;
    v = std::numeric_limits<double>::max();
    ec = std::errc();
  }
  if (ec != std::errc() || end != t.data() + t.size()) return false;
  value = negative ? -v : v;
  return true;
}

bool ParseProjectInteger(std::string_view text, int32_t& value) {
  bool negative = false;
  std::string_view t = WithoutBlanksAndSign(text, negative);
  uint64_t magnitude = 0;
  // Hexadecimal as "$FF" or "0xFF": the 32 bits as they stand.
  const size_t hex = !t.empty() && t.front() == '$'                                ? 1
                     : t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X') ? 2
                                                                                   : 0;
  if (hex > 0) {
    if (!ParseUnsigned(t.substr(hex), 16, magnitude) || magnitude > 0xFFFFFFFFu) return false;
    const auto bits = static_cast<uint32_t>(negative ? (0u - magnitude) : magnitude);
    value = static_cast<int32_t>(bits);
    return true;
  }
  if (!ParseUnsigned(t, 10, magnitude)) return false;
  if (negative) {
    if (magnitude > 2147483648u) return false;
    value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  } else {
    if (magnitude > 2147483647u) return false;
    value = static_cast<int32_t>(magnitude);
  }
  return true;
}

bool ParseProjectDateTime(std::string_view text, TDateTime& value) {
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  size_t pos = 0;
  // A time alone.
  if (t.find('.') == std::string_view::npos || t.find(':') < t.find('.')) {
    double fraction = 0.0;
    if (!TakeTime(t, pos, fraction) || pos != t.size()) return false;
    value = fraction;
    return true;
  }
  int d = 0, m = 0, y = 0;
  if (!TakeNumber(t, pos, 2, d) || !TakeChar(t, pos, '.') || !TakeNumber(t, pos, 2, m) ||
      !TakeChar(t, pos, '.'))
    return false;
  const size_t year_start = pos;
  if (!TakeNumber(t, pos, 4, y)) return false;
  if (pos - year_start <= 2) y += y < 50 ? 2000 : 1900;
  const std::chrono::year_month_day ymd{std::chrono::year{y},
                                        std::chrono::month{static_cast<unsigned>(m)},
                                        std::chrono::day{static_cast<unsigned>(d)}};
  if (m < 1 || m > 12 || d < 1 || !ymd.ok()) return false;
  double fraction = 0.0;
  if (pos < t.size()) {
    if (t[pos] != ' ') return false;
    while (pos < t.size() && t[pos] == ' ') ++pos;
    if (!TakeTime(t, pos, fraction) || pos != t.size()) return false;
  }
  value = static_cast<double>(DaysFromCivil(y, m, d)) + fraction;
  return true;
}

size_t ProjectContentHash(std::string_view bytes) {
  // Four independent lanes of multiply and rotate over 32 bytes at a step, so that hashing a
  // file costs about as much as reading it from memory; then the lanes and the tail mixed.
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  constexpr uint64_t kMix = 0xFF51AFD7ED558CCDull;
  uint64_t lanes[4] = {kMul, kMix, kMul ^ kMix, bytes.size()};
  const char* p = bytes.data();
  size_t n = bytes.size();
  for (; n >= 32; p += 32, n -= 32) {
    for (int l = 0; l < 4; ++l) {
      uint64_t x = 0;
      std::memcpy(&x, p + 8 * l, 8);
      lanes[l] = std::rotl((lanes[l] ^ x) * kMul, 31);
    }
  }
  uint64_t h = bytes.size() * kMix;
  for (const uint64_t lane : lanes) h = std::rotl((h ^ lane) * kMul, 27);
  for (; n > 0; ++p, --n) h = (h ^ static_cast<uint8_t>(*p)) * kMul;
  h ^= h >> 33;
  h *= kMix;
  h ^= h >> 33;
  return static_cast<size_t>(h);
}

// ---------------------------------------------------------------------------------------------
// Construction.

TBinIniFile::TBinIniFile(const std::string& file_name, bool binary, Mode mode)
    : binary_(binary), mode_(mode), file_name_(file_name) {
  if (mode_ == Mode::kRead) {
    if (binary_) {
      data_ = ReadWholeFile(file_name, kMaxProjectBytes);
      content_hash_ = ProjectContentHash(
          std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
    } else {
      ParseText(ReadWholeText(file_name));
    }
    return;
  }
  if (binary_) {
    out_ = std::fopen(file_name.c_str(), "wb");
    if (out_ == nullptr) Fail(TCode::kCannotCreateFile, file_name, errno);
    buffer_.reserve(kWriteBufferBytes);
  } else {
    streaming_ = true;
  }
}

TBinIniFile::TBinIniFile(std::vector<uint8_t> bytes, bool binary)
    : binary_(binary), mode_(Mode::kRead) {
  if (binary_) {
    data_ = std::move(bytes);
    content_hash_ = ProjectContentHash(
        std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
  } else {
    ParseText(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
}

TBinIniFile::~TBinIniFile() {
  Close();
}

void TBinIniFile::Fail(TCode code, const std::string& file_name, int error_number) {
  if (!error_.empty()) return;
  const std::string reason = std::strerror(error_number);
  error_ = (code == TCode::kCannotCreateFile ? "cannot create " : "cannot write ") + file_name +
           ": " + reason;
  failure_ = MakeStatus(code, {file_name, reason});
  failure_.File = file_name;
}

// ---------------------------------------------------------------------------------------------
// Text form.

void TBinIniFile::ParseText(std::string cp1251) {
  text_size_ = cp1251.size();
  content_hash_ = ProjectContentHash(cp1251);
  // An ASCII file is its own UTF-8: its bytes are kept as they were read.
  text_ = IsSevenBit(cp1251) ? std::move(cp1251) : Cp1251ToUtf8(cp1251);
  const std::string_view text = text_;
  const auto at = [&text](std::string_view part) {
    return static_cast<size_t>(part.data() - text.data());
  };
  size_t current = sections_.size();
  size_t start = 0;
  int number = 0;
  while (start <= text.size()) {
    // The line ends at its first CR or LF; the key at the line's first "=".
    size_t eq = std::string_view::npos;
    const size_t end = LineEnd(text, start, eq);
    const bool ended = end < text.size();
    const size_t line_end = end;
    ++number;
    const std::string_view line = TrimView(text.substr(start, end - start));
    // CR LF, LF and a lone CR all end a line.
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++start;
    if (line.empty()) {
      if (ended && last_text_line_ > 0) ends_with_empty_line_ = true;
      continue;
    }
    if (line[0] == ';') continue;
    last_text_line_ = number;
    last_line_unended_ = !ended;
    ends_with_empty_line_ = false;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      if (current < sections_.size()) Seal(sections_[current]);
      current = sections_.size();
      AddSection(std::string(TrimView(line.substr(1, line.size() - 2))), number);
      continue;
    }
    if (current == sections_.size()) continue;
    // A line without "=" is a key without a value.
    const std::string_view key =
        eq == std::string_view::npos ? line : TrimView(text.substr(at(line), eq - at(line)));
    const std::string_view value = eq == std::string_view::npos
                                       ? line.substr(line.size())
                                       : TrimView(text.substr(eq + 1, line_end - eq - 1));
    // Repeated keys are found when the section is sealed, all of its keys at once.
    sections_[current].Entries.push_back(Entry{at(key), at(value),
                                               static_cast<uint32_t>(key.size()),
                                               static_cast<uint32_t>(value.size()), number, true});
  }
  for (Section& section : sections_) Seal(section);
}

int TBinIniFile::SectionLine(std::string_view section) const {
  const size_t s = FindSection(section);
  return s == std::string::npos ? 0 : sections_[s].Line;
}

int TBinIniFile::KeyLine(std::string_view section, std::string_view key) const {
  const size_t s = FindSection(section);
  if (s == std::string::npos) return 0;
  Section& found = sections_[s];
  if (found.Sealed < found.Entries.size()) Seal(found);  // most reads find it sealed
  const size_t e = FindEntry(found, key);
  return e == std::string::npos ? 0 : found.Entries[e].Line;
}

bool TBinIniFile::HasKey(std::string_view section, std::string_view key) const {
  const size_t s = FindSection(section);
  if (s == std::string::npos) return false;
  Seal(sections_[s]);
  return FindEntry(sections_[s], key) != std::string::npos;
}

std::vector<std::pair<std::string, int>> TBinIniFile::SectionHeadings() const {
  std::vector<std::pair<std::string, int>> out;
  out.reserve(sections_.size());
  for (const Section& s : sections_) out.emplace_back(s.Name, s.Line);
  return out;
}

namespace {

using bin_ini_detail::LoadWord;
using bin_ini_detail::UpperWord;

}  // namespace

size_t TBinIniFile::NoCaseHash::operator()(std::string_view text) const {
  // Eight bytes at a step: a project's names are hashed hundreds of thousands of times.
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  uint64_t h = text.size() * kMul;
  const char* p = text.data();
  size_t n = text.size();
  if (n < 8) {
    h = std::rotl((h ^ UpperWord(LoadWord(p, n))) * kMul, 29);
  } else {
    for (; n > 8; p += 8, n -= 8) h = std::rotl((h ^ UpperWord(LoadWord(p, 8))) * kMul, 29);
    // The last eight bytes, which may overlap the ones hashed already.
    h = std::rotl((h ^ UpperWord(LoadWord(p + n - 8, 8))) * kMul, 29);
  }
  h ^= h >> 32;
  return static_cast<size_t>(h);
}

TBinIniFile::Section& TBinIniFile::AddSection(std::string name, int line) {
  // The first section of a name is the one that counts; a later one of the same name is kept
  // for writing back but never found.
  if (FindSection(name) == std::string::npos) {
    // At most half of the slots in use.
    if ((section_names_ + 1) * 2 > section_slots_.size()) {
      std::vector<std::pair<uint32_t, uint32_t>> old(
          std::max<size_t>(64, section_slots_.size() * 2));
      old.swap(section_slots_);
      const size_t mask = section_slots_.size() - 1;
      for (const auto& slot : old) {
        if (slot.second == 0) continue;
        size_t i = slot.first & mask;
        while (section_slots_[i].second != 0) i = (i + 1) & mask;
        section_slots_[i] = slot;
      }
    }
    const auto hash = static_cast<uint32_t>(NoCaseHash{}(name));
    const size_t mask = section_slots_.size() - 1;
    size_t i = hash & mask;
    while (section_slots_[i].second != 0) i = (i + 1) & mask;
    section_slots_[i] = {hash, static_cast<uint32_t>(sections_.size() + 1)};
    ++section_names_;
  }
  // Sections of a file tend to be alike (a project's record sections are): a new one gets
  // room for as many entries as the one before, up to a small section's worth, instead of
  // growing to it step by step.
  constexpr size_t kMaxRoom = 256;
  const size_t room = sections_.empty() ? 0 : std::min(sections_.back().Entries.size(), kMaxRoom);
  sections_.push_back(Section{std::move(name), line, std::pmr::vector<Entry>(&arena_), {}, 0});
  sections_.back().Entries.reserve(room);
  return sections_.back();
}

size_t TBinIniFile::FindSection(std::string_view name) const {
  if (section_slots_.empty()) return std::string::npos;
  const auto hash = static_cast<uint32_t>(NoCaseHash{}(name));
  const size_t mask = section_slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const auto [h, s] = section_slots_[i];
    if (s == 0) return std::string::npos;
    if (h == hash && NoCaseEqual{}(sections_[s - 1].Name, name)) return s - 1;
  }
}

namespace {

// Sections of up to this many keys are searched from their start.
constexpr size_t kScannedKeys = 32;

// A hash of a key's first and last eight bytes, letters folded, for the table that finds the
// repeated keys of a section small enough to be scanned: keys alike in those bytes only cost
// a comparison more, and such a section has few keys. A project has hundreds of thousands.
uint32_t FewKeysHash(std::string_view key) {
  const size_t n = key.size();
  const uint64_t head = UpperWord(LoadWord(key.data(), std::min<size_t>(n, 8)));
  const uint64_t tail = n > 8 ? UpperWord(LoadWord(key.data() + n - 8, 8)) : 0;
  const uint64_t h = (head * 0x9E3779B97F4A7C15ull) ^ (tail * 0xC2B2AE3D27D4EB4Full) ^ n;
  return static_cast<uint32_t>((h * 0xFF51AFD7ED558CCDull) >> 32);
}

uint32_t SlotHash(std::string_view key) {
  // The final mix of MurmurHash3, so that every bit of the key counts in the low bits.
  uint64_t h = TBinIniFile::NoCaseHash{}(key);
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return static_cast<uint32_t>(h);
}

}  // namespace

size_t TBinIniFile::FindEntry(const Section& section, std::string_view key) const {
  if (section.HashSlots.empty()) {
    for (size_t i = 0; i < section.Entries.size(); ++i) {
      if (section.Entries[i].First && NoCaseEqual{}(KeyOf(section.Entries[i]), key)) return i;
    }
    return std::string::npos;
  }
  const uint32_t hash = SlotHash(key);
  const size_t mask = section.HashSlots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const auto [h, entry] = section.HashSlots[i];
    if (entry == 0) return std::string::npos;
    if (h == hash && NoCaseEqual{}(KeyOf(section.Entries[entry - 1]), key)) return entry - 1;
  }
}

void TBinIniFile::IndexSection(Section& section, size_t slots) const {
  section.HashSlots.assign(slots, {0u, 0u});
  const size_t mask = slots - 1;
  for (size_t e = 0; e < section.Entries.size(); ++e) {
    if (!section.Entries[e].First) continue;
    const uint32_t hash = SlotHash(KeyOf(section.Entries[e]));
    size_t i = hash & mask;
    while (section.HashSlots[i].second != 0) i = (i + 1) & mask;
    section.HashSlots[i] = {hash, static_cast<uint32_t>(e + 1)};
  }
}

void TBinIniFile::Seal(Section& section) const {
  std::pmr::vector<Entry>& entries = section.Entries;
  if (section.Sealed >= entries.size()) return;
  // A store being written keeps one entry per key, holding the value written last.
  const bool merge = mode_ == Mode::kWrite;
  if (section.Sealed > 0) {
    // Entries appended to a section searched before: one by one into its index.
    std::vector<Entry> pending(entries.begin() + static_cast<std::ptrdiff_t>(section.Sealed),
                               entries.end());
    entries.resize(section.Sealed);
    for (const Entry& e : pending) {
      const size_t first = FindEntry(section, KeyOf(e));
      if (first != std::string::npos && merge) {
        entries[first].ValueAt = e.ValueAt;
        entries[first].ValueSize = e.ValueSize;
        streaming_ = false;
        continue;
      }
      AddEntry(section, e, first == std::string::npos);
    }
    return;
  }
  // A fresh section: one pass over its keys with a table sized for all of them, on the stack
  // for a section that stays small enough to be scanned.
  const size_t n = entries.size();
  std::pair<uint32_t, uint32_t> small[2 * kScannedKeys] = {};
  size_t slots = 2 * kScannedKeys;
  std::pair<uint32_t, uint32_t>* table = small;
  if (n > kScannedKeys) {
    slots = 128;
    while (slots * 7 < n * 10) slots *= 2;
    section.HashSlots.assign(slots, {0u, 0u});
    table = section.HashSlots.data();
  }
  const size_t mask = slots - 1;
  // The hashes first, so that the slots of the keys a few places ahead can be fetched while a
  // key is placed: the table of a large section does not fit in the cache.
  constexpr size_t kAhead = 8;
  uint32_t few[kScannedKeys];
  std::vector<uint32_t> many(n > kScannedKeys ? n : 0);
  uint32_t* const hashes = n > kScannedKeys ? many.data() : few;
  if (n > kScannedKeys) {
    for (size_t r = 0; r < n; ++r) hashes[r] = SlotHash(KeyOf(entries[r]));
  } else {
    for (size_t r = 0; r < n; ++r) hashes[r] = FewKeysHash(KeyOf(entries[r]));
  }
  size_t kept = 0;
  size_t keys = 0;
  for (size_t r = 0; r < n; ++r) {
    if (r + kAhead < n) __builtin_prefetch(&table[hashes[r + kAhead] & mask]);
    const std::string_view key = KeyOf(entries[r]);
    const uint32_t hash = hashes[r];
    size_t i = hash & mask;
    size_t first = std::string::npos;
    for (; table[i].second != 0; i = (i + 1) & mask) {
      if (table[i].first == hash && NoCaseEqual{}(KeyOf(entries[table[i].second - 1]), key)) {
        first = table[i].second - 1;
        break;
      }
    }
    if (first != std::string::npos) {
      if (merge) {
        entries[first].ValueAt = entries[r].ValueAt;
        entries[first].ValueSize = entries[r].ValueSize;
        streaming_ = false;
        continue;
      }
      entries[r].First = false;
    } else {
      entries[r].First = true;
      table[i] = {hash, static_cast<uint32_t>(kept + 1)};
      ++keys;
    }
    if (kept != r) entries[kept] = entries[r];
    ++kept;
  }
  entries.resize(kept);
  section.Keys = keys;
  section.Sealed = kept;
  // Few keys are scanned; AddEntry builds the index once there are more.
  if (keys <= kScannedKeys) section.HashSlots.clear();
}

void TBinIniFile::SealLast() const {
  // Keys written once each need no check while the file is written as it goes; a section is
  // still sealed when it is first searched.
  if (keys_written_once_ && streaming_) return;
  if (!sections_.empty()) Seal(sections_.back());
}

void TBinIniFile::AddEntry(Section& section, const Entry& entry, bool known_new) const {
  // As with sections, the first key of a name counts.
  const bool first = known_new || FindEntry(section, KeyOf(entry)) == std::string::npos;
  section.Entries.push_back(entry);
  section.Entries.back().First = first;
  section.Sealed = section.Entries.size();
  if (!first) return;
  ++section.Keys;
  if (section.Keys <= kScannedKeys) return;
  // At most 0.7 of the slots in use.
  if (section.Keys * 10 > section.HashSlots.size() * 7) {
    IndexSection(section, std::max<size_t>(128, section.HashSlots.size() * 2));
    return;
  }
  const uint32_t hash = SlotHash(KeyOf(section.Entries.back()));
  const size_t mask = section.HashSlots.size() - 1;
  size_t i = hash & mask;
  while (section.HashSlots[i].second != 0) i = (i + 1) & mask;
  section.HashSlots[i] = {hash, static_cast<uint32_t>(section.Entries.size())};
}

bool TBinIniFile::FindValue(std::string_view section, std::string_view key,
                            std::string_view& value) const {
  // Only the first section of a name is ever a cursor's.
  if (cursor_section_ >= sections_.size() ||
      !NoCaseEqual{}(sections_[cursor_section_].Name, section)) {
    const size_t s = FindSection(section);
    if (s == std::string::npos) return false;
    cursor_section_ = s;
    cursor_entry_ = 0;
  }
  Section& found = sections_[cursor_section_];
  if (found.Sealed < found.Entries.size()) Seal(found);  // most reads find it sealed
  const std::pmr::vector<Entry>& entries = found.Entries;
  if (cursor_entry_ < entries.size() && entries[cursor_entry_].First &&
      NoCaseEqual{}(KeyOf(entries[cursor_entry_]), key)) {
    value = ValueOf(entries[cursor_entry_++]);
    ++values_found_;
    return true;
  }
  const size_t e = FindEntry(found, key);
  if (e == std::string::npos) return false;
  cursor_entry_ = e + 1;
  value = ValueOf(entries[e]);
  ++values_found_;
  return true;
}

size_t TBinIniFile::Keep(std::string_view text) {
  const size_t at = text_.size();
  text_.append(text);
  return at;
}

void TBinIniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  const bool last = !sections_.empty() && NoCaseEqual{}(sections_.back().Name, section);
  if (!last) SealLast();  // the section written so far is done
  // A section of a name already written, other than the last one: the file can no longer be
  // written as it goes.
  if (streaming_ && !last && FindSection(section) != std::string::npos) streaming_ = false;
  if (streaming_) {
    if (!last) {
      if (!sections_.empty()) text_ += "\r\n";
      text_.append("[").append(section).append("]\r\n");
      AddSection(std::string(section));
    }
    // Appended unchecked: a key written again is found when the section is sealed, and then
    // takes its new value in its old place.
    // The line "key=value" CR LF in one step.
    const size_t at = text_.size();
    text_.resize(at + key.size() + value.size() + 3);
    char* p = text_.data() + at;
    std::memcpy(p, key.data(), key.size());
    p += key.size();
    *p++ = '=';
    std::memcpy(p, value.data(), value.size());
    p += value.size();
    p[0] = '\r';
    p[1] = '\n';
    sections_.back().Entries.push_back(Entry{at, at + key.size() + 1,
                                             static_cast<uint32_t>(key.size()),
                                             static_cast<uint32_t>(value.size()), 0, true});
    return;
  }
  const size_t s = FindSection(section);
  Section& target = s != std::string::npos ? sections_[s] : AddSection(std::string(section));
  Seal(target);
  const size_t e = FindEntry(target, key);
  if (e != std::string::npos) {
    target.Entries[e].ValueAt = Keep(value);
    target.Entries[e].ValueSize = static_cast<uint32_t>(value.size());
    return;
  }
  const size_t key_at = Keep(key);
  AddEntry(target, Entry{key_at, Keep(value), static_cast<uint32_t>(key.size()),
                         static_cast<uint32_t>(value.size()), 0, true});
}

std::string TBinIniFile::TextImage() const {
  SealLast();
  if (streaming_) {
    // Every section is closed by an empty line; the last one is still open.
    if (sections_.empty()) return "";
    std::string utf8;
    utf8.reserve(text_.size() + 2);
    utf8.append(text_).append("\r\n");
    return Utf8ToCp1251(utf8);
  }
  std::string utf8;
  for (const Section& s : sections_) {
    utf8.append("[").append(s.Name).append("]\r\n");
    for (const Entry& e : s.Entries)
      utf8.append(KeyOf(e)).append("=").append(ValueOf(e)).append("\r\n");
    utf8 += "\r\n";
  }
  return Utf8ToCp1251(utf8);
}

// ---------------------------------------------------------------------------------------------
// Binary form.

bool TBinIniFile::Take(void* dst, size_t n) {
  if (pos_ > data_.size() || data_.size() - pos_ < n) {
    // A value cut by the end of the data: nothing more can be read.
    pos_ = data_.size();
    cut_short_ = true;
    return false;
  }
  if (n > 0) std::memcpy(dst, data_.data() + pos_, n);
  pos_ += n;
  return true;
}

void TBinIniFile::FlushBuffer() {
  if (buffer_.empty()) return;
  // The hash of the file is known when the file is written in one piece, as it is when a
  // project is saved.
  written_known_ = written_size_ == 0;
  if (written_known_) {
    written_hash_ = ProjectContentHash(
        std::string_view(reinterpret_cast<const char*>(buffer_.data()), buffer_.size()));
  }
  written_size_ += buffer_.size();
  if (out_ != nullptr && error_.empty()) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
      Fail(TCode::kWriteError, file_name_, errno);
  }
  buffer_.clear();
}

void TBinIniFile::Put(const void* src, size_t n) {
  // Kept until the file is written: a project's binary form is small beside its text form.
  const auto* p = static_cast<const uint8_t*>(src);
  buffer_.insert(buffer_.end(), p, p + n);
}

// ---------------------------------------------------------------------------------------------
// Reading.

std::string TBinIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) {
  std::string scratch;
  const std::string_view v = ReadStringView(section, key, def, scratch);
  if (v.data() == scratch.data() && v.size() == scratch.size()) return scratch;
  return std::string(v);
}

std::string_view TBinIniFile::ReadStringView(std::string_view section, std::string_view key,
                                             std::string_view def, std::string& scratch) {
  if (!binary_) {
    std::string_view v;
    return FindValue(section, key, v) ? v : def;
  }
  uint8_t tag = 0;
  if (!Take(&tag, 1)) return def;
  uint32_t length = 0;
  switch (tag) {
    case kBinTagString: {
      uint8_t n = 0;
      if (!Take(&n, 1)) return def;
      length = n;
      break;
    }
    case kBinTagLString:
    case kBinTagUtf8:
    case kBinTagWString: {
      uint8_t n[4];
      if (!Take(n, 4)) return def;
      length = LoadU32LE(n);
      break;
    }
    default:
      return def;
  }
  const uint64_t bytes = tag == kBinTagWString ? uint64_t{length} * 2 : length;
  if (bytes > data_.size() - pos_) {
    // A length that runs past the end is a text cut by the end of the data.
    pos_ = data_.size();
    cut_short_ = true;
    return def;
  }
  const uint8_t* p = data_.data() + pos_;
  pos_ += static_cast<size_t>(bytes);
  const std::string_view raw(reinterpret_cast<const char*>(p), static_cast<size_t>(bytes));
  switch (tag) {
    case kBinTagUtf8:
      return raw;
    case kBinTagWString:
      scratch = Utf16LeToUtf8(p, length);
      return scratch;
    default:
      if (IsSevenBit(raw)) return raw;
      scratch = Cp1251ToUtf8(raw);
      return scratch;
  }
}

int32_t TBinIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) {
  if (!binary_) {
    std::string_view v;
    int32_t value = 0;
    return FindValue(section, key, v) && ParseProjectInteger(v, value) ? value : def;
  }
  uint8_t b[4];
  return Take(b, 4) ? LoadI32LE(b) : def;
}

double TBinIniFile::ReadFloat(std::string_view section, std::string_view key, double def) {
  if (!binary_) {
    std::string_view v;
    double value = 0.0;
    return FindValue(section, key, v) && ParseProjectFloat(v, value) ? value : def;
  }
  uint8_t b[8];
  return Take(b, 8) ? LoadF64LE(b) : def;
}

bool TBinIniFile::ReadBool(std::string_view section, std::string_view key, bool def) {
  if (!binary_) return ReadInteger(section, key, def ? 1 : 0) != 0;
  uint8_t b = 0;
  return Take(&b, 1) ? b == kBinTagTrue : def;
}

TDateTime TBinIniFile::ReadDateTime(std::string_view section, std::string_view key, TDateTime def) {
  if (!binary_) {
    std::string_view v;
    TDateTime value = 0.0;
    return FindValue(section, key, v) && ParseProjectDateTime(v, value) ? value : def;
  }
  uint8_t tag = 0;
  if (!Take(&tag, 1)) return def;
  uint8_t b[8];
  switch (tag) {
    case kBinTagDate:
      return Take(b, 8) ? LoadF64LE(b) : def;
    case kBinTagInt8:
      return Take(b, 1) ? static_cast<double>(static_cast<int8_t>(b[0])) : def;
    case kBinTagInt16:
      return Take(b, 2) ? static_cast<double>(LoadI16LE(b)) : def;
    case kBinTagInt32:
      return Take(b, 4) ? static_cast<double>(LoadI32LE(b)) : def;
    case kBinTagInt64:
      return Take(b, 8) ? static_cast<double>(static_cast<int64_t>(LoadU64LE(b))) : def;
    default:
      return def;
  }
}

TDateTime TBinIniFile::ReadDate(std::string_view section, std::string_view key, TDateTime def) {
  const TDateTime v = ReadDateTime(section, key, def);
  return std::isfinite(v) ? std::trunc(v) : v;
}

TDateTime TBinIniFile::ReadTime(std::string_view section, std::string_view key, TDateTime def) {
  const TDateTime v = ReadDateTime(section, key, def);
  return std::isfinite(v) ? v - std::trunc(v) : v;
}

// ---------------------------------------------------------------------------------------------
// Writing.

void TBinIniFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  if (!binary_) {
    std::string copy;
    SetValue(section, key, OneLine(value, copy));
    return;
  }
  uint8_t head[5];
  if (IsSevenBit(value) && value.size() <= 255) {
    head[0] = kBinTagString;
    head[1] = static_cast<uint8_t>(value.size());
    Put(head, 2);
  } else {
    head[0] = IsSevenBit(value) ? kBinTagLString : kBinTagUtf8;
    StoreU32LE(head + 1, static_cast<uint32_t>(value.size()));
    Put(head, 5);
  }
  Put(value.data(), value.size());
}

void TBinIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  if (!binary_) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    SetValue(section, key, std::string_view(digits, static_cast<size_t>(end - digits)));
    return;
  }
  uint8_t b[4];
  StoreU32LE(b, static_cast<uint32_t>(value));
  Put(b, 4);
}

void TBinIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  if (!binary_) {
    char buf[kProjectFloatChars];
    SetValue(section, key, std::string_view(buf, FormatProjectFloatTo(value, buf)));
    return;
  }
  const auto bits = std::bit_cast<uint64_t>(value);
  uint8_t b[8];
  StoreU32LE(b, static_cast<uint32_t>(bits));
  StoreU32LE(b + 4, static_cast<uint32_t>(bits >> 32));
  Put(b, 8);
}

void TBinIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  if (!binary_) {
    SetValue(section, key, value ? "1" : "0");
    return;
  }
  const uint8_t b = value ? kBinTagTrue : kBinTagFalse;
  Put(&b, 1);
}

void TBinIniFile::WriteDateTime(std::string_view section, std::string_view key, TDateTime value) {
  if (!binary_) {
    char buf[kProjectDateTimeChars];
    SetValue(section, key, std::string_view(buf, FormatProjectDateTimeTo(value, buf)));
    return;
  }
  const auto bits = std::bit_cast<uint64_t>(value);
  uint8_t b[9];
  b[0] = kBinTagDate;
  StoreU32LE(b + 1, static_cast<uint32_t>(bits));
  StoreU32LE(b + 5, static_cast<uint32_t>(bits >> 32));
  Put(b, 9);
}

void TBinIniFile::WriteDate(std::string_view section, std::string_view key, TDateTime value) {
  WriteDateTime(section, key, std::isfinite(value) ? std::trunc(value) : value);
}

void TBinIniFile::WriteTime(std::string_view section, std::string_view key, TDateTime value) {
  const TDateTime fraction = std::isfinite(value) ? value - std::trunc(value) : value;
  if (!binary_) {
    // A time alone keeps its "h:nn:ss" form even at midnight.
    const double seconds = std::nearbyint(std::fabs(fraction) * kSecondsPerDay);
    const auto s = static_cast<int64_t>(std::isfinite(seconds) ? seconds : 0.0) % 86400;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    SetValue(section, key, buf);
    return;
  }
  WriteDateTime(section, key, fraction);
}

bool TBinIniFile::UpdateFile() {
  if (mode_ != Mode::kWrite) return true;
  if (binary_) {
    FlushBuffer();
    if (out_ != nullptr && error_.empty() && std::fflush(out_) != 0)
      Fail(TCode::kWriteError, file_name_, errno);
    return error_.empty();
  }
  // A file written as it went is its text as it stands, in Windows-1251 already when it is
  // all ASCII.
  SealLast();
  const bool as_written = streaming_ && !sections_.empty() && IsSevenBit(text_);
  // The text written in order closes its last section with an empty line, added for the write
  // and taken off again so that writing can go on.
  if (as_written) text_ += "\r\n";
  const std::string image = as_written ? std::string() : TextImage();
  const std::string_view out = as_written ? std::string_view(text_) : std::string_view(image);
  written_known_ = false;
  std::FILE* f = std::fopen(file_name_.c_str(), "wb");
  if (f == nullptr) {
    if (as_written) text_.resize(text_.size() - 2);
    Fail(TCode::kCannotCreateFile, file_name_, errno);
    return false;
  }
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  const int saved_errno = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) Fail(TCode::kWriteError, file_name_, written ? errno : saved_errno);
  written_known_ = written && closed;
  written_size_ = out.size();
  written_hash_ = ProjectContentHash(out);
  if (as_written) text_.resize(text_.size() - 2);
  return error_.empty();
}

bool TBinIniFile::Close() {
  if (out_ == nullptr) return error_.empty();
  FlushBuffer();
  if (std::fclose(out_) != 0) Fail(TCode::kWriteError, file_name_, errno);
  out_ = nullptr;
  return error_.empty();
}

}  // namespace tarvik
