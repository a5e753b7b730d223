#include "common/date_text.h"

namespace tarvik {

std::string ShownDateTime(TDateTime t) {
  return FormatDateTime("dd.MM.yyyy hh:nn:ss", t);
}

std::string ShownDateTimeMs(TDateTime t) {
  return FormatDateTime("dd.MM.yyyy hh:nn:ss.zzz", t);
}

}  // namespace tarvik
