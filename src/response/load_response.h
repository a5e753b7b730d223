#pragma once

// Reading any response file into a pack, by its content, and building a channel's chain.

#include <optional>
#include <string>
#include <string_view>

#include "response/response_model.h"

namespace tarvik {

// The formats of response files, as their content shows them.
enum class TResponseFormat {
  kUnknown,
  kRsp,         // the program's own: a "[DEVICE]" section line
  kSacPaz,      // SAC poles and zeros: "ZEROS n", "POLES n", "CONSTANT c" lines
  kFap,         // a FAP table: a row count, then rows of frequency, amplitude and phase
  kSeedResp,    // a SEED RESP listing: "B0nnFnn" field lines
  kGse2,        // a GSE2 calibration: "CAL2" lines
  kStationXml,  // FDSN StationXML
};

// The format the text of a response file is in, judged by its content alone: a [DEVICE] line
// (.rsp), a line beginning with a SEED blockette field tag such as B053F03 (RESP), a CAL2 line
// (GSE2), a ZEROS, POLES or CONSTANT line followed by a number (SAC), an FDSNStationXML
// document, or a first line holding a row count followed by a row of numbers (FAP); kUnknown
// for anything else.
TResponseFormat DetectResponseFormat(std::string_view bytes);

// What LoadResponse found beside the pack.
struct TResponseLoadInfo {
  TResponseFormat Format = TResponseFormat::kUnknown;
  // The response was turned from the ground unit the file declares (Device.UnitIn) into a
  // response to velocity in m/s.
  bool Converted = false;
  // Of a StationXML document: the channel read ("IU.ANMO.00.BHZ"), and a note when the
  // document's stated sensitivity disagrees with its stages (Ok otherwise).
  std::string Channel;
  TStatus Note;
};

// A response path names a file, or one channel of a station inventory as
// "FILE.xml#NET.STA.LOC.CHA".
struct TResponsePath {
  std::string File;
  std::string Channel;  // "NET.STA.LOC.CHA", or empty
};

// Splits path at its last "#" when what follows is a channel code; otherwise the whole path
// is the file.
TResponsePath SplitResponsePath(const std::string& path);

// path with channel appended as its "#" suffix (path alone when channel is empty).
std::string JoinResponsePath(const std::string& file, const std::string& channel);

// How an editor shows a response path: a channel of a station inventory by its code and file
// name ("IU.ANMO.00.BHZ (IU_ANMO_00_BHZ.xml)"), any other path as it is.
std::string ResponsePathLabel(const std::string& path);

// True when the file that path names (without its channel suffix) is a regular file.
bool ResponseFileExists(const std::string& path);

// Fills pack (reset first) from the response file at path. The file's content decides its
// reader; only a file whose content shows no format is read by its extension (without regard
// to case: .rsp, .sac and .paz, .fap, .seed, .gse), so that a damaged file is refused with
// its reader's reason. Of a SEED or GSE file holding several responses the last is kept. A
// response that declares a ground unit other than M/S (SAC comment header, RESP stage 1, GSE2)
// is converted to velocity (ConvertToVelocityInput). An empty path gives a pack without a
// description, whose response is 1. A StationXML document gives the channel its path's "#"
// suffix names (the document's only channel without one), in the epoch that covers when (its
// only epoch without a time). Fails, naming the file (and the line), when the file cannot
// be read, its content is no response format, a channel is named in a file that is no
// StationXML document, or its reader or the unit conversion fails; the pack is then left
// without a description. A SEED or GSE file fails when it holds no response, or when the
// response kept has no poles-and-zeros stage (it would otherwise read as 1).
TStatus LoadResponse(const std::string& path, TFilterPack& pack, TResponseLoadInfo* info = nullptr,
                     std::optional<TDateTime> when = std::nullopt);

// The same from the bytes of a file; path (with its channel suffix) names it in messages, and
// gives the extension that decides when the content does not, and the date of a SAC or FAP file.
TStatus ReadResponseBytes(std::string_view bytes, const std::string& path, TFilterPack& pack,
                          TResponseLoadInfo* info = nullptr,
                          std::optional<TDateTime> when = std::nullopt);

// True when the pack holds none of the four descriptions, so that its response is 1.
bool DescribesNothing(const TFilterPack& pack);

// True when path names a file that loads as a device without any description: an .rsp file of
// [DEVICE] alone. Its response is a flat 1, which is what such a file is meant for only rarely,
// so the user is told (kFlatResponseNotice).
bool TakenAsFlatResponse(const std::string& path);
inline constexpr char kFlatResponseNotice[] = "taken as a flat response: ";

// The recording chain of one channel (chain is cleared first): the channel_resp file alone when
// that path is not empty; otherwise the sensor_resp file (an empty path is a device of response
// 1) followed by the amplifier_resp file when that file exists. A station inventory gives the
// epoch that covers when. Fails with the message of the first file that does not load (chain
// then empty).
TStatus LoadChannelChain(const std::string& channel_resp, const std::string& sensor_resp,
                         const std::string& amplifier_resp, TCombinedFilter& chain,
                         std::optional<TDateTime> when = std::nullopt);

}  // namespace tarvik
