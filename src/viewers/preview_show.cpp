#include "viewers/preview_show.h"

#include "common/ui_host.h"

namespace tarvik {

TShowRecordOutcome ShowRecord(TPreviewModel& preview, TFileRecord& record,
                              const TPreviewOptions& options, UiHost& host,
                              const TShowRecordHooks& hooks) {
  host.ClearStop();
  host.SetGauge(0, 1);
  preview.SetMode(TPreviewMode::kNone);
  if (hooks.Loading) hooks.Loading(true);
  const bool opened = preview.OpenRecord(record, options, host);
  if (hooks.Loading) hooks.Loading(false);
  if (host.StopRequested()) {
    host.SetStage(kLoadingStoppedText);
    return TShowRecordOutcome::kStopped;
  }
  if (!opened) return TShowRecordOutcome::kNotOpened;
  if (!hooks.ShowModal || !hooks.ShowModal()) return TShowRecordOutcome::kCancelled;
  record = preview.Record();
  return TShowRecordOutcome::kAccepted;
}

}  // namespace tarvik
