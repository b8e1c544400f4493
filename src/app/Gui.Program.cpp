#include "app/Gui.Program.h"

#include "infra/Classes.Auditing.h"
#include "infra/Classes.RegEx.h"
#include "infra/Settings.IniFile.h"
#include "infra/VclUtil.Style.h"

namespace quillon {

TProgramGlobals::TProgramGlobals(int& argc, char** argv)
    : FApplication(argc, argv),
      FPresenterInstalled(GlobalLog, FPresenter),
      FGuiStyle(StartUpGlobalGuiStyle, ShutDownGlobalGuiStyle),
      FClassAuditing(StartClassAuditing, StopClassAuditing),
      FRegEx(StartUpGlobalRegEx, ShutDownGlobalRegEx),
      FSettings(StartUpGlobalSettings, ShutDownGlobalSettings) {
  FApplication.setApplicationName(QStringLiteral("Ulmora Quillon"));
  FApplication.setApplicationDisplayName(QStringLiteral("Ulmora Quillon"));
}

}  // namespace quillon
