#pragma once

// FDSN StationXML: the response of one channel epoch of a station inventory.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "response/response_model.h"

namespace tarvik {

// The codes that name a channel: "IU.ANMO.00.BHZ" (an empty location is "IU.ANMO..BHZ").
struct TChannelCode {
  std::string Network;
  std::string Station;
  std::string Location;
  std::string Channel;

  bool operator==(const TChannelCode&) const = default;
};

// "NET.STA.LOC.CHA": four fields separated by three dots, none holding a blank, a path
// separator or "#", network, station and channel not empty; nullopt otherwise.
std::optional<TChannelCode> ParseChannelCode(std::string_view text);
std::string ChannelCodeText(const TChannelCode& code);

// One channel epoch of an inventory.
struct TChannelEpoch {
  TChannelCode Code;
  TDateTime Start = 0.0;
  std::optional<TDateTime> End;  // none: still open
  std::string OutputUnit;        // of the last stage ("COUNTS"); empty without stages
};

// The channel epochs of the document, in document order. Fails, naming the file (name), when
// the bytes are no well-formed FDSNStationXML document or a channel's codes or dates are
// missing or malformed.
TStatus ListStationXmlEpochs(std::string_view bytes, const std::string& name,
                             std::vector<TChannelEpoch>& epochs);

// The same from the file at path; fails also when the file cannot be read.
TStatus LoadStationXmlEpochs(const std::string& path, std::vector<TChannelEpoch>& epochs);

// The epoch of code that covers when (Start ≤ when ≤ End; of two that meet at an instant, the
// later one); without when, the channel's only epoch. nullptr when there is none, with *why
// saying so.
const TChannelEpoch* FindEpoch(const std::vector<TChannelEpoch>& epochs, const TChannelCode& code,
                               std::optional<TDateTime> when, TStatus* why);

// What ReadStationXmlResponse found beside the pack.
struct TStationXmlInfo {
  TChannelCode Code;
  // Set when the document's InstrumentSensitivity differs by more than 1 % from the modulus
  // of the stages at its frequency; the stages are used.
  TStatus SensitivityNote;
};

// Fills pack (reset first) with the response of the epoch of channel code that covers when
// (see FindEpoch); without code, the document must hold one channel. Analog poles and zeros
// (rad/s or Hz) of every stage are gathered into one ZP description whose constant is the
// product of the stages' normalisation factors and gains; Coefficients, FIR and digital
// poles-and-zeros stages become digital stages at their input rate. UnitIn is the first
// stage's input unit. Fails, naming the file and the channel, for a malformed document, a
// missing channel or epoch, a stage type it cannot evaluate (ResponseList, Polynomial, analog
// coefficients), a digital stage without a positive input rate, a number that does not
// convert, or more than 40 analog zeros or poles.
TStatus ReadStationXmlResponse(std::string_view bytes, const std::string& name,
                               const std::optional<TChannelCode>& code,
                               std::optional<TDateTime> when, TFilterPack& pack,
                               TStationXmlInfo* info = nullptr);

}  // namespace tarvik
