// The window program's process-wide services, started and stopped in order around the main
// window.
#pragma once

#include "gui/App.Termination.h"
#include "gui/Gui.Application.h"
#include "infra/logging/Logging.Base.h"
#include "gui/Logging.MessageBox.h"
#include "infra/logging/Logging.SmartInspect.h"
#include "infra/platform/Support.GlobalLifetime.h"

namespace quillon {

// The program's process-wide services, started in dependency order before the main window
// exists and released in reverse: logging first and last (its file is written at the very
// end), the application object right after it so that message boxes can be shown, then the
// style, the instance counter, the regular-expression engine, the locale and the settings.
class TProgramGlobals {
public:
  TProgramGlobals(int& argc, char** argv);
  TProgramGlobals(const TProgramGlobals&) = delete;
  TProgramGlobals& operator=(const TProgramGlobals&) = delete;

  TApplication& Application() { return FApplication; }

private:
  TLoggingScope FLogging;
  TApplication FApplication;
  TTerminationSignals FTerminationSignals;
  TMessageBoxPresenter FPresenter;
  TMessageBoxPresenterScope FPresenterInstalled;
  TGlobalLifetime FGuiStyle;
  TGlobalLifetime FClassAuditing;
  TGlobalLifetime FRegEx;
  TGlobalLifetime FSettings;
};

}  // namespace quillon
