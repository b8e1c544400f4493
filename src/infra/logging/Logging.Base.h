// The shared part of every log adapter: thresholds, the message-box step and its presenter.
#pragma once

#include "infra/logging/Logging.Interfaces.h"

namespace quillon {

enum TMsgDlgType { mtInformation, mtWarning, mtError };

enum TMsgDlgBtn : int { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgDlgButtons = int;

enum TModalResult : qint32 { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// Shows the log's modal message box. The program installs one built on QMessageBox; tests
// install a recording one that answers as scripted. Returns the TModalResult of the button
// pressed (closing the box counts as Cancel, or No when there is no Cancel button).
class IMessageBoxPresenter {
public:
  virtual ~IMessageBoxPresenter() = default;
  virtual qint32 ShowMessageBox(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons) = 0;
};

// Base of every log adapter: owns the two thresholds, the button set of the next box and the
// message-box step. An adapter that records entries derives from it and overrides Event.
class TLogAdapter : public ILog {
public:
  TLogAdapter() = default;

  TLogLevel Threshold() const { return FThreshold; }
  TLogLevel ThresholdForDialog() const { return FThresholdForDialog; }
  bool LogCallStack() const { return FLogCallStack; }

  bool GetLogCallStack() override { return FLogCallStack; }
  TLogLevel GetThreshold() override { return FThreshold; }
  TLogLevel GetThresholdForDialog() override { return FThresholdForDialog; }
  void SetLogCallStack(bool Value) override { FLogCallStack = Value; }
  void SetThreshold(TLogLevel Value) override { FThreshold = Value; }
  void SetThresholdForDialog(TLogLevel Value) override { FThresholdForDialog = Value; }

  bool LogYesNo(const QString& s, TLogLevel ALevel, bool ACancel) override;
  void Event(const QString& s, const QVariantList& AParams, TLogLevel ALogLevel) override;
  // The base only runs the message-box step.
  void Event(const QString& s, TLogLevel ALogLevel) override;
  void SilentError(const QString& s) override;
  void SilentWarning(const QString& s) override;
  void SilentSuccess(const QString& s) override;
  using ILog::SilentError;
  using ILog::SilentWarning;
  using ILog::SilentSuccess;
  void ShowMessage(const QString& AMessage, TLogLevel ALevel, qint32 AMaxTimes) override;

  // The presenter is not owned; without one no box is shown and a question answers No.
  void SetMessageBoxPresenter(IMessageBoxPresenter* APresenter) { FPresenter = APresenter; }
  IMessageBoxPresenter* MessageBoxPresenter() const { return FPresenter; }

protected:
  // Shows the box when ALevel reaches the dialog threshold, stores the answer, and resets the
  // button set to {OK}.
  void ShowDialogStep(const QString& AText, TLogLevel ALevel);
  void ResetButtonSet() { FButtonSet = mbOK; }

private:
  TLogLevel FThresholdForDialog = ltMessage;
  TLogLevel FThreshold = ltInfo;
  TMsgDlgButtons FButtonSet = mbOK;
  qint32 FModalResult = mrNone;
  bool FLogCallStack = false;
  IMessageBoxPresenter* FPresenter = nullptr;
};

// Installs APresenter on the adapter behind ALog (when it is one) for the lifetime of the
// scope, then puts the previous presenter back. The adapter must outlive the scope.
class TMessageBoxPresenterScope {
public:
  TMessageBoxPresenterScope(ILog* ALog, IMessageBoxPresenter& APresenter);
  ~TMessageBoxPresenterScope();
  TMessageBoxPresenterScope(const TMessageBoxPresenterScope&) = delete;
  TMessageBoxPresenterScope& operator=(const TMessageBoxPresenterScope&) = delete;

private:
  TLogAdapter* FAdapter;
  IMessageBoxPresenter* FPrevious = nullptr;
};

}  // namespace quillon
