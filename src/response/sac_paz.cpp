#include "response/sac_paz.h"

#include <array>
#include <optional>
#include <vector>

#include "common/text_encoding.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

enum Part { kZeros = 0, kPoles = 1, kConstant = 2, kNoPart = 3 };
constexpr std::array<const char*, 3> kPartName = {"ZEROS", "POLES", "CONSTANT"};

Part KeywordOf(std::string_view field) {
  const std::string word = AsciiUpper(field);
  for (int p = kZeros; p <= kConstant; ++p) {
    if (word == kPartName[static_cast<size_t>(p)]) return static_cast<Part>(p);
  }
  return kNoPart;
}

bool IsComment(std::string_view line) {
  const std::string trimmed = Trim(line);
  return trimmed.empty() || trimmed.front() == '#' || trimmed.front() == '*';
}

// The unit a comment line declares under label ("INPUT UNIT"): the first word after the label,
// an optional "S" and an optional ":"; nullopt when the line is not that declaration.
std::optional<std::string> DeclaredUnit(std::string_view line, std::string_view label) {
  std::string text = Trim(line);
  while (!text.empty() && (text.front() == '*' || text.front() == '#')) text.erase(0, 1);
  text = Trim(text);
  if (AsciiUpper(text.substr(0, label.size())) != label) return std::nullopt;
  std::string_view rest = std::string_view(text).substr(label.size());
  if (!rest.empty() && (rest.front() == 'S' || rest.front() == 's')) rest.remove_prefix(1);
  if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t' && rest.front() != ':') {
    return std::nullopt;  // another label beginning with the same words
  }
  std::string value = Trim(rest);
  if (!value.empty() && value.front() == ':') value = Trim(std::string_view(value).substr(1));
  return value.substr(0, value.find_first_of(" \t"));
}

}  // namespace

TStatus ReadSacPazText(std::string_view bytes, const std::string& name, TComplexFilter& zp,
                       TSacPazUnits* units) {
  zp = TComplexFilter{};
  TSacPazUnits declared;
  zp.Kind = 'S';
  zp.NormType = 2;
  zp.NormValue = 1.0;
  zp.NormFrequency = 1.0;
  const std::string text = DecodeText(bytes);
  const std::vector<std::string_view> lines = SplitLines(text);
  TStatus status = Guard([&] {
    std::array<bool, 3> seen = {false, false, false};
    Part reading = kNoPart;  // the part whose root lines are being read
    int read = 0;
    const auto complete = [&] {
      const bool roots_done =
          reading == kNoPart || read >= (reading == kZeros ? zp.ZeroCount : zp.PoleCount);
      return seen[kZeros] && seen[kPoles] && seen[kConstant] && roots_done;
    };
    // Reading stops after the first complete description; later lines are ignored.
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string_view line = lines[i];
      if (IsComment(line)) {
        if (auto unit = DeclaredUnit(line, "INPUT UNIT")) declared.Input = std::move(*unit);
        if (auto unit = DeclaredUnit(line, "OUTPUT UNIT")) declared.Output = std::move(*unit);
        continue;
      }
      const int number = static_cast<int>(i) + 1;
      const std::vector<std::string_view> fields = SplitFields(line, kBlanks);
      const Part keyword = KeywordOf(fields[0]);
      if (keyword == kNoPart && reading != kNoPart) {
        const int32_t count = reading == kZeros ? zp.ZeroCount : zp.PoleCount;
        if (read < count) {
          const auto re = ParseDouble(fields[0]);
          const auto im = fields.size() > 1 ? ParseDouble(fields[1]) : std::nullopt;
          if (!re || !im) {
            Fail(name, number, TCode::kRefuseRootNeedsParts, {Quote(line)});
          }
          (reading == kZeros ? zp.Zeros : zp.Poles)[static_cast<size_t>(read++)] = {*re, *im};
          if (complete()) break;
          continue;
        }
      }
      Part part = keyword;
      if (part == kNoPart) {
        // An unlabelled header stands for the next part in the usual order.
        part = !seen[kZeros] ? kZeros : !seen[kPoles] ? kPoles : kConstant;
      }
      const char* part_name = kPartName[part];
      if (seen[part]) Fail(name, number, TCode::kRefuseSecondLine, {part_name});
      seen[part] = true;
      reading = kNoPart;
      read = 0;
      const std::string_view value = fields.size() > 1 ? fields[1] : std::string_view();
      if (part == kConstant) {
        const auto c = ParseDouble(value);
        if (!c) Fail(name, number, TCode::kRefuseKeyNotNumber, {"CONSTANT", Quote(value)});
        zp.NormFactor = *c;
      } else {
        const auto count = ParseInt32(value);
        if (!count) {
          Fail(name, number, TCode::kRefuseCountOfNotInteger, {part_name, Quote(value)});
        }
        if (*count < 0 || *count > kMaxRoots) {
          Fail(name, number,
               part == kZeros ? TCode::kRefuseZeroCountRange : TCode::kRefusePoleCountRange,
               {part_name, std::to_string(*count), std::to_string(kMaxRoots)});
        }
        (part == kZeros ? zp.ZeroCount : zp.PoleCount) = *count;
        reading = part;
      }
      if (complete()) break;
    }
    if (!seen[kConstant]) Fail(name, 0, TCode::kRefuseNoKeyLine, {"CONSTANT"});
  });
  if (!status.Ok()) {
    zp = TComplexFilter{};
    declared = {};
  }
  if (units != nullptr) *units = std::move(declared);
  return status;
}

}  // namespace tarvik
