#include "support/MemorySettings.h"

#include "infra/platform/Support.Exceptions.h"

namespace quillon::test {

namespace {

bool HasStore(TSettingsScope AScope) {
  return AScope >= scopeInstall && AScope <= scopeLocalPrivate;
}

QString KeyOf(TSettingsScope AScope, const QString& ASection, const QString& AKey) {
  return QString::number(AScope) + u'\n' + ASection.toLower() + u'\n' + AKey.toLower();
}

}  // namespace

QString TMemorySettings::Value(TSettingsScope AScope, const QString& ASection, const QString& AKey) const {
  return FValues.value(KeyOf(AScope, ASection, AKey));
}

qsizetype TMemorySettings::ValueCount() const {
  return FValues.size();
}

TSettingsScope TMemorySettings::GetScope() {
  return FScope;
}

void TMemorySettings::SetScope(TSettingsScope AScope) {
  FScope = HasStore(AScope) ? AScope : scopeNone;
}

QString TMemorySettings::Read(TSettingsScope AScope, const QString& ASection, const QString& AKey) {
  if (!FailWith.isEmpty())
    throw Exception(FailWith);
  SetScope(AScope);
  return HasStore(AScope) ? Value(AScope, ASection, AKey) : QString();
}

void TMemorySettings::Write(TSettingsScope AScope, const QString& ASection, const QString& AKey, const QString& AValue) {
  if (!FailWith.isEmpty())
    throw Exception(FailWith);
  SetScope(AScope);
  if (HasStore(AScope))
    FValues.insert(KeyOf(AScope, ASection, AKey), AValue);
}

bool TMemorySettings::ValueExists(TSettingsScope AScope, const QString& ASection, const QString& AKey) {
  return !Read(AScope, ASection, AKey).isNull();
}

bool TMemorySettings::ReadBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool ADefault) {
  return ReadInteger(AScope, ASection, AKey, ADefault ? 1 : 0) != 0;
}

qint32 TMemorySettings::ReadInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                    qint32 ADefault) {
  bool Ok = false;
  const qint32 Result = Read(AScope, ASection, AKey).toInt(&Ok);
  return Ok ? Result : ADefault;
}

double TMemorySettings::ReadFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                  double ADefault) {
  bool Ok = false;
  const double Result = Read(AScope, ASection, AKey).toDouble(&Ok);
  return Ok ? Result : ADefault;
}

QString TMemorySettings::ReadString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                    const QString& ADefault) {
  const QString Result = Read(AScope, ASection, AKey);
  return Result.isNull() ? ADefault : Result;
}

TDateTime TMemorySettings::ReadDate(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                    TDateTime ADefault) {
  return ReadFloat(AScope, ASection, AKey, ADefault);
}

void TMemorySettings::WriteString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                  const QString& AValue) {
  Write(AScope, ASection, AKey, AValue);
}

void TMemorySettings::WriteDateTime(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                    TDateTime AValue) {
  WriteFloat(AScope, ASection, AKey, AValue);
}

void TMemorySettings::WriteInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                                   qint32 AValue) {
  Write(AScope, ASection, AKey, QString::number(AValue));
}

void TMemorySettings::WriteFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double AValue) {
  Write(AScope, ASection, AKey, QString::number(AValue, 'g', 17));
}

void TMemorySettings::WriteBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool AValue) {
  Write(AScope, ASection, AKey, AValue ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace quillon::test
