// Reads arbitrary bytes as a binary project and checks it for damage: no crash, no hang, no
// allocation beyond what the data can describe.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/ui_host.h"
#include "project/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarvik::TBinIniFile ini(std::vector<uint8_t>(data, data + size), true);
  tarvik::TProject project;
  tarvik::NullUiHost host;
  tarvik::TProjectDamage damage;
  tarvik::ReadProjectValues(ini, project, "/project", host, &damage);
  // The message that refuses a damaged file is built from what the reader found.
  if (damage.Damaged()) tarvik::Text(tarvik::DamagedProjectStatus("fuzz.tvp", damage), tarvik::TLanguage::kEnglish);
  return 0;
}
