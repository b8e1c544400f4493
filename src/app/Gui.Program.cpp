#include "app/Gui.Program.h"

#include "infra/Classes.Auditing.h"

#include <QLocale>

namespace quillon {

TProgramGlobals::TProgramGlobals(int& argc, char** argv)
    : FApplication(argc, argv),
      FPresenterInstalled(GlobalLog, FPresenter),
      FGuiStyle(StartGuiStyle, StopGuiStyle),
      FClassAuditing(StartClassAuditing, StopClassAuditing),
      FRegEx(StartRegEx, StopRegEx),
      FSettings(StartSettings, StopSettings) {
  FApplication.setApplicationName(QStringLiteral("Ulmora Quillon"));
  FApplication.setApplicationDisplayName(QStringLiteral("Ulmora Quillon"));
}

// The global style (GlobalGuiStyle) starts here once its unit exists.
void TProgramGlobals::StartGuiStyle() {}
void TProgramGlobals::StopGuiStyle() {}

// The global regular-expression engine and pattern matcher start here once their unit exists.
void TProgramGlobals::StartRegEx() {}
void TProgramGlobals::StopRegEx() {}

void TProgramGlobals::StartSettings() {
  // Numbers and dates follow the user's own locale from here on.
  QLocale::setDefault(QLocale::system());
}
void TProgramGlobals::StopSettings() {}

}  // namespace quillon
