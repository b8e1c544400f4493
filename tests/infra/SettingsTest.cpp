#include "infra/settings/Settings.IniFile.h"
#include "infra/settings/Support.IniFile.h"
#include "infra/platform/Win.User.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <map>

namespace quillon {
namespace {

QByteArray ReadBytes(const QString& AFileName) {
  QFile File(AFileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// A root folder for the program and a roaming application-data folder of its own per test.
class Settings : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FHadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    FConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FDir.filePath("config")));
  }
  void TearDown() override {
    if (FHadConfigHome)
      qputenv("XDG_CONFIG_HOME", FConfigHome);
    else
      qunsetenv("XDG_CONFIG_HOME");
  }

  QString Root() const { return FDir.filePath("app"); }
  QString SettingsPath(const QString& AName) const { return Root() + "/Settings/" + AName; }
  QString PrivatePath() const { return FDir.filePath("config/Ulmora/Shared/ulmora.ini"); }
  std::map<TSettingsScope, QString> ScopeFiles() const {
    return {{scopeInstall, SettingsPath("ulmora.ini")},
            {scopeUser, SettingsPath(GetWindowsUserName() + ".ini")},
            {scopeComputer, SettingsPath(GetWindowsComputerName() + ".ini")},
            {scopeLocalPrivate, PrivatePath()}};
  }
  void WriteFile(const QString& AFileName, const QByteArray& AData) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(AFileName).absolutePath()));
    QFile File(AFileName);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(AData);
  }

private:
  QTemporaryDir FDir;
  bool FHadConfigHome = false;
  QByteArray FConfigHome;
};

TEST_F(Settings, OpensFourFilesAndLeavesAProbeInEach) {
  const TIniSettings Store(Root());
  EXPECT_EQ(Store.SettingsFolder(), Root() + "/Settings/");
  EXPECT_EQ(Store.SettingsFile(), SettingsPath("ulmora.ini"));
  EXPECT_EQ(Store.Username(), GetWindowsUserName());
  EXPECT_TRUE(Store.FullAccess());
  const QDateTime Started = QDateTime::currentDateTime();
  for (const auto& [Scope, FileName] : ScopeFiles()) {
    SCOPED_TRACE(FileName.toStdString());
    TIniFile File(FileName);
    const qint32 Random = File.ReadInteger("Test", "Random", -1);
    EXPECT_GE(Random, 0);
    EXPECT_LE(Random, 2147483646);
    const QDateTime LastOpened = QDateTimeFromDateTime(File.ReadDateTime("Test", "LastOpened", 0));
    EXPECT_LE(qAbs(LastOpened.secsTo(Started)), 60);
    EXPECT_EQ(File.ReadString("Test", "WindowsUserName", ""), GetWindowsUserName());
  }
}

TEST_F(Settings, EachScopeAddressesItsOwnFile) {
  TIniSettings Store(Root());
  const auto Files = ScopeFiles();
  for (const auto& [Scope, FileName] : Files) {
    Store.WriteString(Scope, "Window", "Owner", FileName);
    EXPECT_EQ(Store.GetScope(), Scope);
  }
  for (const auto& [Scope, FileName] : Files) {
    SCOPED_TRACE(FileName.toStdString());
    EXPECT_EQ(TIniFile(FileName).ReadString("Window", "Owner", ""), FileName);
    EXPECT_EQ(Store.ReadString(Scope, "window", "OWNER", ""), FileName);
  }

  const TDateTime When = DateTimeFromQDateTime(QDateTime(QDate(2029, 3, 4), QTime(5, 6, 7)));
  Store.WriteInteger(scopeUser, "Window", "Left", -20);
  Store.WriteBool(scopeUser, "Window", "Maximized", true);
  Store.WriteFloat(scopeUser, "Window", "Zoom", 1.25);
  Store.WriteDateTime(scopeUser, "Window", "Saved", When);
  EXPECT_EQ(Store.ReadInteger(scopeUser, "Window", "Left", 0), -20);
  EXPECT_TRUE(Store.ReadBool(scopeUser, "Window", "Maximized", false));
  EXPECT_EQ(Store.ReadFloat(scopeUser, "Window", "Zoom", 0), 1.25);
  EXPECT_EQ(QDateTimeFromDateTime(Store.ReadDate(scopeUser, "Window", "Saved", 0)), QDateTimeFromDateTime(When));
  EXPECT_TRUE(Store.ValueExists(scopeUser, "Window", "Left"));
  EXPECT_FALSE(Store.ValueExists(scopeComputer, "Window", "Left"));
}

TEST_F(Settings, ScopesWithoutAFileReadDefaultsAndWriteNothing) {
  TIniSettings Store(Root());
  Store.WriteString(scopeInstall, "Window", "Left", "10");
  std::map<QString, QByteArray> Before;
  for (const auto& [Scope, FileName] : ScopeFiles())
    Before[FileName] = ReadBytes(FileName);

  for (const TSettingsScope Scope : {scopeNone, 5, 7, -1}) {
    SCOPED_TRACE(Scope);
    EXPECT_EQ(Store.ReadInteger(Scope, "Window", "Left", 42), 42);
    EXPECT_EQ(Store.GetScope(), scopeNone);
    EXPECT_FALSE(Store.ValueExists(Scope, "Window", "Left"));
    Store.WriteString(Scope, "Window", "Left", "99");
    Store.WriteBool(Scope, "Window", "Flag", true);
  }
  for (const auto& [FileName, Bytes] : Before)
    EXPECT_EQ(ReadBytes(FileName), Bytes) << FileName.toStdString();
}

TEST_F(Settings, SelectUserSwitchesTheUserFile) {
  TIniSettings Store(Root());
  QStringList Events;
  Store.SetOnUserChange([&Events](const QString& AName) { Events.append(AName); });

  Store.SelectUser(GetWindowsUserName().toUpper());
  Store.SelectUser(GetWindowsUserName().toLower());
  EXPECT_EQ(Events, QStringList());

  Store.WriteString(scopeUser, "Font", "Name", "Mono");
  Store.SelectUser("Guest");
  EXPECT_EQ(Events, QStringList({"Guest"}));
  EXPECT_EQ(Store.Username(), "Guest");
  EXPECT_EQ(Store.ReadString(scopeUser, "Font", "Name", "none"), "none");
  EXPECT_EQ(TIniFile(SettingsPath("Guest.ini")).ReadString("Test", "WindowsUserName", ""), GetWindowsUserName());
  EXPECT_TRUE(Store.FullAccess());

  Store.SelectUser("");
  EXPECT_EQ(Events, QStringList({"Guest", ""}));
  EXPECT_EQ(Store.ReadString(scopeUser, "Test", "WindowsUserName", "none"), "none");
  Store.WriteString(scopeUser, "Font", "Name", "Lost");
  EXPECT_FALSE(QFile::exists(SettingsPath(".ini")));
  EXPECT_FALSE(Store.FullAccess());

  Store.SelectUser("../escaped");
  Store.WriteString(scopeUser, "Font", "Name", "Lost");
  EXPECT_FALSE(QFile::exists(Root() + "/escaped.ini"));
  EXPECT_EQ(Events, QStringList({"Guest", "", "../escaped"}));

  Store.SelectUser(GetWindowsUserName());
  EXPECT_EQ(Store.ReadString(scopeUser, "Font", "Name", "none"), "Mono");
}

TEST_F(Settings, StoresSharingAFileSeeEachOthersWrites) {
  TIniSettings First(Root());
  TIniSettings Second(Root());
  First.WriteString(scopeInstall, "Service", "BaseAddress", "http://one");
  EXPECT_EQ(Second.ReadString(scopeInstall, "Service", "BaseAddress", ""), "http://one");
  Second.WriteString(scopeInstall, "Service", "PageRoot", "pages");
  First.WriteString(scopeInstall, "Service", "BaseAddress", "http://two");
  EXPECT_EQ(Second.ReadString(scopeInstall, "Service", "BaseAddress", ""), "http://two");
  EXPECT_EQ(First.ReadString(scopeInstall, "Service", "PageRoot", ""), "pages");
}

TEST_F(Settings, CorruptFilesReadDefaultsAndASettingsFolderThatCannotExistCostsFullAccess) {
  const char Garbage[] = "\x00\xFF[\x01=\n\xFE]=";
  WriteFile(SettingsPath("ulmora.ini"), QByteArray(Garbage, sizeof Garbage - 1).repeated(200));
  {
    TIniSettings Store(Root());
    EXPECT_EQ(Store.ReadString(scopeInstall, "Window", "Left", "d"), "d");
    EXPECT_EQ(Store.ReadString(scopeInstall, "Test", "WindowsUserName", ""), GetWindowsUserName());
    EXPECT_TRUE(Store.FullAccess());
  }

  // The root is a file, so no settings folder can be made below it.
  const QString Blocked = Root() + "/blocked";
  WriteFile(Blocked, "not a folder");
  TIniSettings Store(Blocked);
  EXPECT_FALSE(Store.FullAccess());
  Store.WriteString(scopeInstall, "Window", "Left", "10");
  EXPECT_EQ(Store.ReadString(scopeInstall, "Window", "Left", "d"), "d");
  Store.WriteString(scopeLocalPrivate, "Window", "Left", "10");
  EXPECT_EQ(Store.ReadString(scopeLocalPrivate, "Window", "Left", "d"), "10");
}

// Needs an account whose writes the permission bits stop: not root.
TEST_F(Settings, AReadOnlyInstallFileCostsFullAccessButStillReads) {
  WriteFile(SettingsPath("ulmora.ini"), "[Window]\nLeft=10\n");
  WriteFile(SettingsPath(GetWindowsComputerName() + ".ini"), "[Window]\nLeft=20\n");
  ASSERT_TRUE(QFile::setPermissions(SettingsPath("ulmora.ini"), QFileDevice::ReadOwner));
  ASSERT_TRUE(QFile::setPermissions(SettingsPath(GetWindowsComputerName() + ".ini"), QFileDevice::Permissions()));
  if (access(QFile::encodeName(SettingsPath("ulmora.ini")).constData(), W_OK) == 0)
    GTEST_SKIP() << "permission bits do not stop this account's writes (running as root)";

  TIniSettings Store(Root());
  EXPECT_FALSE(Store.FullAccess());
  EXPECT_EQ(Store.ReadInteger(scopeInstall, "Window", "Left", 0), 10);
  EXPECT_EQ(Store.ReadInteger(scopeComputer, "Window", "Left", 0), 0);
  Store.WriteInteger(scopeInstall, "Window", "Left", 11);
  EXPECT_EQ(Store.ReadInteger(scopeInstall, "Window", "Left", 0), 10);
}

}  // namespace
}  // namespace quillon
