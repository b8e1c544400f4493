// The application object and the default error handler of the window program.
#include "gui/Gui.Application.h"

#include "gui/Logging.MessageBox.h"
#include "infra/platform/Support.Exceptions.h"

namespace quillon {

namespace {

void Report(const QString& AMessage) {
  // The message is data, never a format: it may hold a percent sign.
  if (GlobalLog != nullptr)
    GlobalLog->SilentError(QStringLiteral("%s"), {AMessage});
  auto* Adapter = dynamic_cast<TLogAdapter*>(GlobalLog);
  if (Adapter != nullptr && Adapter->MessageBoxPresenter() != nullptr) {
    Adapter->MessageBoxPresenter()->ShowMessageBox(AMessage, mtError, mbOK);
  } else {
    TMessageBoxPresenter Presenter;
    Presenter.ShowMessageBox(AMessage, mtError, mbOK);
  }
}

}  // namespace

void HandleException() {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const Exception& E) {
    Report(E.Message());
  } catch (const std::exception& E) {
    Report(QString::fromUtf8(E.what()));
  } catch (...) {
    Report(QStringLiteral("Unknown exception"));
  }
}

bool TApplication::notify(QObject* AReceiver, QEvent* AEvent) {
  try {
    return QApplication::notify(AReceiver, AEvent);
  } catch (...) {
    HandleException();
    return false;
  }
}

}  // namespace quillon
