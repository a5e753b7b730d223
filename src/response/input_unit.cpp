#include "response/input_unit.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/text_encoding.h"
#include "response/response_evaluation.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

struct LengthUnit {
  std::string_view Name;
  double Metres;
};

// Two-letter names first, so that "MM" is not read as "M" followed by "M".
constexpr std::array<LengthUnit, 5> kLengths = {
    {{"NM", 1e-9}, {"UM", 1e-6}, {"MM", 1e-3}, {"CM", 1e-2}, {"M", 1.0}}};

bool OneOf(std::string_view text, std::initializer_list<std::string_view> options) {
  return std::find(options.begin(), options.end(), text) != options.end();
}

// Removes the root at 0 from roots (count of them used); false when there is none.
bool CancelRootAtZero(TComplexRoots& roots, int32_t& count) {
  const auto end = roots.begin() + std::clamp(count, 0, kMaxRoots);
  const auto at = std::find(roots.begin(), end, TComplex(0.0, 0.0));
  if (at == end) return false;
  std::move(at + 1, end, at);
  *(end - 1) = TComplex(0.0, 0.0);
  --count;
  return true;
}

// Adds a root at 0; false when the description holds as many roots as it can.
bool AddRootAtZero(TComplexRoots& roots, int32_t& count) {
  if (count < 0 || count >= kMaxRoots) return false;
  roots[static_cast<size_t>(count++)] = TComplex(0.0, 0.0);
  return true;
}

}  // namespace

TInputUnit ParseInputUnit(std::string_view text) {
  const std::string trimmed = Trim(text);
  const std::string word =
      AsciiUpper(std::string_view(trimmed).substr(0, trimmed.find_first_of(" \t")));
  if (OneOf(word, {"", "V", "VOLT", "VOLTS", "COUNT", "COUNTS", "A", "NONE"})) return {};
  for (const LengthUnit& length : kLengths) {
    if (word.compare(0, length.Name.size(), length.Name) != 0) continue;
    const std::string_view time = std::string_view(word).substr(length.Name.size());
    if (time.empty()) return {TInputQuantity::kDisplacement, length.Metres};
    if (OneOf(time, {"/S", "/SEC"})) return {TInputQuantity::kVelocity, length.Metres};
    if (OneOf(time, {"/S**2", "/S^2", "/S2", "/S/S", "/SEC**2", "/SEC^2", "/SEC2", "/SEC/SEC"})) {
      return {TInputQuantity::kAcceleration, length.Metres};
    }
    break;
  }
  return {TInputQuantity::kUnknown, 1.0};
}

TStatus ConvertToVelocityInput(TFilterPack& pack, const std::string& name, bool* converted) {
  if (converted != nullptr) *converted = false;
  const std::string& declared = pack.Device.UnitIn;
  const TInputUnit unit = ParseInputUnit(declared);
  if (unit.Quantity == TInputQuantity::kNotGround ||
      (unit.Quantity == TInputQuantity::kVelocity && unit.Metres == 1.0)) {
    return TStatus{};
  }
  const std::string unit_text = Quote(declared);
  if (unit.Quantity == TInputQuantity::kUnknown) {
    return Defect(name, 0, MakeStatus(TCode::kRefuseUnitNotGround, {unit_text}));
  }
  if (!pack.Device.ZPAvailable) {
    return Defect(name, 0, MakeStatus(TCode::kRefuseUnitNeedsPoles, {unit_text}));
  }
  TComplexFilter& zp = pack.ZP;
  if (unit.Quantity == TInputQuantity::kDisplacement) {
    // A response to displacement x = v/(iω): the velocity response is H/(iω).
    if (!CancelRootAtZero(zp.Zeros, zp.ZeroCount) && !AddRootAtZero(zp.Poles, zp.PoleCount)) {
      return Defect(name, 0,
                    MakeStatus(TCode::kRefuseUnitOnePole, {unit_text, std::to_string(kMaxRoots)}));
    }
  } else if (unit.Quantity == TInputQuantity::kAcceleration) {
    // A response to acceleration a = iω·v: the velocity response is H·iω.
    if (!CancelRootAtZero(zp.Poles, zp.PoleCount) && !AddRootAtZero(zp.Zeros, zp.ZeroCount)) {
      return Defect(name, 0,
                    MakeStatus(TCode::kRefuseUnitOneZero, {unit_text, std::to_string(kMaxRoots)}));
    }
  }
  // Output per nanometre is 1e9 times the output per metre.
  zp.NormFactor /= unit.Metres;
  if (std::isfinite(zp.NormFrequency) && zp.NormFrequency > 0.0) {
    zp.NormValue = ResponseModulus(EvaluateZP(zp, zp.NormFrequency));
  }
  if (converted != nullptr) *converted = true;
  return TStatus{};
}

}  // namespace tarvik
