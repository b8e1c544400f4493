#include "app/Gui.Program.h"

#include "infra/Classes.Auditing.h"
#include "infra/Classes.RegEx.h"
#include "infra/Settings.IniFile.h"

namespace quillon {

TProgramGlobals::TProgramGlobals(int& argc, char** argv)
    : FApplication(argc, argv),
      FPresenterInstalled(GlobalLog, FPresenter),
      FGuiStyle(StartGuiStyle, StopGuiStyle),
      FClassAuditing(StartClassAuditing, StopClassAuditing),
      FRegEx(StartUpGlobalRegEx, ShutDownGlobalRegEx),
      FSettings(StartUpGlobalSettings, ShutDownGlobalSettings) {
  FApplication.setApplicationName(QStringLiteral("Ulmora Quillon"));
  FApplication.setApplicationDisplayName(QStringLiteral("Ulmora Quillon"));
}

// The global style (GlobalGuiStyle) starts here once its unit exists.
void TProgramGlobals::StartGuiStyle() {}
void TProgramGlobals::StopGuiStyle() {}

}  // namespace quillon
