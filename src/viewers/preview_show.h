#pragma once

// "Показать запись": the records page loads the selected record into the preview with a stop
// button and, when the user confirms, takes the edited copy back.
//
// The main window's part:
//   - its button calls ShowRecord, or requests a stop (host.RequestStop()) when it is clicked
//     again while the preview's model reports Loading();
//   - hooks.Loading(true) is called before loading starts and hooks.Loading(false) at the end:
//     the button reads kStopLoadingCaption in between and kShowRecordCaption otherwise;
//   - hooks.ShowModal shows the preview window modally and returns true for "Ok";
//   - after kAccepted, it refreshes Finish, SelectStart, SelectFinish, the selection length and
//     the current channel's level, and marks the project modified.

#include <functional>

#include "records/record_model.h"
#include "viewers/preview_model.h"

namespace tarvik {

class UiHost;

inline constexpr char kShowRecordCaption[] = "Показать запись";
inline constexpr char kStopLoadingCaption[] = "Остановить загрузку";
inline constexpr char kLoadingStoppedText[] = "Загрузка остановлена";

enum class TShowRecordOutcome {
  kAccepted,   // "Ok": record now holds the edited copy
  kCancelled,  // "Отмена": record unchanged
  kStopped,  // the load was stopped: nothing shown, "Загрузка остановлена" in status panel 1
  kNotOpened,  // the file is missing or gives no samples; the user was told why
};

struct TShowRecordHooks {
  std::function<void(bool loading)> Loading;
  std::function<bool()> ShowModal;
};

// Clears the stop flag, sets the gauge to 0 of 1, turns the preview's modes off and opens record
// in it; unless that fails or is stopped, shows it and on "Ok" replaces record by the preview's
// copy (SelectStart, SelectFinish, Level and Finish as edited there).
TShowRecordOutcome ShowRecord(TPreviewModel& preview, TFileRecord& record,
                              const TPreviewOptions& options, UiHost& host,
                              const TShowRecordHooks& hooks);

}  // namespace tarvik
