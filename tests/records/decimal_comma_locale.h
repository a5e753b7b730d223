#pragma once

// A Qt host switches LC_NUMERIC to the user's locale, which is a decimal comma in much of the
// world. Readers must not change with it; tests repeat their checks under such a locale.

#include <locale.h>

namespace tarvik::testing {

class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    for (const char* name : {"ru_RU.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
      if (setlocale(LC_NUMERIC, name) != nullptr) {
        active_ = true;
        break;
      }
    }
  }
  ~DecimalCommaLocale() {
    if (active_) setlocale(LC_NUMERIC, "C");
  }
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

  // False when no decimal-comma locale is installed: the checks then ran in the C locale.
  bool Active() const { return active_; }

 private:
  bool active_ = false;
};

}  // namespace tarvik::testing
