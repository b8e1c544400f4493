#pragma once

#include "infra/settings/Interfaces.Settings.h"

#include <QHash>
#include <QString>

namespace quillon::test {

// An ISettings held in memory: scopes 1 … 4 each have a store, any other scope has none
// (reads answer the default, writes vanish). Sections and keys ignore letter case, values
// are kept as text like an INI file keeps them. With FailWith set every call raises
// Exception(FailWith), standing in for a store that cannot be read or written.
class TMemorySettings : public ISettings {
public:
  QString FailWith;

  // The stored text, or a null string when there is none.
  QString Value(TSettingsScope AScope, const QString& ASection, const QString& AKey) const;
  // How many values all scopes hold together.
  qsizetype ValueCount() const;

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
  void WriteString(TSettingsScope AScope, const QString& ASection, const QString& AKey, const QString& AValue) override;
  void WriteDateTime(TSettingsScope AScope, const QString& ASection, const QString& AKey, TDateTime AValue) override;
  void WriteInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey, qint32 AValue) override;
  void WriteFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double AValue) override;
  void WriteBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool AValue) override;

private:
  // Checks FailWith, makes AScope current, and answers the stored text (null when none).
  QString Read(TSettingsScope AScope, const QString& ASection, const QString& AKey);
  void Write(TSettingsScope AScope, const QString& ASection, const QString& AKey, const QString& AValue);

  QHash<QString, QString> FValues;  // "scope\nsection\nkey", lower case
  TSettingsScope FScope = scopeNone;
};

}  // namespace quillon::test
