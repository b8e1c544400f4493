// The shared part of every log adapter: thresholds, the message-box step and its presenter.
#include "infra/logging/Logging.Base.h"

#include "infra/text/Support.Format.h"

namespace quillon {

void TLogAdapter::ShowDialogStep(const QString& AText, TLogLevel ALevel) {
  if (ALevel < FThresholdForDialog) {
    FModalResult = mrYes;
  } else {
    QString Text = AText;
    Text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    const TMsgDlgType Kind = ALevel == ltWarning ? mtWarning
                             : (ALevel == ltError || ALevel == ltCritical) ? mtError
                                                                           : mtInformation;
    if (FPresenter)
      FModalResult = FPresenter->ShowMessageBox(Text, Kind, FButtonSet);
    else
      FModalResult = (FButtonSet & mbOK) ? mrOk : mrNo;
  }
  ResetButtonSet();
}

void TLogAdapter::Event(const QString& s, TLogLevel ALogLevel) { ShowDialogStep(s, ALogLevel); }

void TLogAdapter::Event(const QString& s, const QVariantList& AParams, TLogLevel ALogLevel) {
  Event(Format(s, AParams), ALogLevel);
}

bool TLogAdapter::LogYesNo(const QString& s, TLogLevel ALevel, bool ACancel) {
  FModalResult = mrYes;
  FButtonSet = ACancel ? (mbYes | mbNo | mbCancel) : (mbYes | mbNo);
  Event(s, ALevel);
  // An adapter whose Event stopped before the box step must not leave the question's buttons
  // for the next box.
  ResetButtonSet();
  return FModalResult == mrYes;
}

void TLogAdapter::SilentError(const QString& s) { SilentError(s, {}); }
void TLogAdapter::SilentWarning(const QString& s) { SilentWarning(s, {}); }
void TLogAdapter::SilentSuccess(const QString& s) { SilentSuccess(s, {}); }

void TLogAdapter::ShowMessage(const QString& AMessage, TLogLevel ALevel, qint32) { Event(AMessage, ALevel); }

TMessageBoxPresenterScope::TMessageBoxPresenterScope(ILog* ALog, IMessageBoxPresenter& APresenter)
    : FAdapter(dynamic_cast<TLogAdapter*>(ALog)) {
  if (FAdapter) {
    FPrevious = FAdapter->MessageBoxPresenter();
    FAdapter->SetMessageBoxPresenter(&APresenter);
  }
}

TMessageBoxPresenterScope::~TMessageBoxPresenterScope() {
  if (FAdapter)
    FAdapter->SetMessageBoxPresenter(FPrevious);
}

}  // namespace quillon
