// The drift of one target against its baseline as the reports see it: its exit code, and a
// target a signal stopped.
#include "report/Report.Drift.h"

#include <algorithm>

namespace quillon {

int TDriftTargetResult::ExitCode() const {
  if (Cancelled())
    return 128 + InterruptSignal;
  if (Failed())
    return 2;
  return Drift.Items.isEmpty() ? 0 : 1;
}

int CombinedExitCode(const QList<TDriftTargetResult>& AResults) {
  int Code = 0;
  for (const TDriftTargetResult& Result : AResults)
    Code = std::max(Code, Result.ExitCode());
  return Code;
}

TDriftTargetResult CancelledDriftResult(TDriftTargetResult AResult, int ASignal) {
  AResult.InterruptSignal = ASignal;
  AResult.Error = CancelledText(ASignal);
  return AResult;
}

}  // namespace quillon
