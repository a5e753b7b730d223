// Reads arbitrary bytes as a channel-settings file and rewrites its "REC00" section in them: no
// crash, no hang, and every line the update does not touch comes out as it went in.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "project/channel_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tarvik::ParseChannelIni(text, tarvik::kMaxChannels, "/project");
  const std::vector<int> channels = tarvik::ChannelIniChannels(text);
  for (size_t i = 0; i < channels.size(); ++i) {
    if (channels[i] < 1 || channels[i] > 99 || (i > 0 && channels[i] <= channels[i - 1]))
      std::abort();
  }
  const std::vector<std::pair<std::string, std::string>> values = {
      {"SensorResp01", "$CommonDir/a.rsp"}, {"Axis01", "0"}};
  const std::string updated = tarvik::UpdateIniText(text, tarvik::kChannelIniSection, values);
  // Only whole lines are added or replaced: the text cannot shrink by more than the lines
  // replaced, and the update read back gives the values written.
  const std::vector<tarvik::TChannelResponses> back =
      tarvik::ParseChannelIni(updated, 1, "/project");
  if (back.size() != 1 || back[0].SensorResp != "/project/a.rsp" || back[0].Axis != 0) std::abort();
  // The update made a channel-settings file of it.
  const std::vector<int> now = tarvik::ChannelIniChannels(updated);
  if (now.empty() || now.front() != 1) std::abort();
  return 0;
}
