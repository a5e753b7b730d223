// Feeds arbitrary bytes to the SAC poles-and-zeros reader and evaluates whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "response/response_evaluation.h"
#include "response/sac_paz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::TComplexFilter zp;
  tarvik::TSacPazUnits units;
  if (tarvik::ReadSacPazText(bytes, "fuzz.paz", zp, &units).Ok()) {
    for (double f : {0.0, 0.5, 1.0, 1e3}) tarvik::ResponseModulus(tarvik::EvaluateZP(zp, f));
  }
  return 0;
}
