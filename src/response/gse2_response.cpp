#include "response/gse2_response.h"

#include <vector>

#include "common/text_encoding.h"
#include "response/response_evaluation.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

class GseReader {
 public:
  GseReader(const std::string& name, const std::vector<std::string_view>& lines,
            TCombinedFilter& packs)
      : name_(name), lines_(lines), packs_(packs) {}

  void Run() {
    for (size_t i = 0; i < lines_.size(); ++i) {
      const std::vector<std::string_view> fields = SplitFields(lines_[i], kBlanks);
      if (fields.empty()) continue;
      if (fields[0] == "CAL2") {
        Calibration(lines_[i], static_cast<int>(i) + 1);
      } else if (fields[0] == "PAZ2") {
        i = PolesAndZeros(i);
      }
    }
    NormalizeOpen();
  }

 private:
  void NormalizeOpen() {
    if (!packs_.empty() && packs_.back().Device.ZPAvailable) NormalizeZP(packs_.back().ZP);
  }

  // what: the code naming the field.
  double Number(TCode what, std::string_view text, int line) const {
    const auto v = ParseDouble(text);
    if (!v) Fail(name_, line, TCode::kRefuseFieldNotNumber, {MakeStatus(what), Quote(text)});
    return *v;
  }

  int32_t Integer(TCode what, std::string_view text, int line) const {
    const auto v = ParseInt32(text);
    if (!v) Fail(name_, line, TCode::kRefuseFieldNotInteger, {MakeStatus(what), Quote(text)});
    return *v;
  }

  // "2001/05/17" plus a time of day "hh:mm[:ss]".
  TDateTime DateTime(TCode what, std::string_view date, std::string_view time, int line) const {
    const std::vector<std::string_view> ymd = SplitFields(date, "/");
    std::optional<TDateTime> day;
    if (ymd.size() == 3 && date.front() != '/' && date.back() != '/' &&
        date.find("//") == std::string_view::npos) {
      const auto y = ParseInt32(ymd[0]);
      const auto m = ParseInt32(ymd[1]);
      const auto d = ParseInt32(ymd[2]);
      if (y && m && d) day = CalendarDate(*y, *m, *d);
    }
    if (!day) Fail(name_, line, TCode::kRefuseFieldDate, {MakeStatus(what), Quote(date)});
    if (time.empty()) return *day;
    const auto t = ParseTimeOfDay(time);
    if (!t) Fail(name_, line, TCode::kRefuseFieldTime, {MakeStatus(what), Quote(time)});
    return *day + *t;
  }

  void Calibration(std::string_view line, int number) {
    NormalizeOpen();
    if (packs_.size() >= kMaxResponsesPerFile) {
      Fail(name_, number, TCode::kRefuseTooManyResponses, {std::to_string(kMaxResponsesPerFile)});
    }
    TFilterPack& pack = packs_.emplace_back();
    TDeviceInfo& d = pack.Device;
    d.UnitIn = "m";
    d.UnitOut = "Count";
    d.Station = Columns(line, 6, 10);
    d.Channel = Columns(line, 12, 14);
    d.Serial = Columns(line, 16, 19);
    d.Model = Columns(line, 21, 26);
    d.Network = "??";
    d.Location = "??";
    const std::vector<std::string_view> f =
        SplitFields(line.size() > 27 ? line.substr(27) : std::string_view(), kBlanks);
    if (f.size() < 5) {
      Fail(name_, number, TCode::kRefuseCal2Fields);
    }
    const double calibration = Number(TCode::kRefuseGse2Calibration, f[0], number);
    const double period = Number(TCode::kRefuseGse2Period, f[1], number);
    if (calibration == 0.0) Fail(name_, number, TCode::kRefuseCalibrationZero);
    if (period <= 0.0) Fail(name_, number, TCode::kRefuseCalibrationPeriod);
    TComplexFilter& zp = pack.ZP;
    zp.NormValue = 1e9 / calibration;
    zp.NormFrequency = 1.0 / period;
    d.Date = DateTime(TCode::kRefuseGse2On, f[3], f[4], number);
    // A calibration still in force has no off-date.
    if (f.size() > 5)
      d.EndDate = DateTime(TCode::kRefuseGse2Off, f[5], f.size() > 6 ? f[6] : "", number);
  }

  // Reads the PAZ2 line at index i and its root lines; returns the index of the last line used.
  size_t PolesAndZeros(size_t i) {
    const std::string_view line = lines_[i];
    const int number = static_cast<int>(i) + 1;
    Integer(TCode::kRefuseGse2Stage, Columns(line, 6, 7), number);
    const int32_t poles = Integer(TCode::kRefuseGse2PoleCount, Columns(line, 41, 43), number);
    const int32_t zeros = Integer(TCode::kRefuseGse2ZeroCount, Columns(line, 45, 47), number);
    if (packs_.empty()) return i + static_cast<size_t>(std::max(0, poles) + std::max(0, zeros));
    TComplexFilter& zp = packs_.back().ZP;
    CheckCount(TCode::kRefuseMorePolesAfter, poles, zp.PoleCount, number);
    CheckCount(TCode::kRefuseMoreZerosAfter, zeros, zp.ZeroCount, number);
    packs_.back().Device.ZPAvailable = true;
    zp.Kind = 'S';
    zp.NormType = 1;
    for (int32_t k = 0; k < poles; ++k) zp.Poles[static_cast<size_t>(zp.PoleCount++)] = Root(++i);
    for (int32_t k = 0; k < zeros; ++k) zp.Zeros[static_cast<size_t>(zp.ZeroCount++)] = Root(++i);
    return i;
  }

  // refusal: kRefuseMorePolesAfter or kRefuseMoreZerosAfter.
  void CheckCount(TCode refusal, int32_t n, int32_t held, int line) const {
    if (n < 0 || n > kMaxRoots - held) {
      Fail(name_, line, refusal,
           {std::to_string(n), std::to_string(held), std::to_string(kMaxRoots)});
    }
  }

  // A root line: real part in columns 2-16, imaginary part in 18-32; a line that does not keep
  // to the columns is read as two blank-separated numbers.
  TComplex Root(size_t i) const {
    if (i >= lines_.size()) Fail(name_, static_cast<int>(i), TCode::kRefuseEndsInsidePaz2);
    const std::string_view line = lines_[i];
    const int number = static_cast<int>(i) + 1;
    auto re = ParseDouble(Columns(line, 2, 16));
    auto im = ParseDouble(Columns(line, 18, 32));
    if (!re || !im) {
      const std::vector<std::string_view> f = SplitFields(line, kBlanks);
      re = f.size() > 0 ? ParseDouble(f[0]) : std::nullopt;
      im = f.size() > 1 ? ParseDouble(f[1]) : std::nullopt;
    }
    if (!re || !im) {
      Fail(name_, number, TCode::kRefuseRootNeedsParts, {Quote(line)});
    }
    return {*re, *im};
  }

  const std::string& name_;
  const std::vector<std::string_view>& lines_;
  TCombinedFilter& packs_;
};

}  // namespace

TStatus ReadGse2Text(std::string_view bytes, const std::string& name, TCombinedFilter& packs) {
  packs.clear();
  const std::string text = DecodeText(bytes);
  const std::vector<std::string_view> lines = SplitLines(text);
  GseReader reader(name, lines, packs);
  TStatus status = Guard([&] { reader.Run(); });
  if (!status.Ok()) packs.clear();
  return status;
}

}  // namespace tarvik
