#include "response/stationxml.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include <pugixml.hpp>

#include "response/response_evaluation.h"
#include "response/response_text.h"

namespace tarvik {

namespace {

using namespace response_text;

// An element's name without its namespace prefix.
std::string_view LocalName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && LocalName(c) == name) return c;
  }
  return {};
}

std::vector<pugi::xml_node> Children(const pugi::xml_node& node, std::string_view name) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && LocalName(c) == name) out.push_back(c);
  }
  return out;
}

std::string TextOf(const pugi::xml_node& node) {
  return Trim(node.text().get());
}

// "2012-03-12T20:28:00", with or without fractions of a second, a "Z" or a zero offset; a date
// alone is its midnight.
std::optional<TDateTime> ParseXmlTime(std::string text) {
  for (const char* zero : {"Z", "+00:00", "-00:00"}) {
    const std::string_view z(zero);
    if (text.size() > z.size() && text.compare(text.size() - z.size(), z.size(), z) == 0) {
      text.resize(text.size() - z.size());
      break;
    }
  }
  if (text.size() == 10) text += "T00:00:00";
  return ParseIso(text);
}

TArg TimeText(TDateTime t) {
  if (t == -std::numeric_limits<double>::infinity()) return MakeStatus(TCode::kRefuseXmlBeginning);
  return FormatIso(t);
}

// What the parser found wrong, told in the language of the message; a status the table lacks
// keeps the parser's own words.
TStatus ParseErrorText(const pugi::xml_parse_result& parsed) {
  struct Entry {
    pugi::xml_parse_status Status;
    TCode Code;
  };
  static constexpr Entry kEntries[] = {
      {pugi::status_out_of_memory, TCode::kRefuseXmlOutOfMemory},
      {pugi::status_internal_error, TCode::kRefuseXmlInternalError},
      {pugi::status_unrecognized_tag, TCode::kRefuseXmlUnrecognizedTag},
      {pugi::status_bad_pi, TCode::kRefuseXmlBadPi},
      {pugi::status_bad_comment, TCode::kRefuseXmlBadComment},
      {pugi::status_bad_cdata, TCode::kRefuseXmlBadCdata},
      {pugi::status_bad_doctype, TCode::kRefuseXmlBadDoctype},
      {pugi::status_bad_pcdata, TCode::kRefuseXmlBadPcdata},
      {pugi::status_bad_start_element, TCode::kRefuseXmlBadStartElement},
      {pugi::status_bad_attribute, TCode::kRefuseXmlBadAttribute},
      {pugi::status_bad_end_element, TCode::kRefuseXmlBadEndElement},
      {pugi::status_end_element_mismatch, TCode::kRefuseXmlTagMismatch},
      {pugi::status_no_document_element, TCode::kRefuseXmlNoElement},
  };
  for (const Entry& e : kEntries) {
    if (e.Status == parsed.status) return MakeStatus(e.Code);
  }
  return MakeStatus(TCode::kRefuseXmlParser, {parsed.description()});
}

TStatus EpochText(const TChannelEpoch& e) {
  return e.End ? MakeStatus(TCode::kRefuseEpoch, {TimeText(e.Start), TimeText(*e.End)})
               : MakeStatus(TCode::kRefuseOpenEpoch, {TimeText(e.Start)});
}

// A channel epoch and the element that describes it.
struct EpochNode {
  TChannelEpoch Epoch;
  pugi::xml_node Channel;
};

class Reader {
 public:
  explicit Reader(const std::string& name) : name_(name) {}

  // Refuses the document for reason, said of the stage and the channel being read.
  [[noreturn]] void Refuse(TCode code, std::vector<TArg> args = {}) const {
    TStatus reason = MakeStatus(code, std::move(args));
    if (!stage_.empty()) reason = MakeStatus(TCode::kRefuseXmlInStage, {stage_, reason});
    if (!where_.empty()) reason = MakeStatus(TCode::kRefuseXmlInChannel, {where_, reason});
    Fail(name_, 0, reason);
  }

  void Parse(std::string_view bytes) {
    const pugi::xml_parse_result parsed = doc_.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
      TStatus status = Defect(name_, 0,
                              MakeStatus(TCode::kRefuseXmlNotWellFormed,
                                         {ParseErrorText(parsed), std::to_string(parsed.offset)}));
      status.Offset = parsed.offset;
      Fail(std::move(status));
    }
    const pugi::xml_node root = doc_.document_element();
    if (LocalName(root) != "FDSNStationXML") Fail(name_, 0, TCode::kRefuseXmlNotStationXml);
    for (const pugi::xml_node& net : Children(root, "Network")) {
      for (const pugi::xml_node& sta : Children(net, "Station")) {
        for (const pugi::xml_node& cha : Children(sta, "Channel")) {
          EpochNode e;
          e.Channel = cha;
          e.Epoch.Code = {Trim(net.attribute("code").value()), Trim(sta.attribute("code").value()),
                          Trim(cha.attribute("locationCode").value()),
                          Trim(cha.attribute("code").value())};
          where_ = ChannelCodeText(e.Epoch.Code);
          if (e.Epoch.Code.Network.empty() || e.Epoch.Code.Station.empty() ||
              e.Epoch.Code.Channel.empty()) {
            Refuse(TCode::kRefuseXmlNoCodes);
          }
          e.Epoch.Start = Date(cha, "startDate").value_or(-std::numeric_limits<double>::infinity());
          e.Epoch.End = Date(cha, "endDate");
          e.Epoch.OutputUnit = LastOutputUnit(cha);
          epochs_.push_back(std::move(e));
        }
      }
    }
    where_.clear();
  }

  const std::vector<EpochNode>& Epochs() const { return epochs_; }

  // The response of one channel epoch.
  void ReadResponse(const EpochNode& e, TFilterPack& pack, TStationXmlInfo* info) {
    where_ = ChannelCodeText(e.Epoch.Code);
    TDeviceInfo& d = pack.Device;
    d.Network = e.Epoch.Code.Network;
    d.Station = e.Epoch.Code.Station;
    d.Location = e.Epoch.Code.Location;
    d.Channel = e.Epoch.Code.Channel;
    d.Date = std::isfinite(e.Epoch.Start) ? e.Epoch.Start : 0.0;
    d.EndDate = e.Epoch.End.value_or(0.0);
    d.Model = TextOf(Child(Child(e.Channel, "Sensor"), "Type"));
    d.Note = where_;
    const pugi::xml_node response = Child(e.Channel, "Response");
    const pugi::xml_node sensitivity = Child(response, "InstrumentSensitivity");
    const std::vector<pugi::xml_node> stages = Children(response, "Stage");
    if (!response || (stages.empty() && !sensitivity)) Refuse(TCode::kRefuseXmlNoResponse);

    TComplexFilter& zp = pack.ZP;
    zp.Kind = 'S';
    zp.NormType = 2;
    zp.NormFactor = 1.0;
    zp.NormFrequency = 1.0;
    d.ZPAvailable = true;
    if (stages.empty()) {
      // Only the overall sensitivity: a flat response of that value.
      zp.NormFactor = Number(sensitivity, "Value");
      d.UnitIn = UnitName(sensitivity, "InputUnits");
      d.UnitOut = UnitName(sensitivity, "OutputUnits");
    }
    for (size_t i = 0; i < stages.size(); ++i) {
      const pugi::xml_node stage = stages[i];
      const std::string number = stage.attribute("number").value();
      stage_ = number.empty() ? std::to_string(i + 1) : number;
      ReadStage(stage, i == 0, pack);
    }
    stage_.clear();
    // The response is told at the frequency the document states its sensitivity at, or else
    // where its first analog stage is normalised.
    std::optional<double> f = sensitivity ? OptionalNumber(sensitivity, "Frequency") : std::nullopt;
    if (!f) f = pz_frequency_;
    if (f && *f >= 0.0) zp.NormFrequency = *f;
    NormalizeZP(zp);
    const std::optional<double> value =
        sensitivity && !stages.empty() ? OptionalNumber(sensitivity, "Value") : std::nullopt;
    if (value && info != nullptr) {
      const double stated = std::fabs(*value);
      const double stages_gain = ResponseModulus(EvaluatePack(pack, zp.NormFrequency));
      if (!(std::fabs(stages_gain - stated) <= 0.01 * stated)) {
        info->SensitivityNote = MakeStatus(
            TCode::kStationXmlSensitivityDisagrees,
            {where_, FormatShort(stages_gain), FormatShort(zp.NormFrequency), FormatShort(stated)});
      }
    }
  }

 private:
  static std::string FormatShort(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
  }

  std::optional<TDateTime> Date(const pugi::xml_node& node, const char* attribute) {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a) return std::nullopt;
    const std::optional<TDateTime> t = ParseXmlTime(Trim(a.value()));
    if (!t) Refuse(TCode::kRefuseXmlNotDateTime, {attribute, Quote(a.value())});
    return t;
  }

  std::optional<double> OptionalNumber(const pugi::xml_node& node, std::string_view child) {
    const pugi::xml_node c = Child(node, child);
    if (!c) return std::nullopt;
    const std::string text = TextOf(c);
    const std::optional<double> v = ParseDouble(text);
    if (!v) Refuse(TCode::kRefuseXmlNotNumber, {child, Quote(text)});
    return v;
  }

  double Number(const pugi::xml_node& node, std::string_view child) {
    const std::optional<double> v = OptionalNumber(node, child);
    if (!v) Refuse(TCode::kRefuseXmlHasNo, {LocalName(node), child});
    return *v;
  }

  static std::string UnitName(const pugi::xml_node& node, std::string_view which) {
    return TextOf(Child(Child(node, which), "Name"));
  }

  // The output unit of the channel's last stage, as far as the document gives it.
  static std::string LastOutputUnit(const pugi::xml_node& channel) {
    const std::vector<pugi::xml_node> stages = Children(Child(channel, "Response"), "Stage");
    if (stages.empty()) {
      return UnitName(Child(Child(channel, "Response"), "InstrumentSensitivity"), "OutputUnits");
    }
    for (pugi::xml_node c = stages.back().first_child(); c; c = c.next_sibling()) {
      const std::string unit = UnitName(c, "OutputUnits");
      if (!unit.empty()) return unit;
    }
    return {};
  }

  void ReadStage(const pugi::xml_node& stage, bool first, TFilterPack& pack) {
    TComplexFilter& zp = pack.ZP;
    pugi::xml_node filter;
    for (pugi::xml_node c = stage.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const std::string_view kind = LocalName(c);
      if (kind == "Decimation" || kind == "StageGain" || kind == "Description") continue;
      if (kind != "PolesZeros" && kind != "Coefficients" && kind != "FIR") {
        Refuse(TCode::kRefuseXmlStageKind, {kind});
      }
      if (filter) Refuse(TCode::kRefuseXmlTwoFilters);
      filter = c;
    }
    if (filter) {
      if (first) pack.Device.UnitIn = UnitName(filter, "InputUnits");
      const std::string out = UnitName(filter, "OutputUnits");
      if (!out.empty()) pack.Device.UnitOut = out;
      const std::string_view kind = LocalName(filter);
      if (kind == "PolesZeros") {
        ReadPolesZeros(filter, stage, pack);
      } else if (kind == "Coefficients") {
        ReadCoefficients(filter, stage, pack);
      } else {
        ReadFir(filter, stage, pack);
      }
    }
    if (const pugi::xml_node gain = Child(stage, "StageGain")) {
      const double value = Number(gain, "Value");
      if (value == 0.0) Refuse(TCode::kRefuseXmlZeroGain);
      zp.NormFactor *= value;
    }
  }

  double InputRate(const pugi::xml_node& stage) {
    const pugi::xml_node decimation = Child(stage, "Decimation");
    const std::optional<double> rate =
        decimation ? OptionalNumber(decimation, "InputSampleRate") : std::nullopt;
    if (!rate || !(*rate > 0.0)) {
      Refuse(TCode::kRefuseXmlNoInputRate);
    }
    return *rate;
  }

  std::vector<TComplex> Roots(const pugi::xml_node& filter, std::string_view which) {
    std::vector<TComplex> roots;
    for (const pugi::xml_node& r : Children(filter, which)) {
      roots.emplace_back(Number(r, "Real"), Number(r, "Imaginary"));
    }
    return roots;
  }

  void ReadPolesZeros(const pugi::xml_node& filter, const pugi::xml_node& stage,
                      TFilterPack& pack) {
    const std::string type = AsciiUpper(TextOf(Child(filter, "PzTransferFunctionType")));
    const double a0 = OptionalNumber(filter, "NormalizationFactor").value_or(1.0);
    std::vector<TComplex> zeros = Roots(filter, "Zero");
    std::vector<TComplex> poles = Roots(filter, "Pole");
    TComplexFilter& zp = pack.ZP;
    if (type.starts_with("DIGITAL")) {
      TDigitalStage d;
      d.Rate = InputRate(stage);
      d.ByRoots = true;
      d.Zeros = std::move(zeros);
      d.Poles = std::move(poles);
      pack.Digital.push_back(std::move(d));
      zp.NormFactor *= a0;
      return;
    }
    double scale = 1.0;
    if (type.find("HERTZ") != std::string::npos) {
      scale = 2.0 * std::numbers::pi;
    } else if (type.find("RADIANS") == std::string::npos) {
      Refuse(TCode::kRefuseXmlPzType, {Quote(type)});
    }
    const auto add = [&](const std::vector<TComplex>& from, TComplexRoots& to, int32_t& count,
                         TCode too_many) {
      if (from.size() > static_cast<size_t>(kMaxRoots - count)) {
        Refuse(too_many, {std::to_string(kMaxRoots)});
      }
      for (const TComplex& r : from) to[static_cast<size_t>(count++)] = r * scale;
    };
    add(zeros, zp.Zeros, zp.ZeroCount, TCode::kRefuseXmlTooManyZeros);
    add(poles, zp.Poles, zp.PoleCount, TCode::kRefuseXmlTooManyPoles);
    // In Hz the stage is A0·Π(f' − z)/Π(f' − p) with f' = s/2π: taking the roots to rad/s
    // leaves a factor 2π for each pole beyond the zeros.
    zp.NormFactor *=
        a0 * std::pow(scale, static_cast<double>(poles.size()) - static_cast<double>(zeros.size()));
    if (!pz_frequency_) pz_frequency_ = OptionalNumber(filter, "NormalizationFrequency");
  }

  std::vector<double> Values(const pugi::xml_node& filter, std::string_view which) {
    std::vector<double> values;
    for (const pugi::xml_node& v : Children(filter, which)) {
      const std::string text = TextOf(v);
      const std::optional<double> x = ParseDouble(text);
      if (!x) Refuse(TCode::kRefuseXmlNotNumber, {which, Quote(text)});
      values.push_back(*x);
    }
    return values;
  }

  void ReadCoefficients(const pugi::xml_node& filter, const pugi::xml_node& stage,
                        TFilterPack& pack) {
    const std::string type = AsciiUpper(TextOf(Child(filter, "CfTransferFunctionType")));
    TDigitalStage d;
    d.Numerator = Values(filter, "Numerator");
    d.Denominator = Values(filter, "Denominator");
    // A stage without coefficients is a gain alone (an analog-to-digital converter).
    if (d.Numerator.empty() && d.Denominator.empty()) return;
    if (type != "DIGITAL") {
      Refuse(TCode::kRefuseXmlCfType, {Quote(type)});
    }
    if (d.Numerator.empty()) d.Numerator = {1.0};
    d.Rate = InputRate(stage);
    pack.Digital.push_back(std::move(d));
  }

  void ReadFir(const pugi::xml_node& filter, const pugi::xml_node& stage, TFilterPack& pack) {
    const std::string symmetry = AsciiUpper(TextOf(Child(filter, "Symmetry")));
    TDigitalStage d;
    d.Numerator = Values(filter, "NumeratorCoefficient");
    if (d.Numerator.empty()) return;
    // ODD and EVEN give the first half of a symmetric filter: the rest mirrors it, without
    // repeating the middle coefficient for ODD.
    if (symmetry == "ODD" || symmetry == "EVEN") {
      const size_t n = d.Numerator.size();
      for (size_t k = symmetry == "ODD" ? n - 1 : n; k-- > 0;)
        d.Numerator.push_back(d.Numerator[k]);
    } else if (symmetry != "NONE" && !symmetry.empty()) {
      Refuse(TCode::kRefuseXmlFirSymmetry, {Quote(symmetry)});
    }
    d.Rate = InputRate(stage);
    pack.Digital.push_back(std::move(d));
  }

  const std::string& name_;
  pugi::xml_document doc_;
  std::vector<EpochNode> epochs_;
  std::string where_;  // the channel being read
  std::string stage_;  // the number of the stage being read
  std::optional<double> pz_frequency_;
};

}  // namespace

std::optional<TChannelCode> ParseChannelCode(std::string_view text) {
  const std::vector<std::string_view> parts = [&] {
    std::vector<std::string_view> out;
    size_t from = 0;
    for (;;) {
      const size_t dot = text.find('.', from);
      out.push_back(text.substr(from, dot - from));
      if (dot == std::string_view::npos) break;
      from = dot + 1;
    }
    return out;
  }();
  if (parts.size() != 4 || parts[0].empty() || parts[1].empty() || parts[3].empty()) {
    return std::nullopt;
  }
  for (const std::string_view p : parts) {
    if (p.find_first_of(" \t\r\n/\\#") != std::string_view::npos) return std::nullopt;
  }
  return TChannelCode{std::string(parts[0]), std::string(parts[1]), std::string(parts[2]),
                      std::string(parts[3])};
}

std::string ChannelCodeText(const TChannelCode& code) {
  return code.Network + "." + code.Station + "." + code.Location + "." + code.Channel;
}

TStatus ListStationXmlEpochs(std::string_view bytes, const std::string& name,
                             std::vector<TChannelEpoch>& epochs) {
  epochs.clear();
  Reader reader(name);
  TStatus status = Guard([&] { reader.Parse(bytes); });
  if (status.Ok()) {
    for (const EpochNode& e : reader.Epochs()) epochs.push_back(e.Epoch);
  }
  return status;
}

TStatus LoadStationXmlEpochs(const std::string& path, std::vector<TChannelEpoch>& epochs) {
  epochs.clear();
  std::string bytes;
  const TStatus status = Guard([&] { bytes = ReadFileBytes(path); });
  if (!status.Ok()) return status;
  return ListStationXmlEpochs(bytes, path, epochs);
}

const TChannelEpoch* FindEpoch(const std::vector<TChannelEpoch>& epochs, const TChannelCode& code,
                               std::optional<TDateTime> when, TStatus* why) {
  const TChannelEpoch* found = nullptr;
  // The epochs of the channel, "; " between them.
  std::optional<TStatus> listed;
  int count = 0;
  for (const TChannelEpoch& e : epochs) {
    if (!(e.Code == code)) continue;
    ++count;
    listed = listed ? MakeStatus(TCode::kJoinedSemicolon, {*listed, EpochText(e)}) : EpochText(e);
    const bool covers = !when || (e.Start <= *when && (!e.End || *when <= *e.End));
    if (covers && (found == nullptr || e.Start >= found->Start)) found = &e;
  }
  TStatus reason;
  if (count == 0) {
    reason = MakeStatus(TCode::kRefuseNoSuchChannel, {ChannelCodeText(code)});
  } else if (!when && count > 1) {
    found = nullptr;
    reason = MakeStatus(TCode::kRefuseChannelEpochs,
                        {ChannelCodeText(code), std::to_string(count), *listed});
  } else if (found == nullptr) {
    reason =
        MakeStatus(TCode::kRefuseNoEpochCovers, {ChannelCodeText(code), FormatIso(*when), *listed});
  }
  if (why != nullptr) *why = reason;
  return found;
}

TStatus ReadStationXmlResponse(std::string_view bytes, const std::string& name,
                               const std::optional<TChannelCode>& code,
                               std::optional<TDateTime> when, TFilterPack& pack,
                               TStationXmlInfo* info) {
  pack = TFilterPack{};
  if (info != nullptr) *info = TStationXmlInfo{};
  Reader reader(name);
  TStatus status = Guard([&] {
    reader.Parse(bytes);
    std::vector<TChannelEpoch> epochs;
    for (const EpochNode& e : reader.Epochs()) epochs.push_back(e.Epoch);
    TChannelCode wanted;
    if (code) {
      wanted = *code;
    } else {
      std::vector<std::string> codes;
      for (const TChannelEpoch& e : epochs) {
        const std::string text = ChannelCodeText(e.Code);
        if (std::find(codes.begin(), codes.end(), text) == codes.end()) codes.push_back(text);
      }
      if (codes.empty()) Fail(name, 0, TCode::kRefuseNoChannelDescribed);
      if (codes.size() > 1) {
        std::string list;
        for (size_t i = 0; i < codes.size() && i < 10; ++i) list += (i ? ", " : "") + codes[i];
        if (codes.size() > 10) list += ", ...";
        Fail(name, 0, TCode::kRefuseSeveralChannels, {std::to_string(codes.size()), list});
      }
      wanted = epochs.front().Code;
    }
    TStatus why;
    const TChannelEpoch* epoch = FindEpoch(epochs, wanted, when, &why);
    if (epoch == nullptr) Fail(name, 0, why);
    const EpochNode& node = reader.Epochs()[static_cast<size_t>(epoch - epochs.data())];
    if (info != nullptr) info->Code = node.Epoch.Code;
    reader.ReadResponse(node, pack, info);
  });
  if (!status.Ok()) pack = TFilterPack{};
  return status;
}

}  // namespace tarvik
