#pragma once

// Reading any response file into a pack, by its extension, and building a channel's chain.

#include <string>

#include "response/response_model.h"

namespace tarvik {

// Fills pack (reset first) from the response file at path, chosen by the extension without
// regard to case: .rsp (own format), .sac and .paz (SAC poles and zeros), .fap (FAP table),
// .seed (SEED RESP listing) and .gse (GSE2 calibration); of a SEED or GSE file holding several
// responses the last is kept. Any other extension, and an empty path, gives a pack without a
// description, whose response is 1. On failure the message names the file and the line, and
// the pack is left without a description. A SEED or GSE file fails when it holds no response,
// or when the response kept has no poles-and-zeros stage (it would otherwise read as 1).
TResponseStatus LoadResponse(const std::string& path, TFilterPack& pack);

// True when the pack holds none of the four descriptions, so that its response is 1.
bool DescribesNothing(const TFilterPack& pack);

// True when path names a file that loads as a device without any description: a file of an
// extension no reader takes, or an .rsp file of [DEVICE] alone. Its response is a flat 1, which
// is what such a file is meant for only rarely, so the user is told (kFlatResponseNotice).
bool TakenAsFlatResponse(const std::string& path);
inline constexpr char kFlatResponseNotice[] = "taken as a flat response: ";

// The recording chain of one channel (chain is cleared first): the channel_resp file alone when
// that path is not empty; otherwise the sensor_resp file (an empty path is a device of response
// 1) followed by the amplifier_resp file when that file exists. Fails with the message of the
// first file that does not load (chain then empty).
TResponseStatus LoadChannelChain(const std::string& channel_resp, const std::string& sensor_resp,
                                 const std::string& amplifier_resp, TCombinedFilter& chain);

}  // namespace tarvik
