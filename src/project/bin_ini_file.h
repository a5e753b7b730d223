#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory_resource>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/date_text.h"
#include "common/status.h"

namespace tarvik {

namespace bin_ini_detail {

// Eight bytes of a name with the ASCII letters a-z turned to A-Z, every byte at once: a byte
// below 0x80 is lower-case when adding 0x80 - 'a' carries into its top bit and adding
// 0x80 - 'z' - 1 does not; clearing bit 5 of just those bytes turns them to capitals.
inline uint64_t UpperWord(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kTops = 0x8080808080808080ull;
  const uint64_t low7 = x & ~kTops;
  const uint64_t from_a = low7 + (0x80 - 'a') * kOnes;
  const uint64_t past_z = low7 + (0x80 - 'z' - 1) * kOnes;
  const uint64_t lower = from_a & ~past_z & ~x & kTops;
  return x ^ (lower >> 2);
}

// Up to eight bytes as a little-endian word, zeros after them.
inline uint64_t LoadWord(const char* p, size_t n) {
  uint64_t x = 0;
  if (n == 8) {
    std::memcpy(&x, p, 8);
    return x;
  }
  for (size_t i = 0; i < n; ++i) x |= uint64_t{static_cast<uint8_t>(p[i])} << (8 * i);
  return x;
}

}  // namespace bin_ini_detail

// Value tags of the binary form.
inline constexpr uint8_t kBinTagInt8 = 0x02;
inline constexpr uint8_t kBinTagInt16 = 0x03;
inline constexpr uint8_t kBinTagInt32 = 0x04;
inline constexpr uint8_t kBinTagString = 0x06;  // 1-byte length, Windows-1251 bytes
inline constexpr uint8_t kBinTagFalse = 0x08;
inline constexpr uint8_t kBinTagTrue = 0x09;
inline constexpr uint8_t kBinTagLString = 0x0C;  // 4-byte length, Windows-1251 bytes
inline constexpr uint8_t kBinTagDate = 0x11;
inline constexpr uint8_t kBinTagWString = 0x12;  // 4-byte count of UTF-16LE code units
inline constexpr uint8_t kBinTagInt64 = 0x13;
inline constexpr uint8_t kBinTagUtf8 = 0x14;  // 4-byte length, UTF-8 bytes

// A key/value store with two forms. The text form is an INI file (sections, key=value lines,
// Windows-1251, CR LF) held in memory: it is parsed when opened for reading and written whole
// by UpdateFile. The binary form ignores section and key names and streams the values one
// after another in call order; a reader must ask for them in exactly the order they were
// written. A value that cannot be read (end of data, a tag that does not fit) gives the
// caller's default and reading goes on with the next value.
class TBinIniFile {
 public:
  enum class Mode { kRead, kWrite };

  // Reading: text mode parses the file (an empty store when it is missing), binary mode takes
  // its bytes. Writing: text mode starts an empty store, binary mode creates the file anew.
  TBinIniFile(const std::string& file_name, bool binary, Mode mode);
  // A reader over bytes already in memory.
  TBinIniFile(std::vector<uint8_t> bytes, bool binary);
  ~TBinIniFile();
  TBinIniFile(const TBinIniFile&) = delete;
  TBinIniFile& operator=(const TBinIniFile&) = delete;

  bool Binary() const { return binary_; }
  // Binary reading: every byte has been consumed, so every further value is its default.
  bool AtEnd() const { return pos_ >= data_.size(); }
  // Binary reading: a value was asked for that the data ended before (a truncated file).
  bool CutShort() const { return cut_short_; }
  // Size of the file being read, in bytes.
  size_t DataSize() const { return binary_ ? data_.size() : text_size_; }
  // A hash of the bytes read (0 for a store being written): two reads of one file give the
  // same hash exactly when they read the same bytes (within one run of the program).
  size_t ContentHash() const { return content_hash_; }

  // Where the text read holds things, for telling where a damaged file is wrong. Lines count
  // from 1; 0 means "not there".
  // The line of the section's heading (the first section of that name).
  int SectionLine(std::string_view section) const;
  // The line of the key in that section.
  int KeyLine(std::string_view section, std::string_view key) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  // Every section heading read, in file order: name and line.
  std::vector<std::pair<std::string, int>> SectionHeadings() const;
  // The last line that holds text, and what follows it: whether it lacks its line break (the
  // text stops inside it) and whether an empty line follows it (its section is closed as the
  // writer closes every section).
  int LastTextLine() const { return last_text_line_; }
  bool LastLineUnended() const { return last_line_unended_; }
  bool EndsWithEmptyLine() const { return ends_with_empty_line_; }

  // Text reading: how many reads have found their key so far, so that a reader can tell
  // whether a run of reads found anything without looking the keys up again.
  size_t ValuesFound() const { return values_found_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def);
  // The same text without a copy: a view of the text read, of the bytes read, of def, or of
  // scratch when the value had to be converted. Valid while the store and scratch are.
  std::string_view ReadStringView(std::string_view section, std::string_view key,
                                  std::string_view def, std::string& scratch);
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def);
  double ReadFloat(std::string_view section, std::string_view key, double def);
  bool ReadBool(std::string_view section, std::string_view key, bool def);
  TDateTime ReadDateTime(std::string_view section, std::string_view key, TDateTime def);
  // The whole-day part of a stored date-time.
  TDateTime ReadDate(std::string_view section, std::string_view key, TDateTime def);
  // The time-of-day fraction of a stored date-time.
  TDateTime ReadTime(std::string_view section, std::string_view key, TDateTime def);

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteFloat(std::string_view section, std::string_view key, double value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteDateTime(std::string_view section, std::string_view key, TDateTime value);
  void WriteDate(std::string_view section, std::string_view key, TDateTime value);
  void WriteTime(std::string_view section, std::string_view key, TDateTime value);

  // Text mode, writing: the caller writes each key of a section once (as a project's writer
  // does, its keys numbered), so repeated keys are not looked for while the sections are
  // written in order, which spares hashing every key. A key written again in the section it
  // was written in would then stand twice in the file.
  void SetKeysWrittenOnce() { keys_written_once_ = mode_ == Mode::kWrite && !binary_; }

  // Writing: room for a file of about this many bytes, so that what is written in order is
  // not copied as it grows (a project's previous size is a good guess).
  void Reserve(size_t bytes) {
    if (mode_ != Mode::kWrite) return;
    if (binary_) {
      buffer_.reserve(bytes);
    } else {
      text_.reserve(bytes);
    }
  }

  // Text mode writes the whole INI file; binary mode flushes what is buffered. False when
  // the file could not be written (the reason in Error()).
  bool UpdateFile();
  // A store being written, after UpdateFile or Close without an error: the size and the
  // ProjectContentHash of the bytes the file holds, known without reading it back. False when
  // they are not known (nothing or not everything written at once, or a write failed).
  bool WrittenBytes(uint64_t& size, size_t& hash) const {
    if (!written_known_ || !error_.empty()) return false;
    size = written_size_;
    hash = written_hash_;
    return true;
  }
  // Flushes and closes the file being written; false when anything failed on the way.
  bool Close();
  // The first write failure ("" when none).
  const std::string& Error() const { return error_; }
  // The same as a status (kCannotCreateFile or kWriteError with the file and the system's
  // reason), Ok when none.
  const TStatus& Failure() const { return failure_; }

  // The text form as it would be written (Windows-1251 bytes, CR LF lines).
  std::string TextImage() const;

  // Hash and equality of section and key names, ASCII letters folded, usable with a
  // string_view.
  struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const;
  };
  // Inline: every value read or written compares a section name and a key name.
  struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
      using bin_ini_detail::LoadWord;
      using bin_ini_detail::UpperWord;
      const size_t n = a.size();
      if (n != b.size()) return false;
      // Names are mostly asked for as they are written: letters are folded only where the
      // bytes differ.
      const auto same = [](uint64_t x, uint64_t y) {
        return x == y || UpperWord(x) == UpperWord(y);
      };
      if (n < 8) return same(LoadWord(a.data(), n), LoadWord(b.data(), n));
      for (size_t i = 0; i + 8 < n; i += 8) {
        if (!same(LoadWord(a.data() + i, 8), LoadWord(b.data() + i, 8))) return false;
      }
      // The last eight bytes, which may overlap the ones compared already.
      return same(LoadWord(a.data() + n - 8, 8), LoadWord(b.data() + n - 8, 8));
    }
  };

 private:
  // Keys and values are spans of text_: the text read, or what was written (see streaming_).
  struct Entry {
    size_t KeyAt = 0;
    size_t ValueAt = 0;
    uint32_t KeySize = 0;
    uint32_t ValueSize = 0;
    // The line it was read from (0 when written).
    int Line = 0;
    // The first entry of its key in the section, the one a lookup finds.
    bool First = true;
  };
  struct Section {
    std::string Name;
    int Line = 0;
    // From the store's arena.
    std::pmr::vector<Entry> Entries;
    // Once a section has more keys than a short scan is worth (the record list of a project
    // has hundreds of thousands): open addressing over its keys, each slot the key's hash and
    // its first entry's number + 1 (0: empty). Not named "slots": the windows include this
    // header where Qt defines that word as a macro.
    std::vector<std::pair<uint32_t, uint32_t>> HashSlots;
    size_t Keys = 0;
    // Entries before this one have been checked for repeated keys and indexed; the ones after
    // it were appended by the parser or by a writer going in order, and are checked together
    // when the section is closed or first searched (see Seal).
    size_t Sealed = 0;
  };

  // Text form.
  void ParseText(std::string cp1251);
  std::string_view KeyOf(const Entry& e) const { return {text_.data() + e.KeyAt, e.KeySize}; }
  std::string_view ValueOf(const Entry& e) const { return {text_.data() + e.ValueAt, e.ValueSize}; }
  // The value of key in section; false when there is none.
  bool FindValue(std::string_view section, std::string_view key, std::string_view& value) const;
  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  Section& AddSection(std::string name, int line = 0);
  // The first section of that name; npos when there is none.
  size_t FindSection(std::string_view name) const;
  // known_new: the caller has found no entry of its key in the section.
  void AddEntry(Section& section, const Entry& entry, bool known_new = false) const;
  // The first entry of key in section; npos when there is none. The section must be sealed.
  size_t FindEntry(const Section& section, std::string_view key) const;
  // Checks and indexes the entries appended since the section was last sealed, in one pass:
  // a repeated key is marked as not the first of its name, or, in a store being written, gives
  // its new value to the key's first entry and is dropped (and the file can no longer be
  // written as it went).
  void Seal(Section& section) const;
  // Seals the last section, the only one that can hold unchecked entries.
  void SealLast() const;
  void IndexSection(Section& section, size_t slots) const;
  // Appends text to text_ and gives where it starts.
  size_t Keep(std::string_view text);

  // Binary form.
  bool Take(void* dst, size_t n);
  void Put(const void* src, size_t n);
  void FlushBuffer();
  void Fail(TCode code, const std::string& file_name, int error_number);

  bool binary_;
  Mode mode_;
  std::string file_name_;
  // The text read (UTF-8), or for a text store being written the text of the file as written
  // so far, which it stays as long as every write goes to the section written last or to a new
  // section and never repeats a key (how a project is written): the file is then this text
  // as it stands. Once a write breaks that order, text_ only keeps the keys and values and the
  // file is put together from the sections.
  std::string text_;
  // Mutable for Seal: checking the entries appended in order changes nothing a caller can
  // see, so lookups that are const seal the last section first.
  mutable bool streaming_ = false;
  bool keys_written_once_ = false;
  // Where the sections' entries live: ten thousand sections of a project allocate and free
  // nothing one by one, and the arena goes when the store does. Declared before the sections.
  std::pmr::monotonic_buffer_resource arena_;
  mutable std::vector<Section> sections_;
  // The first section of each name: open addressing as in Section, each slot the name's hash
  // and the section's number + 1 (0: empty).
  std::vector<std::pair<uint32_t, uint32_t>> section_slots_;
  size_t section_names_ = 0;
  // The section of the last lookup and the entry after the one it found: the project reader
  // asks for the keys in the order the writer wrote them, so the next key is usually there. A
  // store is read by one thread at a time.
  mutable size_t cursor_section_ = static_cast<size_t>(-1);
  mutable size_t cursor_entry_ = 0;
  mutable size_t values_found_ = 0;
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
  bool cut_short_ = false;
  size_t text_size_ = 0;
  size_t content_hash_ = 0;
  int last_text_line_ = 0;
  bool last_line_unended_ = false;
  bool ends_with_empty_line_ = false;
  std::FILE* out_ = nullptr;
  // Binary writing: the values not yet written to the file, normally the whole file, which
  // is written at once by UpdateFile or Close.
  std::vector<uint8_t> buffer_;
  std::string error_;
  bool written_known_ = false;
  uint64_t written_size_ = 0;
  size_t written_hash_ = 0;
  TStatus failure_;
};

// The hash of a project file's bytes that tells whether the file has changed: equal bytes give
// equal hashes within one run of the program.
size_t ProjectContentHash(std::string_view bytes);

// A float as the project's text form writes it: up to 15 significant digits, fixed-point when
// the magnitude is at least 0.00001 and below 1E15, otherwise mantissa, "E" and the exponent
// (signed only when negative): 0.1, 50, 1E-6, 1.5E20.
std::string FormatProjectFloat(double value);
// The same text written to buf, without allocating; gives its length.
inline constexpr size_t kProjectFloatChars = 32;
size_t FormatProjectFloatTo(double value, char (&buf)[kProjectFloatChars]);
// Parses a float as written by FormatProjectFloat or any decimal form with "."; false on junk.
bool ParseProjectFloat(std::string_view text, double& value);
// Parses a 32-bit integer: decimal with an optional sign, or hexadecimal after "$" or "0x".
bool ParseProjectInteger(std::string_view text, int32_t& value);
// Parses "d.M.yyyy[ h:nn[:ss[.zzz]]]" or a time alone "h:nn[:ss]"; false when malformed.
bool ParseProjectDateTime(std::string_view text, TDateTime& value);

}  // namespace tarvik
