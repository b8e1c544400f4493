// The program's command line, or any parameter text, as flags, options, switches and
// settings.
#pragma once

#include "infra/settings/Interfaces.Settings.h"

#include <QStringList>

namespace quillon {

// The program's command line, or any parameter text, as a list of whitespace-separated entries:
// flags ("x"), options ("-x"), switches ("/x") and settings ("key=value", the name being the
// text before the first "="). Lookups ignore letter case and find the first of equal entries.
class TParamList : public IParameters {
public:
  TParamList() = default;
  explicit TParamList(const QString& AParamStr);
  // From the program's own command line.
  static TParamList CreateFromCommandLine();

  // Splits at white space outside double quotes; the quotes themselves are dropped.
  void Parse(const QString& AParamStr);
  // The program's arguments (QCoreApplication's, or the process's own when there is no
  // application object), from argument 0 on. They are joined and parsed again, so an argument
  // with white space in it becomes several entries.
  void ParseCommandLine();
  void ParseCommandLine(const QStringList& AArguments);
  void Clear();

  qint32 Count() const;
  // Raises EListError for an index out of range.
  QString Get_Item(qint32 AIndex) const;
  // Every entry followed by a line break.
  QString Text() const;

  bool Flag(const QString& AFlag) const override;
  bool Option(const QString& AOption) const;
  bool Switch(const QString& ASwitch) const;
  // A setting of that name exists, even with an empty value.
  bool Exists(const QString& AKey) const override;
  // ADefault also when the value is empty.
  QString ReadString(const QString& AKey, const QString& ADefault) const override;
  qint32 ReadInteger(const QString& AKey, qint32 ADefault) const override;
  // A number is true when not zero; "True" and "False" in any letter case are understood.
  bool ReadBool(const QString& AKey, bool ADefault) const override;
  double ReadFloat(const QString& AKey, double ADefault) const override;
  TDateTime ReadDate(const QString& AKey, TDateTime ADefault) const override;

  void WriteFloat(const QString& AKey, double AValue);
  void WriteBool(const QString& AKey, bool AValue);

private:
  qsizetype IndexOfEntry(const QString& AEntry) const;
  qsizetype IndexOfName(const QString& AKey) const;
  // The value of the first setting named AKey; empty when there is none.
  QString Value(const QString& AKey) const;
  void SetValue(const QString& AKey, const QString& AValue);

  QStringList FData;
};

}  // namespace quillon
