#include "response/load_response.h"

#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "common/text_encoding.h"
#include "response/fap_file.h"
#include "response/gse2_response.h"
#include "response/input_unit.h"
#include "response/response_text.h"
#include "response/rsp_file.h"
#include "response/sac_paz.h"
#include "response/seed_resp.h"
#include "response/stationxml.h"

namespace tarvik {

namespace {

using namespace response_text;

// The last response of a SEED or GSE file, which must describe poles and zeros: a pack without
// them would evaluate to 1 and silently leave the spectra uncorrected.
TStatus KeepLast(const std::string& path, TCombinedFilter& packs, const char* opener,
                 TFilterPack& pack) {
  if (packs.empty()) {
    return About(TCode::kResponseNothingDescribed, path, {opener});
  }
  TFilterPack& last = packs.back();
  if (!last.Device.ZPAvailable) {
    return About(TCode::kResponseWithoutPoles, path, {last.Device.Station, last.Device.Channel});
  }
  pack = std::move(last);
  return TStatus{};
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "B053F03", "B053F10-13": a SEED blockette and field number.
bool IsSeedFieldTag(std::string_view field) {
  return field.size() >= 7 && field[0] == 'B' && field[1] == '0' && IsDigit(field[2]) &&
         IsDigit(field[3]) && field[4] == 'F' && IsDigit(field[5]) && IsDigit(field[6]);
}

// "ZEROS 3", "POLES 2", "CONSTANT 5e7" outside a comment.
bool IsSacPazHeader(const std::vector<std::string_view>& fields) {
  if (fields.size() < 2) return false;
  const std::string word = AsciiUpper(fields[0]);
  return (word == "ZEROS" || word == "POLES" || word == "CONSTANT") &&
         ParseDouble(fields[1]).has_value();
}

// A FAP table begins with its row count, and its first row holds a frequency and an amplitude.
bool IsFapTable(const std::vector<std::string_view>& lines) {
  size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size()) return false;
  const std::string count_line = Trim(lines[i]);
  size_t digits = count_line[0] == '+' ? 1 : 0;
  while (digits < count_line.size() && IsDigit(count_line[digits])) ++digits;
  const auto count = ParseInt32(std::string_view(count_line).substr(0, digits));
  if (!count || *count < 1) return false;
  for (++i; i < lines.size() && Trim(lines[i]).empty(); ++i) {
  }
  if (i == lines.size()) return false;
  const std::vector<std::string_view> row = SplitFields(lines[i], " \t,");
  return row.size() >= 2 && ParseDouble(row[0]) && ParseDouble(row[1]);
}

// The reader an extension names, for a file whose content shows no format.
TResponseFormat FormatOfExtension(const std::string& path) {
  const std::string ext = AsciiUpper(FileExtension(path));
  if (ext == ".RSP") return TResponseFormat::kRsp;
  if (ext == ".SAC" || ext == ".PAZ") return TResponseFormat::kSacPaz;
  if (ext == ".FAP") return TResponseFormat::kFap;
  if (ext == ".SEED") return TResponseFormat::kSeedResp;
  if (ext == ".GSE") return TResponseFormat::kGse2;
  return TResponseFormat::kUnknown;
}

TStatus ReadAs(TResponseFormat format, std::string_view bytes, const std::string& path,
               TFilterPack& pack, std::optional<TDateTime> when, TResponseLoadInfo& found) {
  const TResponsePath split = SplitResponsePath(path);
  if (!split.Channel.empty() && format != TResponseFormat::kStationXml) {
    return About(TCode::kResponseChannelNotInXml, path, {split.Channel, split.File});
  }
  switch (format) {
    case TResponseFormat::kRsp:
      return ReadRspText(bytes, path, pack, LocalNow());
    case TResponseFormat::kSeedResp:
    case TResponseFormat::kGse2: {
      TCombinedFilter packs;
      const bool seed = format == TResponseFormat::kSeedResp;
      TStatus status =
          seed ? ReadSeedRespText(bytes, path, packs) : ReadGse2Text(bytes, path, packs);
      if (status.Ok()) status = KeepLast(path, packs, seed ? "B050F03" : "CAL2", pack);
      return status;
    }
    case TResponseFormat::kSacPaz:
    case TResponseFormat::kFap: {
      const bool sac = format == TResponseFormat::kSacPaz;
      TDeviceInfo& d = pack.Device;
      d.Note = FileName(path);
      d.Date = FileModificationTime(path).value_or(LocalToday());
      d.ZPAvailable = sac;
      d.FAPAvailable = !sac;
      if (!sac) return ReadFapText(bytes, path, pack.FAP);
      TSacPazUnits units;
      const TStatus status = ReadSacPazText(bytes, path, pack.ZP, &units);
      d.UnitIn = std::move(units.Input);
      d.UnitOut = std::move(units.Output);
      return status;
    }
    case TResponseFormat::kStationXml: {
      std::optional<TChannelCode> code;
      if (!split.Channel.empty()) code = ParseChannelCode(split.Channel);
      TStationXmlInfo xml;
      const TStatus status = ReadStationXmlResponse(bytes, split.File, code, when, pack, &xml);
      found.Channel = ChannelCodeText(xml.Code);
      found.Note = xml.SensitivityNote;
      return status;
    }
    case TResponseFormat::kUnknown:
      break;
  }
  return About(TCode::kResponseFormatUnknown, path);
}

}  // namespace

TResponseFormat DetectResponseFormat(std::string_view bytes) {
  const std::string text = DecodeText(bytes);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text[first] == '<') {
    return text.find("FDSNStationXML") != std::string::npos ? TResponseFormat::kStationXml
                                                            : TResponseFormat::kUnknown;
  }
  const std::vector<std::string_view> lines = SplitLines(text);
  bool sac = false;
  for (const std::string_view line : lines) {
    if (line == "[DEVICE]") return TResponseFormat::kRsp;
    const std::vector<std::string_view> fields = SplitFields(line, kBlanks);
    if (fields.empty() || fields[0][0] == '#' || fields[0][0] == '*') continue;
    if (IsSeedFieldTag(fields[0])) return TResponseFormat::kSeedResp;
    if (fields[0] == "CAL2") return TResponseFormat::kGse2;
    sac = sac || IsSacPazHeader(fields);
  }
  if (sac) return TResponseFormat::kSacPaz;
  return IsFapTable(lines) ? TResponseFormat::kFap : TResponseFormat::kUnknown;
}

TResponsePath SplitResponsePath(const std::string& path) {
  const size_t hash = path.rfind('#');
  if (hash == std::string::npos || !ParseChannelCode(std::string_view(path).substr(hash + 1))) {
    return {path, {}};
  }
  return {path.substr(0, hash), path.substr(hash + 1)};
}

std::string JoinResponsePath(const std::string& file, const std::string& channel) {
  return channel.empty() ? file : file + "#" + channel;
}

std::string ResponsePathLabel(const std::string& path) {
  const TResponsePath split = SplitResponsePath(path);
  if (split.Channel.empty()) return path;
  return split.Channel + " (" + FileName(split.File) + ")";
}

bool ResponseFileExists(const std::string& path) {
  const std::string file = SplitResponsePath(path).File;
  std::error_code ec;
  return !file.empty() && std::filesystem::is_regular_file(
                              std::filesystem::path(std::u8string(file.begin(), file.end())), ec);
}

TStatus ReadResponseBytes(std::string_view bytes, const std::string& path, TFilterPack& pack,
                          TResponseLoadInfo* info, std::optional<TDateTime> when) {
  pack = TFilterPack{};
  TResponseLoadInfo found;
  found.Format = DetectResponseFormat(bytes);
  if (found.Format == TResponseFormat::kUnknown) {
    found.Format = FormatOfExtension(SplitResponsePath(path).File);
  }
  TStatus status = ReadAs(found.Format, bytes, path, pack, when, found);
  // The program's own format carries its units as free text that nothing has ever read; the
  // others declare them by their format's rules.
  if (status.Ok() && found.Format != TResponseFormat::kRsp &&
      found.Format != TResponseFormat::kFap) {
    status = ConvertToVelocityInput(pack, path, &found.Converted);
  }
  if (!status.Ok()) {
    pack = TFilterPack{};
    found.Converted = false;
    found.Note = {};
  }
  if (info != nullptr) *info = found;
  return status;
}

TStatus LoadResponse(const std::string& path, TFilterPack& pack, TResponseLoadInfo* info,
                     std::optional<TDateTime> when) {
  pack = TFilterPack{};
  if (info != nullptr) *info = TResponseLoadInfo{};
  if (path.empty()) return {};
  std::string bytes;
  const TStatus status = Guard([&] { bytes = ReadFileBytes(SplitResponsePath(path).File); });
  if (!status.Ok()) return status;
  return ReadResponseBytes(bytes, path, pack, info, when);
}

bool DescribesNothing(const TFilterPack& pack) {
  const TDeviceInfo& d = pack.Device;
  return !d.ZPAvailable && !d.FAPAvailable && !d.BiCascadeAvailable && !d.CascadeAvailable;
}

bool TakenAsFlatResponse(const std::string& path) {
  if (path.empty()) return false;
  TFilterPack pack;
  return LoadResponse(path, pack).Ok() && DescribesNothing(pack);
}

TStatus LoadChannelChain(const std::string& channel_resp, const std::string& sensor_resp,
                         const std::string& amplifier_resp, TCombinedFilter& chain,
                         std::optional<TDateTime> when) {
  chain.clear();
  TFilterPack pack;
  const auto add = [&](const std::string& path) {
    TStatus status = LoadResponse(path, pack, nullptr, when);
    if (status.Ok()) AppendPack(pack, chain);
    return status;
  };
  TStatus status;
  if (!channel_resp.empty()) {
    status = add(channel_resp);
  } else {
    status = add(sensor_resp);
    if (status.Ok() && ResponseFileExists(amplifier_resp)) {
      status = add(amplifier_resp);
    }
  }
  if (!status.Ok()) chain.clear();
  return status;
}

}  // namespace tarvik
