// Feeds arbitrary bytes to the loader of any response file: recognition by content, the reader
// it picks (or the extension's, for content no format shows), the conversion of a declared
// input unit, and evaluation of whatever is accepted. The first byte picks the file's name.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "response/load_response.h"
#include "response/response_evaluation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::array<std::string, 7> kNames = {
      "f.rsp", "f.paz", "f.fap", "f.seed", "f.gse", "f.txt", "RESP.XX.STA..BHZ",
  };
  if (size == 0) return 0;
  const std::string& name = kNames[data[0] % kNames.size()];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  tarvik::DetectResponseFormat(bytes);
  tarvik::TFilterPack pack;
  tarvik::TResponseLoadInfo info;
  if (tarvik::ReadResponseBytes(bytes, name, pack, &info).Ok()) {
    for (double f : {0.0, 0.02, 1.0, 1e3}) tarvik::ResponseModulus(tarvik::EvaluatePack(pack, f));
  }
  return 0;
}
