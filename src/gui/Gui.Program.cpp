// The window program's process-wide services, started and stopped in order around the main
// window.
#include "gui/Gui.Program.h"

#include "infra/logging/Classes.Auditing.h"
#include "infra/text/Classes.RegEx.h"
#include "infra/settings/Settings.IniFile.h"
#include "gui/VclUtil.Style.h"

#include <QPalette>

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
  const QColor Base = QGuiApplication::palette().color(QPalette::Base);
  SetWindowBackgroundColor({quint8(Base.red()), quint8(Base.green()), quint8(Base.blue())});
}

}  // namespace quillon
