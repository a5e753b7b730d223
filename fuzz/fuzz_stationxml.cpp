// Feeds arbitrary bytes to the StationXML reader: the list of channel epochs, the response of
// a channel named or of the document's only one, at a time or without, and evaluation of
// whatever is accepted. The first byte picks the channel and the time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "response/response_evaluation.h"
#include "response/stationxml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pick = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<tarvik::TChannelEpoch> epochs;
  const bool listed = tarvik::ListStationXmlEpochs(bytes, "f.xml", epochs).Ok();
  std::optional<tarvik::TChannelCode> code;
  if ((pick & 1) != 0 && listed && !epochs.empty()) {
    code = epochs[(pick >> 1) % epochs.size()].Code;
  } else if ((pick & 1) != 0) {
    code = tarvik::ParseChannelCode("IU.ANMO.00.BHZ");
  }
  std::optional<tarvik::TDateTime> when;
  if ((pick & 0x80) != 0) when = 41275.0;  // 2013-01-01
  tarvik::TFilterPack pack;
  tarvik::TStationXmlInfo info;
  if (tarvik::ReadStationXmlResponse(bytes, "f.xml", code, when, pack, &info).Ok()) {
    for (double f : {0.0, 0.02, 1.0, 1e3}) tarvik::ResponseModulus(tarvik::EvaluatePack(pack, f));
  }
  return 0;
}
