#include "common/status.h"

#include <array>
#include <cstddef>

#include "common/messages.h"

namespace tarvik {

namespace {

constexpr size_t kCodeCount = static_cast<size_t>(TCode::kCount);

constexpr std::array<std::string_view, kCodeCount> kCodeNames = {
#define TARVIK_CODE_NAME(code, name) name,
    TARVIK_MESSAGE_CODES(TARVIK_CODE_NAME)
#undef TARVIK_CODE_NAME
};

// A catalogue laid out by code for lookup; a code missing from it reads as "".
using TTable = std::array<const char*, kCodeCount>;

TTable MakeTable(const std::vector<TCatalogueEntry>& entries) {
  TTable table{};
  for (const TCatalogueEntry& e : entries) {
    const size_t k = static_cast<size_t>(e.Code);
    if (k < kCodeCount) table[k] = e.Text;
  }
  return table;
}

const TTable& Table(TLanguage language) {
  static const TTable kRussianTable = MakeTable(RussianCatalogue());
  static const TTable kEnglishTable = MakeTable(EnglishCatalogue());
  return language == TLanguage::kRussian ? kRussianTable : kEnglishTable;
}

// A pattern cut into its pieces: fixed text, or the number of an argument.
struct TPiece {
  std::string_view Fixed;
  int Arg = 0;  // 1-based; 0 for fixed text
};

std::vector<TPiece> Pieces(std::string_view pattern) {
  std::vector<TPiece> pieces;
  size_t start = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '{') continue;
    size_t j = i + 1;
    int n = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') {
      n = n * 10 + (pattern[j] - '0');
      ++j;
    }
    if (j == i + 1 || j >= pattern.size() || pattern[j] != '}' || n == 0) continue;
    if (i > start) pieces.push_back({pattern.substr(start, i - start), 0});
    pieces.push_back({{}, n});
    start = j + 1;
    i = j;
  }
  if (start < pattern.size()) pieces.push_back({pattern.substr(start), 0});
  return pieces;
}

// Matches pieces[k..] against text[pos..] whole; an argument takes the shortest non-empty text
// that lets the rest match.
bool Match(const std::vector<TPiece>& pieces, size_t k, std::string_view text, size_t pos,
           std::vector<std::string>& args) {
  if (k == pieces.size()) return pos == text.size();
  const TPiece& p = pieces[k];
  if (p.Arg == 0) {
    if (text.substr(pos).substr(0, p.Fixed.size()) != p.Fixed) return false;
    return Match(pieces, k + 1, text, pos + p.Fixed.size(), args);
  }
  const size_t slot = static_cast<size_t>(p.Arg - 1);
  if (args.size() <= slot) args.resize(slot + 1);
  if (k + 1 == pieces.size()) {
    if (pos >= text.size()) return false;
    args[slot] = std::string(text.substr(pos));
    return true;
  }
  const std::string_view next = pieces[k + 1].Fixed;  // an argument is followed by fixed text
  for (size_t at = text.find(next, pos + 1); at != std::string_view::npos;
       at = text.find(next, at + 1)) {
    args[slot] = std::string(text.substr(pos, at - pos));
    if (Match(pieces, k + 1, text, at, args)) return true;
  }
  return false;
}

size_t FixedLength(const std::vector<TPiece>& pieces) {
  size_t n = 0;
  for (const TPiece& p : pieces) n += p.Fixed.size();
  return n;
}

// Whether the fixed text of pieces holds a letter (any non-ASCII byte counts as one): a pattern
// that only joins its arguments ("{1}: {2}", "{1}\n{2}") says nothing by itself and would match
// almost any text.
bool HasLetter(const std::vector<TPiece>& pieces) {
  for (const TPiece& p : pieces) {
    for (unsigned char c : p.Fixed) {
      if (c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    }
  }
  return false;
}

constexpr int kMaxNesting = 4;

std::string TranslateLine(std::string_view line, TLanguage language, int depth);
std::string TranslateWhole(std::string_view line, TLanguage language, int depth);

// A text that is a list ("канал 1 (HHE) = -1, канал 2 (HHN) = -1") or two sentences, translated
// piece by piece; "" when no piece is a catalogue text.
std::string TranslateList(std::string_view text, TLanguage language, int depth) {
  for (std::string_view separator :
       {std::string_view(". "), std::string_view("; "), std::string_view(", ")}) {
    if (text.find(separator) == std::string_view::npos) continue;
    std::string out;
    bool any = false;
    size_t start = 0;
    while (true) {
      const size_t at = text.find(separator, start);
      const std::string_view piece =
          text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
      const std::string translated = TranslateLine(piece, language, depth);
      any = any || translated != piece;
      out += translated;
      if (at == std::string_view::npos) break;
      out += separator;
      start = at + separator.size();
    }
    if (any) return out;
  }
  return {};
}

size_t CyrillicBytes(std::string_view text) {
  // Cyrillic letters are U+0400..U+04FF: lead bytes 0xD0..0xD3 in UTF-8.
  size_t n = 0;
  for (unsigned char c : text) n += c >= 0xD0 && c <= 0xD3 ? 1 : 0;
  return n;
}

std::string TranslateWhole(std::string_view line, TLanguage language, int depth) {
  std::optional<TStatus> status = ReadRussianText(line);
  if (!status) {
    if (depth >= kMaxNesting) return std::string(line);
    std::string list = TranslateList(line, language, depth + 1);
    return list.empty() ? std::string(line) : list;
  }
  if (depth < kMaxNesting) {
    for (TArg& arg : status->Args) arg.Text = TranslateLine(arg.Text, language, depth + 1);
  }
  return Text(*status, language);
}

std::string TranslateLine(std::string_view line, TLanguage language, int depth) {
  std::string best = TranslateWhole(line, language, depth);
  if (depth > 0) return best;
  // A line that a front end began with its own words ("edit: warning: ", "spectra: record 1
  // (STN): no result: "): the text after one of its ": " may be the core's. The reading that
  // leaves the fewest Russian letters wins.
  size_t left = CyrillicBytes(best);
  for (size_t at = line.find(": "); at != std::string_view::npos && left > 0;
       at = line.find(": ", at + 1)) {
    std::string candidate =
        std::string(line.substr(0, at + 2)) + TranslateWhole(line.substr(at + 2), language, 1);
    const size_t n = CyrillicBytes(candidate);
    if (n < left) {
      best = std::move(candidate);
      left = n;
    }
  }
  return best;
}

}  // namespace

TArg::TArg(const TStatus& status) : Nested(std::make_shared<const TStatus>(status)) {}

bool TArg::operator==(const TArg& other) const {
  if (Text != other.Text || (Nested == nullptr) != (other.Nested == nullptr)) return false;
  return Nested == nullptr ||
         (Nested->Code == other.Nested->Code && Nested->Args == other.Nested->Args);
}

TStatus MakeStatus(TCode code, std::vector<TArg> args) {
  TStatus s;
  s.Code = code;
  s.Args = std::move(args);
  return s;
}

std::string_view CatalogueText(TCode code, TLanguage language) {
  const size_t k = static_cast<size_t>(code);
  if (k >= kCodeCount) return {};
  const char* text = Table(language)[k];
  return text == nullptr ? std::string_view() : std::string_view(text);
}

std::string_view CodeName(TCode code) {
  const size_t k = static_cast<size_t>(code);
  return k < kCodeCount ? kCodeNames[k] : std::string_view();
}

std::string Text(const TStatus& status, TLanguage language) {
  std::string out;
  for (const TPiece& p : Pieces(CatalogueText(status.Code, language))) {
    if (p.Arg == 0) {
      out += p.Fixed;
    } else if (static_cast<size_t>(p.Arg) <= status.Args.size()) {
      const TArg& arg = status.Args[static_cast<size_t>(p.Arg - 1)];
      out += arg.Nested != nullptr ? Text(*arg.Nested, language) : arg.Text;
    }
  }
  return out;
}

std::optional<TStatus> ReadRussianText(std::string_view text) {
  std::optional<TStatus> best;
  size_t best_fixed = 0;
  for (const TCatalogueEntry& e : RussianCatalogue()) {
    const std::vector<TPiece> pieces = Pieces(e.Text);
    const size_t fixed = FixedLength(pieces);
    if (fixed <= best_fixed || !HasLetter(pieces)) continue;
    std::vector<std::string> args;
    if (!Match(pieces, 0, text, 0, args)) continue;
    best = MakeStatus(e.Code, std::vector<TArg>(args.begin(), args.end()));
    best_fixed = fixed;
  }
  return best;
}

std::string Translate(std::string_view text, TLanguage language) {
  if (language == TLanguage::kRussian) return std::string(text);
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t end = text.find('\n', start);
    out += TranslateLine(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start),
        language, 0);
    if (end == std::string_view::npos) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

TLanguage LanguageFromLocale(const char* lc_all, const char* lc_messages, const char* lang) {
  for (const char* value : {lc_all, lc_messages, lang}) {
    if (value == nullptr || *value == '\0') continue;
    const std::string_view v(value);
    return v.substr(0, 2) == "ru" ? TLanguage::kRussian : TLanguage::kEnglish;
  }
  return TLanguage::kEnglish;
}

std::optional<TLanguage> ParseLanguage(std::string_view name) {
  if (name == "ru") return TLanguage::kRussian;
  if (name == "en") return TLanguage::kEnglish;
  return std::nullopt;
}

}  // namespace tarvik
