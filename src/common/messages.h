#pragma once

#include <vector>

#include "common/status.h"

namespace tarvik {

// One entry of a language's catalogue: a code and its pattern ({1}, {2}, ... for arguments).
struct TCatalogueEntry {
  TCode Code;
  const char* Text;
};

// The catalogues, each holding every code once.
const std::vector<TCatalogueEntry>& RussianCatalogue();
const std::vector<TCatalogueEntry>& EnglishCatalogue();

}  // namespace tarvik
