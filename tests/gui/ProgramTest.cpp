#include "gui/Gui.Program.h"
#include "infra/logging/Classes.Auditing.h"
#include "infra/text/Classes.RegEx.h"
#include "infra/settings/Settings.IniFile.h"
#include "infra/platform/Support.Paths.h"
#include "gui/VclUtil.Style.h"
#include "support/LogFile.h"
#include "support/ProgramArguments.h"

#include <QFile>
#include <QPalette>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace quillon {
namespace {

class ProgramTest : public ::testing::Test {
protected:
  // The private settings file goes to a folder of the test's own, not the account's.
  void SetUp() override {
    FHadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    FConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfigDir.path()));
  }
  void TearDown() override {
    if (FHadConfigHome)
      qputenv("XDG_CONFIG_HOME", FConfigHome);
    else
      qunsetenv("XDG_CONFIG_HOME");
  }

  test::TProgramArguments Arguments;

private:
  QTemporaryDir FConfigDir;
  bool FHadConfigHome = false;
  QByteArray FConfigHome;
};

TEST_F(ProgramTest, GlobalsStartInOrderAndTheLogFileIsWrittenLast) {
  test::TLogsFolder Folder;
  QString WindowColour;
  {
    TProgramGlobals Globals(Arguments.Argc, Arguments.Argv.data());
    auto* Adapter = dynamic_cast<TSmartInspectAdapter*>(GlobalLog);
    ASSERT_NE(Adapter, nullptr);
    EXPECT_NE(dynamic_cast<TMessageBoxPresenter*>(Adapter->MessageBoxPresenter()), nullptr);
    EXPECT_NE(GlobalClassCounter, nullptr);
    EXPECT_NE(GlobalGuiStyle, nullptr);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Ulmora Quillon"));
    EXPECT_EQ(QLocale(), QLocale::system());
    EXPECT_NE(GlobalRegEx, nullptr);
    EXPECT_NE(GlobalPatternMatcher, nullptr);
    ASSERT_NE(GlobalSettings, nullptr);
    EXPECT_EQ(dynamic_cast<TIniSettings&>(*GlobalSettings).SettingsFolder(), ExeFolder() + "Settings/");
    WindowColour = QGuiApplication::palette().color(QPalette::Base).name().toUpper();
    GlobalLog->Event(QStringLiteral("Main window shown"), ltInfo);
  }
  EXPECT_EQ(GlobalLog, nullptr);
  EXPECT_EQ(GlobalClassCounter, nullptr);
  EXPECT_EQ(GlobalGuiStyle, nullptr);
  EXPECT_EQ(GlobalRegEx, nullptr);
  EXPECT_EQ(GlobalSettings, nullptr);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);

  const QStringList Written = test::Heads(test::ParseLog(Folder.ReadLogFile()));
  EXPECT_EQ(Written.mid(1, 1), QStringList{QStringLiteral("Message #FFA500 TSmartInspectAdapter")});
  EXPECT_EQ(Written.mid(3),
            (QStringList{QStringLiteral("Verbose ") + WindowColour + QStringLiteral(" Main window shown"),
                         QStringLiteral("Message #FFFFFF Enter: QCoreApplication.Finalizing Ulmora.Classes.Auditing"),
                         QStringLiteral("Message #FFFFFF Enter: TClassCounter.BeforeDestruction"),
                         QStringLiteral("Verbose #DAF6CE TClassCounter.BeforeDestruction: All instances destroyed successfully!"),
                         QStringLiteral("Message #FFFFFF Leave: TClassCounter.BeforeDestruction"),
                         QStringLiteral("Message #FFFFFF Leave: QCoreApplication.Finalized Ulmora.Classes.Auditing"),
                         QStringLiteral("Message #FFA500 TSmartInspectAdapter.Destroy. Should precede final message in log."),
                         QStringLiteral("Message #7FFF00 So long, and thanks for all the fish!"),
                         QStringLiteral("Message #FFFFFF ") + QString(60, u'-')}));
}

TEST_F(ProgramTest, TerminationSignalsEndTheMessageLoopNormally) {
  for (const int Signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(Signal);
    TProgramGlobals Globals(Arguments.Argc, Arguments.Argv.data());
    QTimer::singleShot(0, [Signal] { std::raise(Signal); });
    EXPECT_EQ(Globals.Application().exec(), 0);
  }
}

}  // namespace
}  // namespace quillon
