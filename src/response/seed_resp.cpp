#include "response/seed_resp.h"

#include <numbers>
#include <vector>

#include "common/text_encoding.h"
#include "response/response_evaluation.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

// The value of a tag line: after its first ":" and the blanks that follow, up to the next
// blank, or with whole_rest the rest of the line up to ";" (for texts such as end dates).
std::string TagValue(std::string_view line, bool whole_rest) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  std::string_view rest = line.substr(colon + 1);
  const size_t start = rest.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return {};
  rest = rest.substr(start);
  if (whole_rest) return Trim(rest.substr(0, rest.find(';')));
  return std::string(rest.substr(0, rest.find_first_of(kBlanks)));
}

class SeedReader {
 public:
  SeedReader(const std::string& name, TCombinedFilter& packs) : name_(name), packs_(packs) {}

  void Line(std::string_view line, int number) {
    line_ = number;
    const std::vector<std::string_view> fields = SplitFields(line, kBlanks);
    if (fields.empty()) return;
    const std::string_view tag = fields[0];
    if (tag.size() < 7 || tag[0] != 'B') return;  // comments and other text
    if (tag == "B050F03") {
      Open(TagValue(line, false));
      return;
    }
    if (packs_.empty()) return;  // no response is open yet: nothing to apply these to
    TFilterPack& pack = packs_.back();
    TDeviceInfo& d = pack.Device;
    TComplexFilter& zp = pack.ZP;
    if (tag == "B050F16") {
      d.Network = TagValue(line, false);
    } else if (tag == "B052F03") {
      d.Location = TagValue(line, false);
    } else if (tag == "B052F04") {
      d.Channel = TagValue(line, false);
    } else if (tag == "B052F22") {
      d.Date = ParseSeedTime(TagValue(line, false));
    } else if (tag == "B052F23") {
      const std::string value = TagValue(line, true);
      d.EndDate = ParseSeedTime(value);
      if (d.EndDate == 0.0) d.Note = value;
    } else if (tag == "B053F03") {
      d.ZPAvailable = true;
      zp.Kind = 'S';
      zp.NormType = 1;
      // Type B gives its roots in Hz; the model holds rad/s.
      const std::string type = AsciiUpper(TagValue(line, false));
      root_scale_ = !type.empty() && type.front() == 'B' ? 2.0 * std::numbers::pi : 1.0;
    } else if (tag == "B053F04" || tag == "B054F04" || tag == "B058F03") {
      stage_ = Integer(tag, TagValue(line, false));
    } else if (tag == "B053F05" || tag == "B054F05") {
      // What stage 1 takes in is what the whole channel responds to, whether that stage is
      // poles and zeros or coefficients.
      if (stage_ == 1) d.UnitIn = TagValue(line, false);
    } else if (tag == "B053F06" || tag == "B054F06") {
      d.UnitOut = TagValue(line, false);
    } else if (tag == "B053F07") {
      // A0 only scales its own stage's roots to 1 at its normalisation frequency, which
      // NormalizeZP redoes for all stages together; it is no gain, so it does not enter the
      // product. Stage 1 restarts the product of gains.
      Number(tag, TagValue(line, false));
      if (stage_ == 1) zp.NormValue = 1.0;
    } else if (tag == "B053F08") {
      zp.NormFrequency = Number(tag, TagValue(line, false));
    } else if (tag == "B053F09") {
      AddRoots(tag, TagValue(line, false), zp.ZeroCount, zeros_, true);
    } else if (tag == "B053F14") {
      AddRoots(tag, TagValue(line, false), zp.PoleCount, poles_, false);
    } else if (tag == "B053F10-13") {
      SetRoot(fields, zeros_, zp.Zeros, true);
    } else if (tag == "B053F15-18") {
      SetRoot(fields, poles_, zp.Poles, false);
    } else if (tag == "B058F04") {
      const double gain = Number(tag, TagValue(line, false));
      zp.NormValue = stage_ < 1 ? gain : zp.NormValue * gain;
    }
  }

  void Finish() { NormalizeOpen(); }

 private:
  // Where the roots of the current stage begin in the gathered list, and how many it has.
  struct StageRoots {
    int32_t Start = 0;
    int32_t Count = 0;
  };

  void NormalizeOpen() {
    if (!packs_.empty() && packs_.back().Device.ZPAvailable) NormalizeZP(packs_.back().ZP);
  }

  void Open(const std::string& station) {
    NormalizeOpen();
    if (packs_.size() >= kMaxResponsesPerFile) {
      Fail(name_, line_, TCode::kRefuseTooManyResponses, {std::to_string(kMaxResponsesPerFile)});
    }
    TFilterPack& pack = packs_.emplace_back();
    pack.Device.Station = station;
    pack.Device.Serial = "??";
    pack.Device.Model = "??";
    pack.ZP.NormValue = 1.0;  // the product of stage gains starts here
    stage_ = 0;
    zeros_ = {};
    poles_ = {};
    root_scale_ = 1.0;
  }

  int32_t Integer(std::string_view tag, const std::string& value) const {
    const auto v = ParseInt32(value);
    if (!v) Fail(name_, line_, TCode::kRefuseTagNotInteger, {tag, Quote(value)});
    return *v;
  }

  double Number(std::string_view tag, std::string_view value) const {
    const auto v = ParseDouble(value);
    if (!v) Fail(name_, line_, TCode::kRefuseTagNotNumber, {tag, Quote(value)});
    return *v;
  }

  void AddRoots(std::string_view tag, const std::string& value, int32_t& total, StageRoots& stage,
                bool zeros) {
    const int32_t n = Integer(tag, value);
    if (n < 0 || n > kMaxRoots - total) {
      Fail(name_, line_, zeros ? TCode::kRefuseMoreZeros : TCode::kRefuseMorePoles,
           {tag, std::to_string(n), std::to_string(total), std::to_string(kMaxRoots)});
    }
    stage = {total, n};
    total += n;
  }

  // "B053F10-13 index real imaginary ..." (errors follow and are not used).
  void SetRoot(const std::vector<std::string_view>& fields, const StageRoots& stage,
               TComplexRoots& roots, bool zeros) {
    if (fields.size() < 4) {
      Fail(name_, line_, zeros ? TCode::kRefuseZeroLineFields : TCode::kRefusePoleLineFields);
    }
    const int32_t index = Integer(fields[0], std::string(fields[1]));
    const double re = Number(fields[0], fields[2]);
    const double im = Number(fields[0], fields[3]);
    if (index < 0 || index >= stage.Count) {
      Fail(name_, line_, zeros ? TCode::kRefuseZeroIndexOutside : TCode::kRefusePoleIndexOutside,
           {std::to_string(index), std::to_string(stage.Count)});
    }
    roots[static_cast<size_t>(stage.Start + index)] = TComplex(re, im) * root_scale_;
  }

  const std::string& name_;
  TCombinedFilter& packs_;
  int line_ = 0;
  int32_t stage_ = 0;
  StageRoots zeros_;
  StageRoots poles_;
  double root_scale_ = 1.0;
};

}  // namespace

TDateTime ParseSeedTime(std::string_view text) {
  const std::vector<std::string_view> parts = SplitFields(text, ",");
  if (parts.size() < 2 || parts.size() > 3 || text.front() == ',' || text.back() == ',' ||
      text.find(",,") != std::string_view::npos) {
    return 0.0;
  }
  const auto year = ParseInt32(parts[0]);
  const auto day = ParseInt32(parts[1]);
  if (!year || !day || *day < 1) return 0.0;
  const auto first = CalendarDate(*year, 1, 1);
  const auto last = CalendarDate(*year, 12, 31);
  if (!first || !last || *day > *last - *first + 1) return 0.0;
  double time = 0.0;
  if (parts.size() == 3) {
    const auto t = ParseTimeOfDay(parts[2]);
    if (!t) return 0.0;
    time = *t;
  }
  return *first + (*day - 1) + time;
}

TStatus ReadSeedRespText(std::string_view bytes, const std::string& name, TCombinedFilter& packs) {
  packs.clear();
  const std::string text = DecodeText(bytes);
  const std::vector<std::string_view> lines = SplitLines(text);
  SeedReader reader(name, packs);
  TStatus status = Guard([&] {
    for (size_t i = 0; i < lines.size(); ++i) reader.Line(lines[i], static_cast<int>(i) + 1);
    reader.Finish();
  });
  if (!status.Ok()) packs.clear();
  return status;
}

}  // namespace tarvik
