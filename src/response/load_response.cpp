#include "response/load_response.h"

#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "common/text_encoding.h"
#include "response/fap_file.h"
#include "response/gse2_response.h"
#include "response/response_text.h"
#include "response/rsp_file.h"
#include "response/sac_paz.h"
#include "response/seed_resp.h"

namespace tarvik {

namespace {

using namespace response_text;

// The last response of a SEED or GSE file, which must describe poles and zeros: a pack without
// them would evaluate to 1 and silently leave the spectra uncorrected.
TResponseStatus KeepLast(const std::string& path, TCombinedFilter& packs, const char* opener,
                         TFilterPack& pack) {
  if (packs.empty()) {
    return TResponseStatus::Failure(
        Located(path, 0, std::string("describes no response (no ") + opener + " line)"));
  }
  TFilterPack& last = packs.back();
  if (!last.Device.ZPAvailable) {
    return TResponseStatus::Failure(Located(path, 0,
                                            "the last response (station " + last.Device.Station +
                                                ", channel " + last.Device.Channel +
                                                ") has no poles-and-zeros stage"));
  }
  pack = std::move(last);
  return TResponseStatus::Success();
}

}  // namespace

TResponseStatus LoadResponse(const std::string& path, TFilterPack& pack) {
  pack = TFilterPack{};
  const std::string ext = AsciiUpper(FileExtension(path));
  const bool sac = ext == ".SAC" || ext == ".PAZ";
  const bool fap = ext == ".FAP";
  if (!sac && !fap && ext != ".RSP" && ext != ".SEED" && ext != ".GSE") {
    // Another extension is a flat response of 1; but a file that is named and is not there is
    // a mistyped path, and a flat response would leave the spectra uncorrected without a word.
    std::error_code ec;
    if (!path.empty() && !std::filesystem::is_regular_file(std::filesystem::path(path), ec)) {
      return TResponseStatus::Failure(Located(path, 0, "cannot be opened"));
    }
    return {};
  }

  std::string bytes;
  TResponseStatus status = Guard([&] { bytes = ReadFileBytes(path); });
  if (status && ext == ".RSP") {
    status = ReadRspText(bytes, path, pack, LocalNow());
  } else if (status && (ext == ".SEED" || ext == ".GSE")) {
    TCombinedFilter packs;
    const bool seed = ext == ".SEED";
    status = seed ? ReadSeedRespText(bytes, path, packs) : ReadGse2Text(bytes, path, packs);
    if (status) status = KeepLast(path, packs, seed ? "B050F03" : "CAL2", pack);
  } else if (status) {
    TDeviceInfo& d = pack.Device;
    d.Note = FileName(path);
    d.Date = FileModificationTime(path).value_or(LocalToday());
    d.ZPAvailable = sac;
    d.FAPAvailable = fap;
    status = sac ? ReadSacPazText(bytes, path, pack.ZP) : ReadFapText(bytes, path, pack.FAP);
  }
  if (!status) pack = TFilterPack{};
  return status;
}

bool DescribesNothing(const TFilterPack& pack) {
  const TDeviceInfo& d = pack.Device;
  return !d.ZPAvailable && !d.FAPAvailable && !d.BiCascadeAvailable && !d.CascadeAvailable;
}

bool TakenAsFlatResponse(const std::string& path) {
  if (path.empty()) return false;
  TFilterPack pack;
  return LoadResponse(path, pack) && DescribesNothing(pack);
}

TResponseStatus LoadChannelChain(const std::string& channel_resp, const std::string& sensor_resp,
                                 const std::string& amplifier_resp, TCombinedFilter& chain) {
  chain.clear();
  TFilterPack pack;
  const auto add = [&](const std::string& path) {
    TResponseStatus status = LoadResponse(path, pack);
    if (status) AppendPack(pack, chain);
    return status;
  };
  TResponseStatus status;
  if (!channel_resp.empty()) {
    status = add(channel_resp);
  } else {
    status = add(sensor_resp);
    std::error_code ec;
    if (status && !amplifier_resp.empty() &&
        std::filesystem::is_regular_file(std::filesystem::path(amplifier_resp), ec)) {
      status = add(amplifier_resp);
    }
  }
  if (!status) chain.clear();
  return status;
}

}  // namespace tarvik
