// Reads arbitrary bytes as a results-folder manifest: no crash, no hang, and what was read,
// written out again, reads back the same and undamaged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "project/result_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const tarvik::TResultManifestText read = tarvik::ParseResultManifest(text);
  const std::string written = tarvik::ResultManifestText(read.Owners);
  const tarvik::TResultManifestText back = tarvik::ParseResultManifest(written);
  if (back.Damaged || back.Lines != read.Owners.size() || back.Owners.size() != read.Owners.size())
    std::abort();
  for (const auto& [file, owner] : read.Owners) {
    const auto it = back.Owners.find(file);
    if (it == back.Owners.end() || it->second.Project != owner.Project ||
        it->second.Record != owner.Record || it->second.Written != owner.Written)
      std::abort();
  }
  return 0;
}
