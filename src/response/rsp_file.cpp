#include "response/rsp_file.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "common/paths.h"
#include "common/replace_file.h"
#include "common/text_encoding.h"
#include "response/response_evaluation.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

constexpr size_t kMaxKeyLength = 255;

struct Row {
  std::string_view Text;  // untrimmed
  int Line = 0;
};

struct KeyLine {
  std::string Key;
  std::string Value;
  int Line = 0;
};

// The non-blank lines of one section, as table rows and as "key=value ;comment" lines.
struct Section {
  std::vector<Row> Rows;
  std::vector<KeyLine> Keys;
  int HeaderLine = 0;  // 0 when the section is absent
};

// The section begins at the first line that is exactly "[name]" and runs to the next line that
// begins with "[" or to the end of the file.
Section ReadSection(const std::vector<std::string_view>& lines, std::string_view name) {
  Section section;
  const std::string header = "[" + std::string(name) + "]";
  size_t i = 0;
  while (i < lines.size() && lines[i] != header) ++i;
  if (i == lines.size()) return section;
  section.HeaderLine = static_cast<int>(i) + 1;
  for (++i; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (!line.empty() && line.front() == '[') break;
    if (Trim(line).empty()) continue;
    const int number = static_cast<int>(i) + 1;
    section.Rows.push_back({line, number});
    KeyLine key{{}, {}, number};
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
      key.Key = Trim(line.substr(0, eq));
      if (key.Key.size() > kMaxKeyLength) key.Key.resize(kMaxKeyLength);
      const std::string_view rest = line.substr(eq + 1);
      key.Value = Trim(rest.substr(0, rest.find(';')));
    }
    section.Keys.push_back(std::move(key));
  }
  return section;
}

// A date as the program writes it ("dd.MM.yyyy", optionally followed by a time) or as
// "yyyy.MM.dd".
std::optional<TDateTime> ParseRspDate(std::string_view text) {
  const std::vector<std::string_view> parts = SplitFields(text, kBlanks);
  if (parts.empty() || parts.size() > 2) return std::nullopt;
  const std::vector<std::string_view> dmy = SplitFields(parts[0], ".");
  if (dmy.size() != 3 || parts[0].front() == '.' || parts[0].back() == '.' ||
      parts[0].find("..") != std::string_view::npos) {
    return std::nullopt;
  }
  const auto a = ParseInt32(dmy[0]);
  const auto b = ParseInt32(dmy[1]);
  const auto c = ParseInt32(dmy[2]);
  if (!a || !b || !c) return std::nullopt;
  std::optional<TDateTime> date = CalendarDate(*c, *b, *a);
  if (!date && parts.size() == 1) date = CalendarDate(*a, *b, *c);
  if (!date) return std::nullopt;
  if (parts.size() == 2) {
    const auto time = ParseTimeOfDay(parts[1]);
    if (!time) return std::nullopt;
    return *date + *time;
  }
  return date;
}

class Keys {
 public:
  Keys(const Section& section, const std::string& name, std::string_view section_name)
      : section_(section), name_(name), section_name_(section_name) {}

  const KeyLine* Find(std::string_view key) const {
    for (const KeyLine& k : section_.Keys) {
      if (k.Key == key) return &k;
    }
    return nullptr;
  }

  std::string String(std::string_view key, const std::string& fallback) const {
    const KeyLine* k = Find(key);
    return k ? k->Value : fallback;
  }

  // True for "True"/"TRUE"/"true..." and for a leading digit other than 0.
  bool Bool(std::string_view key) const {
    const KeyLine* k = Find(key);
    if (!k || k->Value.empty()) return false;
    if (AsciiUpper(std::string_view(k->Value).substr(0, 4)) == "TRUE") return true;
    const char c = k->Value.front();
    return std::isdigit(static_cast<unsigned char>(c)) && c != '0';
  }

  int32_t Int(std::string_view key, int32_t fallback) const {
    const KeyLine* k = Find(key);
    if (!k || k->Value.empty()) return fallback;
    const auto v = ParseInt32(k->Value);
    if (!v) {
      Fail(name_, k->Line, TCode::kRefuseRspKeyNotInteger,
           {std::string(key), std::string(section_name_), Quote(k->Value)});
    }
    return *v;
  }

  double Float(std::string_view key, double fallback) const {
    const KeyLine* k = Find(key);
    if (!k || k->Value.empty()) return fallback;
    const auto v = ParseDouble(k->Value);
    if (!v) {
      Fail(name_, k->Line, TCode::kRefuseRspKeyNotNumber,
           {std::string(key), std::string(section_name_), Quote(k->Value)});
    }
    return *v;
  }

  // An integer key (default 0) that must lie in 0..limit; why (a code naming the limit) is
  // told in the message.
  int32_t Count(std::string_view key, int32_t limit, TCode why) const {
    const int32_t v = Int(key, 0);
    if (v < 0 || v > limit) {
      Fail(name_, LineOf(key), TCode::kRefuseRspCountRange,
           {std::string(key), std::string(section_name_), std::to_string(v), std::to_string(limit),
            MakeStatus(why)});
    }
    return v;
  }

  int LineOf(std::string_view key) const {
    const KeyLine* k = Find(key);
    return k ? k->Line : section_.HeaderLine;
  }

 private:
  const Section& section_;
  const std::string& name_;
  std::string_view section_name_;
};

// Rows of [ZEROES] or [POLES]: real and imaginary part, separated by blanks or commas. Roots the
// section does not give stay 0 + 0j; rows beyond count are ignored.
void ReadRoots(const Section& section, int32_t count, TComplexRoots& roots,
               const std::string& name) {
  const size_t n = std::min(section.Rows.size(), static_cast<size_t>(count));
  for (size_t i = 0; i < n; ++i) {
    const Row& row = section.Rows[i];
    const std::vector<std::string_view> f = SplitFields(row.Text, " \t,");
    const auto re = f.size() > 0 ? ParseDouble(f[0]) : std::nullopt;
    const auto im = f.size() > 1 ? ParseDouble(f[1]) : std::nullopt;
    if (!re || !im) {
      Fail(name, row.Line, TCode::kRefuseRootNeedsParts, {Quote(row.Text)});
    }
    roots[i] = {*re, *im};
  }
}

// The numbers of a cascade or section row; a missing or unreadable number is 0.
double LenientNumber(const std::vector<std::string_view>& fields, size_t index) {
  if (index >= fields.size()) return 0.0;
  return ParseDouble(fields[index]).value_or(0.0);
}

std::vector<std::string_view> RowFields(const Section& section, size_t row) {
  if (row >= section.Rows.size()) return {};
  return SplitFields(section.Rows[row].Text, " \t;");
}

std::string Numbered(const char* pattern, int k) {
  char buf[32];
  std::snprintf(buf, sizeof buf, pattern, k);
  return buf;
}

void ReadZP(const std::vector<std::string_view>& lines, const std::string& name,
            TComplexFilter& zp) {
  const Section section = ReadSection(lines, "ZP");
  const Keys keys(section, name, "ZP");
  zp.Kind = 'S';
  zp.NormType = keys.Int("Normalization type", 2);
  zp.NormValue = keys.Float("Normalization value", 1.0);
  zp.NormFrequency = keys.Float("Normalization frequency", 1.0);
  zp.NormFactor = keys.Float("Normalization factor", 1.0);
  zp.ZeroCount = keys.Count("Number of zeroes", kMaxRoots, TCode::kRefuseRspMostZeros);
  zp.PoleCount = keys.Count("Number of poles", kMaxRoots, TCode::kRefuseRspMostPoles);
  ReadRoots(ReadSection(lines, "ZEROES"), zp.ZeroCount, zp.Zeros, name);
  ReadRoots(ReadSection(lines, "POLES"), zp.PoleCount, zp.Poles, name);
  NormalizeZP(zp);
}

void ReadFap(const std::vector<std::string_view>& lines, const std::string& name,
             TFAPFilter& table) {
  const Section section = ReadSection(lines, "FAP");
  table.reserve(section.Rows.size());
  for (const Row& row : section.Rows) table.push_back(ParseFapRow(row.Text, name, row.Line));
}

void ReadPolyCascades(const std::vector<std::string_view>& lines, const std::string& name,
                      TPolyCascades& cascades) {
  const Section section = ReadSection(lines, "CASCADES");
  const Keys keys(section, name, "CASCADES");
  cascades.Count =
      keys.Count("Number of cascades", kMaxPolyCascades, TCode::kRefuseRspMostCascades);
  for (int k = 1; k <= cascades.Count; ++k) {
    TPolyCascade& cascade = cascades.Items[static_cast<size_t>(k - 1)];
    cascade.Order =
        keys.Count(Numbered("Order%2.2d", k), kMaxCascadeOrder, TCode::kRefuseRspHighestOrder);
    const Section body = ReadSection(lines, Numbered("CASCADE%2.2d", k));
    const std::vector<std::string_view> numerator = RowFields(body, 0);
    const std::vector<std::string_view> denominator = RowFields(body, 1);
    for (int i = 0; i <= cascade.Order; ++i) {
      cascade.Numerator[static_cast<size_t>(i)] = LenientNumber(numerator, static_cast<size_t>(i));
    }
    for (int i = 1; i <= cascade.Order; ++i) {
      cascade.Denominator[static_cast<size_t>(i - 1)] =
          LenientNumber(denominator, static_cast<size_t>(i - 1));
    }
  }
}

void ReadBiquads(const std::vector<std::string_view>& lines, const std::string& name,
                 TBiquadCascade& biquads) {
  const Section section = ReadSection(lines, "CASCADE");
  const Keys keys(section, name, "CASCADE");
  biquads.Count =
      keys.Count("Number of sections", kMaxBiquadSections, TCode::kRefuseRspMostSections);
  for (int k = 1; k <= biquads.Count; ++k) {
    const Section body = ReadSection(lines, Numbered("SECTION%2.2d", k));
    const std::vector<std::string_view> b = RowFields(body, 0);
    const std::vector<std::string_view> a = RowFields(body, 1);
    TBiquadSection& s = biquads.Sections[static_cast<size_t>(k - 1)];
    s.B0 = LenientNumber(b, 0);
    s.B1 = LenientNumber(b, 1);
    s.B2 = LenientNumber(b, 2);
    s.A1 = LenientNumber(a, 0);
    s.A2 = LenientNumber(a, 1);
  }
}

// The description evaluation uses (the first available of ZP, biquad sections, polynomial
// cascades, FAP) must be in the file: without its section every value takes its default and
// the device silently reads as a flat response of 1.
void RequireEvaluatedSection(const std::vector<std::string_view>& lines, const Keys& device,
                             const std::string& name, const TDeviceInfo& d) {
  const char* flag = nullptr;
  const char* section = nullptr;
  if (d.ZPAvailable) {
    flag = "ZP available";
    section = "ZP";
  } else if (d.BiCascadeAvailable) {
    flag = "BiCascade available";
    section = "CASCADE";
  } else if (d.CascadeAvailable) {
    flag = "Cascade available";
    section = "CASCADES";
  } else if (d.FAPAvailable) {
    flag = "FAP available";
    section = "FAP";
  }
  if (flag == nullptr || ReadSection(lines, section).HeaderLine != 0) return;
  Fail(name, device.LineOf(flag), TCode::kRefuseRspNoSection, {flag, section});
}

}  // namespace

TStatus ReadRspText(std::string_view bytes, const std::string& name, TFilterPack& pack,
                    TDateTime now) {
  pack = TFilterPack{};
  const std::string text = DecodeText(bytes);
  const std::vector<std::string_view> lines = SplitLines(text);
  TStatus status = Guard([&] {
    const Section device_section = ReadSection(lines, "DEVICE");
    // Any text would otherwise read as a device without a description, whose response is 1.
    if (device_section.HeaderLine == 0) {
      Fail(name, 0, TCode::kRefuseRspNoDevice);
    }
    const Keys device(device_section, name, "DEVICE");
    TDeviceInfo& d = pack.Device;
    d.Serial = device.String("Serial", "");
    d.Model = device.String("Model", "");
    d.Note = device.String("Note", "");
    const KeyLine* date = device.Find("Date");
    d.Date = date ? ParseRspDate(date->Value).value_or(now) : now;
    d.UnitIn = device.String("UnitIn", "none");
    d.UnitOut = device.String("UnitOut", "none");
    d.ZPAvailable = device.Bool("ZP available");
    d.FAPAvailable = device.Bool("FAP available");
    d.BiCascadeAvailable = device.Bool("BiCascade available");
    d.CascadeAvailable = device.Bool("Cascade available");
    if (d.ZPAvailable) ReadZP(lines, name, pack.ZP);
    if (d.FAPAvailable) {
      ReadFap(lines, name, pack.FAP);
      // An empty table would be evaluated only when no other description is available.
      if (pack.FAP.empty() && !d.ZPAvailable && !d.BiCascadeAvailable && !d.CascadeAvailable) {
        Fail(name, device.LineOf("FAP available"), TCode::kRefuseRspFapNoRows);
      }
    }
    if (d.CascadeAvailable) ReadPolyCascades(lines, name, pack.Cascades);
    if (d.BiCascadeAvailable) ReadBiquads(lines, name, pack.BiCascade);
    RequireEvaluatedSection(lines, device, name, d);
  });
  if (!status.Ok()) pack = TFilterPack{};
  return status;
}

TStatus ReadRspFile(const std::string& path, TFilterPack& pack) {
  pack = TFilterPack{};
  std::string bytes;
  const TStatus read = Guard([&] { bytes = ReadFileBytes(path); });
  if (!read.Ok()) return read;
  return ReadRspText(bytes, path, pack, LocalNow());
}

std::string UnitResponseTemplateText(const std::string& note, double rate, TDateTime date) {
  std::string one_line_note = note;
  for (char& c : one_line_note) {
    if (c == '\r' || c == '\n') c = ' ';  // a line break would start a new key
  }
  char rate_text[64];
  std::snprintf(rate_text, sizeof rate_text, "%.15g", rate);
  std::string t;
  t += "[DEVICE]\r\nSerial=\r\nModel=\r\nNote=" + one_line_note + "\r\n";
  t += "Date=" + FormatDateTime("dd.MM.yyyy", date) + "\r\n";
  t += "UnitIn=m/s\r\nUnitOut=none\r\n";
  t += "ZP available=True\r\nFAP available=True\r\n";
  t += "BiCascade available=False\r\nCascade available=False\r\n";
  t += "[FAP]\r\n0\t1\t0\r\n" + std::string(rate_text) + "\t1\t0\r\n";
  t += "[ZP]\r\nNormalization type=1\r\nNormalization value=1\r\n";
  t += "Normalization frequency=1\r\nNormalization factor=1\r\n";
  t += "Number of zeroes=0\r\nNumber of poles=0\r\n";
  t += "[ZEROES]\r\n[POLES]\r\n";
  return t;
}

std::string UnitTemplateFileName(const std::string& path) {
  return AsciiUpper(FileExtension(path)) == ".RSP" ? path : path + ".rsp";
}

TStatus WriteUnitResponseTemplate(const std::string& path, const std::string& note, double rate,
                                  std::string* written, TDateTime today) {
  const std::string target = UnitTemplateFileName(path);
  if (written) *written = target;
  if (today == 0.0) today = LocalToday();
  const std::string bytes = Utf8ToCp1251(UnitResponseTemplateText(note, rate, today));
  // Into an existing folder only: a mistyped folder is an error, not a new folder.
  TFileReplacement replacement{std::filesystem::path(target)};
  std::string ignored;
  if (!replacement.Write(bytes, ignored) || !replacement.Commit(ignored))
    return About(TCode::kResponseNotWritten, target);
  return TStatus{};
}

}  // namespace tarvik
