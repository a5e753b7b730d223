// Result files come from other programs and other machines: the table parser, both in its
// fixed three-pair form and with the header deciding the columns, and what the viewer and the
// H/V calculation do with its output next.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "spectral/hv.h"
#include "spectral/result_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarvik::TResultTable fixed, free_form;
  tarvik::ParseResultTable(bytes, 3, fixed);
  tarvik::ParseResultTable(bytes, 0, free_form);

  std::vector<std::vector<double>> frequencies{fixed.Frequencies, free_form.Frequencies};
  std::vector<tarvik::TMatrix2D> values{fixed.Values, free_form.Values};
  std::vector<tarvik::TMatrix2D> spreads{fixed.StDev, free_form.StDev};
  tarvik::AlignFrequencies(frequencies, values, spreads);

  tarvik::FormHVRatios(fixed.Values, fixed.StDev);
  return 0;
}
