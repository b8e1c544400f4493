#include "infra/settings/Settings.IniFile.h"
#include "infra/platform/Support.Paths.h"
#include "infra/platform/Win.User.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Sets an environment variable for the life of the object and puts the old value back after.
class TEnvironmentVariable {
public:
  TEnvironmentVariable(const char* AName, const QByteArray& AValue)
      : FName(AName), FWasSet(qEnvironmentVariableIsSet(AName)), FOld(qgetenv(AName)) {
    qputenv(AName, AValue);
  }
  ~TEnvironmentVariable() {
    if (FWasSet)
      qputenv(FName, FOld);
    else
      qunsetenv(FName);
  }
  TEnvironmentVariable(const TEnvironmentVariable&) = delete;
  TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

private:
  const char* FName;
  bool FWasSet;
  QByteArray FOld;
};

void Touch(const QString& AFileName) {
  QDir().mkpath(QFileInfo(AFileName).absolutePath());
  QFile File(AFileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
}

TEST(Paths, XdgBaseFoldersIgnoreRelativeValuesAndFiles) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  Touch(Dir.filePath("a-file"));
  TEnvironmentVariable Home("HOME", QFile::encodeName(Dir.filePath("home")));
  struct TCase {
    QString Value;
    QString Expected;
  } const Cases[] = {
      {Dir.filePath("state"), Dir.filePath("state/quillon/")},
      {Dir.filePath("state/") + "../state2//", Dir.filePath("state2/quillon/")},
      {QString(), Dir.filePath("home/.local/state/quillon/")},
      {"relative/state", Dir.filePath("home/.local/state/quillon/")},
      {Dir.filePath("a-file"), Dir.filePath("home/.local/state/quillon/")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Value.toStdString());
    TEnvironmentVariable State("XDG_STATE_HOME", QFile::encodeName(Case.Value));
    EXPECT_EQ(UserStateFolder(), Case.Expected);
  }
  TEnvironmentVariable Config("XDG_CONFIG_HOME", "");
  TEnvironmentVariable Data("XDG_DATA_HOME", "");
  EXPECT_EQ(UserConfigFolder(), Dir.filePath("home/.config/quillon/"));
  EXPECT_EQ(UserDataFolder(), Dir.filePath("home/.local/share/quillon/"));
}

TEST(Paths, AProgramRunsInstalledUnlessInABuildTreeOrMarkedPortable) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  Touch(Dir.filePath("build/CMakeCache.txt"));
  Touch(Dir.filePath("portable app/bin/portable"));
  QDir().mkpath(Dir.filePath("with spaces/usr/bin"));
  EXPECT_FALSE(RunsInstalledFrom(Dir.filePath("build/src")));
  EXPECT_FALSE(RunsInstalledFrom(Dir.filePath("build")));
  EXPECT_FALSE(RunsInstalledFrom(Dir.filePath("portable app/bin")));
  EXPECT_TRUE(RunsInstalledFrom(Dir.filePath("with spaces/usr/bin")));
  // The tests themselves run from the build tree, and so keep everything beside them.
  EXPECT_FALSE(RunsInstalled());
  EXPECT_EQ(ProgramStateFolder(), ExeFolder());
}

TEST(Paths, TheFirstFolderHoldingTheFileWinsAndTheFirstFolderIsTheDefault) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  const QString User = Dir.filePath("user");
  const QString Machine = Dir.filePath("machine/");
  EXPECT_EQ(FirstExistingFile("q.ini", {User, Machine}), User + "/q.ini");
  Touch(Machine + "q.ini");
  EXPECT_EQ(FirstExistingFile("q.ini", {User, Machine}), Machine + "q.ini");
  Touch(User + "/q.ini");
  EXPECT_EQ(FirstExistingFile("q.ini", {User, Machine}), User + "/q.ini");
}

TEST(Paths, AFolderThatCannotBeMadeIsNamedWithItsPurpose) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  // A file where the home's folder should be stops even root, unlike permission bits.
  Touch(Dir.filePath("home"));
  const QString Folder = Dir.filePath("home/.local/state/quillon/");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ForceUserFolder(Folder, "the log"));
  const std::string Message = testing::internal::GetCapturedStderr();
  EXPECT_NE(Message.find("cannot create the folder " + Folder.toStdString() + " for the log: Not a directory"),
            std::string::npos)
      << Message;
  ASSERT_TRUE(QFile::remove(Dir.filePath("home")));
  EXPECT_TRUE(ForceUserFolder(Folder, "the log"));
  EXPECT_TRUE(QFileInfo(Folder).isDir());
}

TEST(Paths, InstalledSettingsKeepTheMachineFilesApartFromTheUsers) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  TEnvironmentVariable Config("XDG_CONFIG_HOME", QFile::encodeName(Dir.filePath("config")));
  const QString Machine = Dir.filePath("etc/quillon/");
  const QString User = Dir.filePath("config/quillon/");
  QDir().mkpath(Machine);
  {
    TIniSettings Store(Machine, User);
    EXPECT_EQ(Store.SettingsFile(), Machine + "ulmora.ini");
    EXPECT_EQ(Store.UserSettingsFolder(), User);
    Store.WriteString(scopeUser, "Window", "Layout", "wide");
    Store.WriteString(scopeComputer, "Service", "BaseAddress", "http://gold");
  }
  EXPECT_TRUE(QFileInfo::exists(User + GetWindowsUserName() + ".ini"));
  EXPECT_TRUE(QFileInfo::exists(Machine + GetWindowsComputerName() + ".ini"));
  EXPECT_FALSE(QFileInfo::exists(Machine + GetWindowsUserName() + ".ini"));
  TIniSettings Again(Machine, User);
  EXPECT_EQ(Again.ReadString(scopeUser, "Window", "Layout", ""), "wide");
  EXPECT_EQ(Again.ReadString(scopeComputer, "Service", "BaseAddress", ""), "http://gold");
}

}  // namespace
}  // namespace quillon
