// Feeds arbitrary bytes to the .rsp file reader and evaluates whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "response/response_evaluation.h"
#include "response/rsp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::TFilterPack pack;
  if (tarvik::ReadRspText(bytes, "fuzz.rsp", pack, 45000.0).Ok()) {
    for (double f : {0.0, 0.5, 1.0, 1e3}) tarvik::ResponseModulus(tarvik::EvaluatePack(pack, f));
  }
  return 0;
}
