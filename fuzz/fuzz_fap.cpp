// Feeds arbitrary bytes to the FAP table reader and evaluates whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "response/fap_file.h"
#include "response/response_evaluation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::TFAPFilter table;
  if (tarvik::ReadFapText(bytes, "fuzz.fap", table).Ok()) {
    for (double f : {-1.0, 0.0, 0.5, 1.0, 1e3})
      tarvik::ResponseModulus(tarvik::EvaluateFAP(table, f));
  }
  return 0;
}
