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
