// The program's settings in four INI files of different reach, and the process-wide store.
#pragma once

#include "infra/settings/Interfaces.Settings.h"

#include <functional>
#include <memory>

namespace quillon {

class TIniFile;

using TNotifyStringEvent = std::function<void(const QString&)>;

// The program's settings in four INI files of different reach: the installation's and the
// computer's (in the machine's settings folder), the selected user's (in the user's settings
// folder) and the private one of the account running the program (in the roaming
// application-data folder). Beside the program both settings folders are the one below the root.
// Files that cannot be written are not reported: writes to them are lost and FullAccess says so.
class TIniSettings : public ISettings {
public:
  // The root is the executable's folder when ARootFolder is empty.
  explicit TIniSettings(const QString& ARootFolder = QString());
  // The layout of an installed program: the machine's files in AMachineFolder (read-only for
  // most users), the user's in AUserFolder, which is created.
  TIniSettings(const QString& AMachineFolder, const QString& AUserFolder);
  ~TIniSettings() override;
  TIniSettings(const TIniSettings&) = delete;
  TIniSettings& operator=(const TIniSettings&) = delete;

  TSettingsScope GetScope() override;
  void SetScope(TSettingsScope AScope) override;
  bool ValueExists(TSettingsScope AScope, const QString& ASection, const QString& AKey) override;
  bool ReadBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool ADefault) override;
  qint32 ReadInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey, qint32 ADefault) override;
  double ReadFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double ADefault) override;
  QString ReadString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                     const QString& ADefault) override;
  TDateTime ReadDate(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                     TDateTime ADefault) override;

  void WriteString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                   const QString& AValue) override;
  void WriteDateTime(TSettingsScope AScope, const QString& ASection, const QString& AKey, TDateTime AValue) override;
  void WriteInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey, qint32 AValue) override;
  void WriteFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double AValue) override;
  void WriteBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool AValue) override;

  // Switches the user file; a name equal to the current one in any letter case changes nothing.
  // An empty name leaves the user scope without a file.
  void SelectUser(const QString& AUserName);

  // The machine's settings folder, which holds the install and computer files.
  QString SettingsFolder() const;
  QString SettingsFile() const;
  QString UserSettingsFolder() const { return fUserFolder; }
  QString Username() const { return FUserName; }
  // The user, computer and install files all took the write probe.
  bool FullAccess() const;
  const TNotifyStringEvent& OnUserChange() const { return FOnUserChange; }
  void SetOnUserChange(TNotifyStringEvent AHandler) { FOnUserChange = std::move(AHandler); }

private:
  TIniFile* FileOf(TSettingsScope AScope) const;
  // Makes AScope current and answers its file, or null.
  TIniFile* Current(TSettingsScope AScope);
  static bool ProbeWritable(TIniFile& AFile);
  void Open();

  QString fMachineFolder;
  QString fUserFolder;
  std::unique_ptr<TIniFile> FComputerIni;
  TIniFile* FCurrScope = nullptr;
  std::unique_ptr<TIniFile> FInstallIni;
  std::unique_ptr<TIniFile> FLocalPrivateIni;
  TNotifyStringEvent FOnUserChange;
  std::unique_ptr<TIniFile> FUserIni;
  bool fWritableInstallIni = false;
  bool fWriteableUserIni = false;
  bool fWriteableComputerIni = false;
  QString FUserName;
};

// Sets the process locale from the environment and makes it Qt's default (numbers and dates in
// the settings files follow it), then creates the store and publishes it as GlobalSettings.
void StartUpGlobalSettings();
// Clears GlobalSettings and frees the store.
void ShutDownGlobalSettings();

}  // namespace quillon
