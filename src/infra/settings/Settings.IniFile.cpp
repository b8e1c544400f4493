// The program's settings in four INI files of different reach, and the process-wide store.
#include "infra/settings/Settings.IniFile.h"

#include "infra/settings/Support.IniFile.h"
#include "infra/platform/Support.Paths.h"
#include "infra/platform/Win.ShellFolders.h"
#include "infra/platform/Win.User.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <clocale>
#include <type_traits>

namespace quillon {

namespace {

const QString SettingsFileName = QStringLiteral("ulmora.ini");

QString LocalPrivateFileName(const QString& ASettingsFolder) {
  QString AppData;
  if (GetSpecialFolder(CSIDL_APPDATA, AppData))
    return AppData + QStringLiteral("/Ulmora/Shared/") + SettingsFileName;
  return ASettingsFolder + GetWindowsComputerName() + u'-' + GetWindowsUserName() + QStringLiteral(".ini");
}

// A scope without a file reads the default and ignores writes.
template <typename TResult, typename TDefault>
TResult ReadFrom(TIniFile* AFile, const QString& ASection, const QString& AKey, std::type_identity_t<TDefault> ADefault,
                 TResult (TIniFile::*AReader)(const QString&, const QString&, TDefault)) {
  return AFile ? (AFile->*AReader)(ASection, AKey, ADefault) : ADefault;
}

template <typename TValue>
void WriteTo(TIniFile* AFile, const QString& ASection, const QString& AKey, std::type_identity_t<TValue> AValue,
             bool (TIniFile::*AWriter)(const QString&, const QString&, TValue)) {
  if (AFile)
    (AFile->*AWriter)(ASection, AKey, AValue);
}

// A user name is a file name in the settings folder, never a path out of it.
bool IsPlainFileName(const QString& AName) {
  return !AName.contains(u'/') && !AName.contains(QChar(0)) && AName != QStringLiteral(".") &&
         AName != QStringLiteral("..");
}

}  // namespace

TIniSettings::TIniSettings(const QString& ARootFolder)
    : fMachineFolder((ARootFolder.isEmpty() ? ExeFolder() : IncludeTrailingPathDelimiter(ARootFolder)) +
                     QStringLiteral("Settings/")),
      fUserFolder(fMachineFolder) {
  QDir().mkpath(fMachineFolder);
  Open();
}

TIniSettings::TIniSettings(const QString& AMachineFolder, const QString& AUserFolder)
    : fMachineFolder(IncludeTrailingPathDelimiter(AMachineFolder)), fUserFolder(IncludeTrailingPathDelimiter(AUserFolder)) {
  ForceUserFolder(fUserFolder, QStringLiteral("the user's settings"));
  Open();
}

void TIniSettings::Open() {
  const QString PrivateFileName = LocalPrivateFileName(fUserFolder);
  QDir().mkpath(QFileInfo(PrivateFileName).absolutePath());
  FLocalPrivateIni = std::make_unique<TIniFile>(PrivateFileName);
  ProbeWritable(*FLocalPrivateIni);
  FComputerIni = std::make_unique<TIniFile>(SettingsFolder() + GetWindowsComputerName() + QStringLiteral(".ini"));
  fWriteableComputerIni = ProbeWritable(*FComputerIni);
  FInstallIni = std::make_unique<TIniFile>(SettingsFile());
  fWritableInstallIni = ProbeWritable(*FInstallIni);
  SelectUser(GetWindowsUserName());
}

TIniSettings::~TIniSettings() {
  FCurrScope = nullptr;
  FUserIni.reset();
  FInstallIni.reset();
  FComputerIni.reset();
  FLocalPrivateIni.reset();
}

QString TIniSettings::SettingsFolder() const { return fMachineFolder; }

QString TIniSettings::SettingsFile() const { return SettingsFolder() + SettingsFileName; }

bool TIniSettings::FullAccess() const { return fWriteableUserIni && fWriteableComputerIni && fWritableInstallIni; }

bool TIniSettings::ProbeWritable(TIniFile& AFile) {
  const QString Section = QStringLiteral("Test");
  const bool Random = AFile.WriteInteger(Section, QStringLiteral("Random"),
                                         static_cast<qint32>(QRandomGenerator::global()->bounded(2147483647)));
  const bool LastOpened = AFile.WriteDateTime(Section, QStringLiteral("LastOpened"), Now());
  const bool UserName = AFile.WriteString(Section, QStringLiteral("WindowsUserName"), GetWindowsUserName());
  return Random && LastOpened && UserName;
}

void TIniSettings::SelectUser(const QString& AUserName) {
  if (AUserName.compare(FUserName, Qt::CaseInsensitive) == 0)
    return;
  FUserName = AUserName;
  if (FCurrScope == FUserIni.get())
    FCurrScope = nullptr;
  FUserIni.reset();
  fWriteableUserIni = false;
  if (!FUserName.isEmpty() && IsPlainFileName(FUserName)) {
    FUserIni = std::make_unique<TIniFile>(fUserFolder + FUserName + QStringLiteral(".ini"));
    fWriteableUserIni = ProbeWritable(*FUserIni);
  }
  if (FOnUserChange)
    FOnUserChange(FUserName);
}

TIniFile* TIniSettings::FileOf(TSettingsScope AScope) const {
  switch (AScope) {
    case scopeInstall:
      return FInstallIni.get();
    case scopeUser:
      return FUserIni.get();
    case scopeComputer:
      return FComputerIni.get();
    case scopeLocalPrivate:
      return FLocalPrivateIni.get();
    default:
      return nullptr;
  }
}

TSettingsScope TIniSettings::GetScope() {
  if (!FCurrScope)
    return scopeNone;
  for (const TSettingsScope Scope : {scopeUser, scopeComputer, scopeInstall, scopeLocalPrivate})
    if (FCurrScope == FileOf(Scope))
      return Scope;
  return scopeNone;
}

void TIniSettings::SetScope(TSettingsScope AScope) {
  if (AScope != GetScope())
    FCurrScope = FileOf(AScope);
}

TIniFile* TIniSettings::Current(TSettingsScope AScope) {
  SetScope(AScope);
  return FCurrScope;
}

bool TIniSettings::ValueExists(TSettingsScope AScope, const QString& ASection, const QString& AKey) {
  TIniFile* File = Current(AScope);
  return File && File->ValueExists(ASection, AKey);
}

bool TIniSettings::ReadBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool ADefault) {
  return ReadFrom(Current(AScope), ASection, AKey, ADefault, &TIniFile::ReadBool);
}

qint32 TIniSettings::ReadInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                 qint32 ADefault) {
  return ReadFrom(Current(AScope), ASection, AKey, ADefault, &TIniFile::ReadInteger);
}

double TIniSettings::ReadFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                               double ADefault) {
  return ReadFrom(Current(AScope), ASection, AKey, ADefault, &TIniFile::ReadFloat);
}

QString TIniSettings::ReadString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                 const QString& ADefault) {
  return ReadFrom(Current(AScope), ASection, AKey, ADefault, &TIniFile::ReadString);
}

// Read as a date and time: a date alone reads too, and what WriteDateTime wrote is not lost.
TDateTime TIniSettings::ReadDate(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                 TDateTime ADefault) {
  return ReadFrom(Current(AScope), ASection, AKey, ADefault, &TIniFile::ReadDateTime);
}

void TIniSettings::WriteString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                               const QString& AValue) {
  WriteTo(Current(AScope), ASection, AKey, AValue, &TIniFile::WriteString);
}

void TIniSettings::WriteDateTime(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                 TDateTime AValue) {
  WriteTo(Current(AScope), ASection, AKey, AValue, &TIniFile::WriteDateTime);
}

void TIniSettings::WriteInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                qint32 AValue) {
  WriteTo(Current(AScope), ASection, AKey, AValue, &TIniFile::WriteInteger);
}

void TIniSettings::WriteFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double AValue) {
  WriteTo(Current(AScope), ASection, AKey, AValue, &TIniFile::WriteFloat);
}

void TIniSettings::WriteBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool AValue) {
  WriteTo(Current(AScope), ASection, AKey, AValue, &TIniFile::WriteBool);
}

namespace {
std::unique_ptr<TIniSettings> OwnedSettings;
}  // namespace

void StartUpGlobalSettings() {
  std::setlocale(LC_ALL, "");
  QLocale::setDefault(QLocale::system());
  if (RunsInstalled())
    ForceUserFolder(UserStateFolder(), QStringLiteral("the log and the publish checksums"));
  OwnedSettings = RunsInstalled() ? std::make_unique<TIniSettings>(MachineConfigFolder(), UserConfigFolder())
                                  : std::make_unique<TIniSettings>();
  GlobalSettings = OwnedSettings.get();
}

void ShutDownGlobalSettings() {
  GlobalSettings = nullptr;
  OwnedSettings.reset();
}

}  // namespace quillon
