// Feeds arbitrary bytes to the SEED RESP listing reader and evaluates whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "response/response_evaluation.h"
#include "response/seed_resp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::TCombinedFilter packs;
  if (tarvik::ReadSeedRespText(bytes, "fuzz.seed", packs).Ok()) {
    for (double f : {0.0, 0.5, 1.0, 1e3}) tarvik::ResponseModulus(tarvik::EvaluateChain(packs, f));
  }
  tarvik::ParseSeedTime(bytes.substr(0, 64));
  return 0;
}
