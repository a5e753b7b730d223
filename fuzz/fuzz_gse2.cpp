// Feeds arbitrary bytes to the GSE2 calibration reader and evaluates whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "response/gse2_response.h"
#include "response/response_evaluation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::TCombinedFilter packs;
  if (tarvik::ReadGse2Text(bytes, "fuzz.gse", packs).Ok()) {
    for (double f : {0.0, 0.5, 1.0, 1e3}) tarvik::ResponseModulus(tarvik::EvaluateChain(packs, f));
  }
  return 0;
}
