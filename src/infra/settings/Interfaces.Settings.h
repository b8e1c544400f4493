// The settings store every component reads and writes: scopes, sections and keys.
#pragma once

#include "infra/text/Support.DateTime.h"

#include <QString>

namespace quillon {

// Scope numbers of the settings store; any other number addresses no file.
using TSettingsScope = qint32;
constexpr TSettingsScope scopeNone = 0;
constexpr TSettingsScope scopeInstall = 1;
constexpr TSettingsScope scopeUser = 2;
constexpr TSettingsScope scopeComputer = 3;
constexpr TSettingsScope scopeLocalPrivate = 4;

// Every operation with a scope first makes that scope current, then works on its file.
// Reads from a scope without a file answer the default; writes to it do nothing.
class IContextParameters {
public:
  virtual ~IContextParameters() = default;
  virtual TSettingsScope GetScope() = 0;
  virtual void SetScope(TSettingsScope AScope) = 0;
  virtual bool ValueExists(TSettingsScope AScope, const QString& ASection, const QString& AKey) = 0;
  virtual bool ReadBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool ADefault) = 0;
  virtual qint32 ReadInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey, qint32 ADefault) = 0;
  virtual double ReadFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double ADefault) = 0;
  virtual QString ReadString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                             const QString& ADefault) = 0;
  virtual TDateTime ReadDate(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                             TDateTime ADefault) = 0;
};

class ISettings : public IContextParameters {
public:
  virtual void WriteString(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                           const QString& AValue) = 0;
  virtual void WriteDateTime(TSettingsScope AScope, const QString& ASection, const QString& AKey,
                             TDateTime AValue) = 0;
  virtual void WriteInteger(TSettingsScope AScope, const QString& ASection, const QString& AKey, qint32 AValue) = 0;
  virtual void WriteFloat(TSettingsScope AScope, const QString& ASection, const QString& AKey, double AValue) = 0;
  virtual void WriteBool(TSettingsScope AScope, const QString& ASection, const QString& AKey, bool AValue) = 0;
};

// The read-only face of a parameter list (the command line). Lookups ignore letter case.
class IParameters {
public:
  virtual ~IParameters() = default;
  virtual bool Flag(const QString& AFlag) const = 0;
  virtual bool Exists(const QString& AKey) const = 0;
  virtual bool ReadBool(const QString& AKey, bool ADefault) const = 0;
  virtual qint32 ReadInteger(const QString& AKey, qint32 ADefault) const = 0;
  virtual double ReadFloat(const QString& AKey, double ADefault) const = 0;
  virtual QString ReadString(const QString& AKey, const QString& ADefault) const = 0;
  virtual TDateTime ReadDate(const QString& AKey, TDateTime ADefault) const = 0;
};

// The process-wide settings store: set at start-up, cleared at shut-down. Not owned here.
inline ISettings* GlobalSettings = nullptr;

}  // namespace quillon
