#include "project/bin_ini_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
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
constexpr size_t kWriteBufferBytes = 1024;

bool IsSevenBit(std::string_view text) {
  // One OR over all bytes, which the compiler vectorises: the whole text of a project is
  // tested before it is written.
  unsigned char bits = 0;
  for (char c : text) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

// Two decimal digits of v (0..99) at p.
char* TwoDigits(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

// FormatProjectDateTime's text without the formatting library, for the dates of the common
// years that a project holds by the hundred thousand; any other value goes to
// FormatProjectDateTime itself.
std::string_view DateTimeText(TDateTime value, char (&buf)[32], std::string& other) {
  const double seconds = std::nearbyint(value * kSecondsPerDay);
  if (!std::isfinite(seconds)) {
    other = FormatProjectDateTime(value);
    return other;
  }
  const CivilTime c = DecodeDateTime(seconds / kSecondsPerDay);
  if (c.Year < 1000 || c.Year > 9999 || c.Month < 1 || c.Month > 12 || c.Day < 1 || c.Day > 31 ||
      c.Hour < 0 || c.Hour > 23 || c.Minute < 0 || c.Minute > 59 || c.Second < 0 || c.Second > 59) {
    other = FormatProjectDateTime(value);
    return other;
  }
  char* p = TwoDigits(buf, c.Day);
  *p++ = '.';
  p = TwoDigits(p, c.Month);
  *p++ = '.';
  p = TwoDigits(TwoDigits(p, c.Year / 100), c.Year % 100);
  if (c.Hour != 0 || c.Minute != 0 || c.Second != 0) {
    *p++ = ' ';
    if (c.Hour >= 10) *p++ = static_cast<char>('0' + c.Hour / 10);
    *p++ = static_cast<char>('0' + c.Hour % 10);
    *p++ = ':';
    p = TwoDigits(p, c.Minute);
    *p++ = ':';
    p = TwoDigits(p, c.Second);
  }
  return {buf, static_cast<size_t>(p - buf)};
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

// As Trim: the text without surrounding blanks.
std::string_view TrimView(std::string_view text) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
  };
  size_t b = 0;
  size_t e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Number and date-time texts.

std::string FormatProjectFloat(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0.0) return "0";
  char buf[40] = {};
  // As "%.14e" prints it, without the locale and the parsing of a format.
  std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific, 14);
  // buf: d.dddddddddddddde[+-]xx
  std::string digits;
  digits += buf[0];
  digits.append(buf + 2, 14);
  const char* e = std::strchr(buf, 'e');
  int exponent = e != nullptr ? std::atoi(e + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent >= -5 && exponent < 15) {
    if (exponent >= 0) {
      const size_t int_digits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= int_digits) {
        out += digits;
        out.append(int_digits - digits.size(), '0');
      } else {
        out += digits.substr(0, int_digits);
        out += '.';
        out += digits.substr(int_digits);
      }
    } else {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'E';
    if (exponent < 0) out += '-';
    out += std::to_string(std::abs(exponent));
  }
  return out;
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
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
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
    std::vector<uint8_t> bytes = ReadWholeFile(file_name, kMaxProjectBytes);
    if (binary_) {
      data_ = std::move(bytes);
      content_hash_ = ProjectContentHash(
          std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
    } else {
      ParseText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
    ParseText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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

void TBinIniFile::ParseText(std::string_view cp1251) {
  text_size_ = cp1251.size();
  content_hash_ = ProjectContentHash(cp1251);
  text_ = IsSevenBit(cp1251) ? std::string(cp1251) : Cp1251ToUtf8(cp1251);
  const std::string_view text = text_;
  const auto at = [&text](std::string_view part) {
    return static_cast<size_t>(part.data() - text.data());
  };
  // Searches of a range for a byte, which the C library does many bytes at a time.
  const auto find = [&text](char c, size_t from, size_t to) {
    const void* hit = std::memchr(text.data() + from, c, to - from);
    return hit == nullptr ? to : static_cast<size_t>(static_cast<const char*>(hit) - text.data());
  };
  size_t current = sections_.size();
  size_t start = 0;
  int number = 0;
  while (start <= text.size()) {
    // The line ends at its first CR or LF; the key at the line's first "=".
    const size_t lf = find('\n', start, text.size());
    size_t end = find('\r', start, lf);
    const size_t eq_at = find('=', start, end);
    const size_t eq = eq_at == end ? std::string_view::npos : eq_at;
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
  Seal(found);
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

// Eight bytes of a name with the ASCII letters a-z turned to A-Z, every byte at once: a byte
// below 0x80 is lower-case when adding 0x80 - 'a' carries into its top bit and adding
// 0x80 - 'z' - 1 does not; clearing bit 5 of just those bytes turns them to capitals.
uint64_t UpperWord(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kTops = 0x8080808080808080ull;
  const uint64_t low7 = x & ~kTops;
  const uint64_t from_a = low7 + (0x80 - 'a') * kOnes;
  const uint64_t past_z = low7 + (0x80 - 'z' - 1) * kOnes;
  const uint64_t lower = from_a & ~past_z & ~x & kTops;
  return x ^ (lower >> 2);
}

// Up to eight bytes as a little-endian word, zeros after them.
uint64_t LoadWord(const char* p, size_t n) {
  uint64_t x = 0;
  if (n == 8) {
    std::memcpy(&x, p, 8);
    return x;
  }
  for (size_t i = 0; i < n; ++i) x |= uint64_t{static_cast<uint8_t>(p[i])} << (8 * i);
  return x;
}

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

bool TBinIniFile::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
  const size_t n = a.size();
  if (n != b.size()) return false;
  // Names are mostly asked for as they are written: letters are folded only where the bytes
  // differ.
  const auto same = [](uint64_t x, uint64_t y) { return x == y || UpperWord(x) == UpperWord(y); };
  if (n < 8) return same(LoadWord(a.data(), n), LoadWord(b.data(), n));
  for (size_t i = 0; i + 8 < n; i += 8) {
    if (!same(LoadWord(a.data() + i, 8), LoadWord(b.data() + i, 8))) return false;
  }
  // The last eight bytes, which may overlap the ones compared already.
  return same(LoadWord(a.data() + n - 8, 8), LoadWord(b.data() + n - 8, 8));
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
  sections_.push_back(Section{std::move(name), line, {}, {}, 0});
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
  std::vector<Entry>& entries = section.Entries;
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
  for (size_t r = 0; r < n; ++r) hashes[r] = SlotHash(KeyOf(entries[r]));
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
  Seal(found);
  const std::vector<Entry>& entries = found.Entries;
  if (cursor_entry_ < entries.size() && entries[cursor_entry_].First &&
      NoCaseEqual{}(KeyOf(entries[cursor_entry_]), key)) {
    value = ValueOf(entries[cursor_entry_++]);
    return true;
  }
  const size_t e = FindEntry(found, key);
  if (e == std::string::npos) return false;
  cursor_entry_ = e + 1;
  value = ValueOf(entries[e]);
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
    Entry e{Keep(key), 0,   static_cast<uint32_t>(key.size()), static_cast<uint32_t>(value.size()),
            0,         true};
    text_ += '=';
    e.ValueAt = Keep(value);
    text_ += "\r\n";
    sections_.back().Entries.push_back(e);
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
  if (out_ != nullptr && error_.empty()) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
      Fail(TCode::kWriteError, file_name_, errno);
  }
  buffer_.clear();
}

void TBinIniFile::Put(const void* src, size_t n) {
  const auto* p = static_cast<const uint8_t*>(src);
  while (n > 0) {
    const size_t room = kWriteBufferBytes - buffer_.size();
    const size_t k = std::min(room, n);
    buffer_.insert(buffer_.end(), p, p + k);
    p += k;
    n -= k;
    if (buffer_.size() >= kWriteBufferBytes) FlushBuffer();
  }
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
    SetValue(section, key, FormatProjectFloat(value));
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
    char buf[32];
    std::string other;
    SetValue(section, key, DateTimeText(value, buf, other));
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
  const std::string image = as_written ? std::string() : TextImage();
  const std::string_view out = as_written ? std::string_view(text_) : std::string_view(image);
  std::FILE* f = std::fopen(file_name_.c_str(), "wb");
  if (f == nullptr) {
    Fail(TCode::kCannotCreateFile, file_name_, errno);
    return false;
  }
  bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (as_written && written) written = std::fwrite("\r\n", 1, 2, f) == 2;
  const int saved_errno = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) Fail(TCode::kWriteError, file_name_, written ? errno : saved_errno);
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
