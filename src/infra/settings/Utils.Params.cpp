// The program's command line, or any parameter text, as flags, options, switches and
// settings.
#include "infra/settings/Utils.Params.h"

#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "infra/text/Support.LocaleFormat.h"

#include <QCoreApplication>
#include <QFile>

namespace quillon {

namespace {

bool IsWhiteSpace(QChar C) { return C == u'\t' || C == u'\n' || C == u'\r' || C == u' '; }

// Without an application object (a tool run before it exists) the kernel still has the arguments.
QStringList ProcessArguments() {
  if (QCoreApplication::instance())
    return QCoreApplication::arguments();
  QFile CommandLine(QStringLiteral("/proc/self/cmdline"));
  QStringList Result;
  if (!CommandLine.open(QIODevice::ReadOnly))
    return Result;
  QByteArray Data = CommandLine.readAll();
  if (Data.endsWith('\0'))
    Data.chop(1);
  for (const QByteArray& Argument : Data.split('\0'))
    Result.append(QString::fromLocal8Bit(Argument));
  return Result;
}

}  // namespace

TParamList::TParamList(const QString& AParamStr) { Parse(AParamStr); }

TParamList TParamList::CreateFromCommandLine() {
  TParamList Result;
  Result.ParseCommandLine();
  return Result;
}

void TParamList::Parse(const QString& AParamStr) {
  FData.clear();
  QString Buffer;
  bool OutsideQuotes = true;
  for (const QChar C : AParamStr) {
    if (IsWhiteSpace(C)) {
      if (OutsideQuotes) {
        const QString Entry = Trim(Buffer);
        if (!Entry.isEmpty())
          FData.append(Entry);
        Buffer.clear();
      } else {
        Buffer.append(C);
      }
    } else if (C == u'"') {
      OutsideQuotes = !OutsideQuotes;
    } else {
      Buffer.append(C);
    }
  }
  // Quoted white space at the ends of the last entry stays.
  if (!Trim(Buffer).isEmpty())
    FData.append(Buffer);
}

void TParamList::ParseCommandLine() { ParseCommandLine(ProcessArguments()); }

void TParamList::ParseCommandLine(const QStringList& AArguments) {
  FData = AArguments;
  Parse(Text());
}

void TParamList::Clear() { FData.clear(); }

qint32 TParamList::Count() const { return static_cast<qint32>(FData.size()); }

QString TParamList::Get_Item(qint32 AIndex) const {
  if (AIndex < 0 || AIndex >= FData.size())
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(AIndex));
  return FData.at(AIndex);
}

QString TParamList::Text() const {
  QString Result;
  for (const QString& Entry : FData)
    Result.append(Entry).append(u'\n');
  return Result;
}

qsizetype TParamList::IndexOfEntry(const QString& AEntry) const {
  for (qsizetype I = 0; I < FData.size(); ++I)
    if (FData.at(I).compare(AEntry, Qt::CaseInsensitive) == 0)
      return I;
  return -1;
}

qsizetype TParamList::IndexOfName(const QString& AKey) const {
  for (qsizetype I = 0; I < FData.size(); ++I) {
    const QString& Entry = FData.at(I);
    const qsizetype Equals = Entry.indexOf(u'=');
    if (Equals >= 0 && QStringView(Entry).left(Equals).compare(AKey, Qt::CaseInsensitive) == 0)
      return I;
  }
  return -1;
}

bool TParamList::Flag(const QString& AFlag) const { return IndexOfEntry(AFlag) >= 0; }

bool TParamList::Option(const QString& AOption) const { return IndexOfEntry(u'-' + AOption) >= 0; }

bool TParamList::Switch(const QString& ASwitch) const { return IndexOfEntry(u'/' + ASwitch) >= 0; }

bool TParamList::Exists(const QString& AKey) const { return IndexOfName(AKey) >= 0; }

QString TParamList::Value(const QString& AKey) const {
  const qsizetype Index = IndexOfName(AKey);
  if (Index < 0)
    return QString();
  const QString& Entry = FData.at(Index);
  return Entry.mid(Entry.indexOf(u'=') + 1);
}

QString TParamList::ReadString(const QString& AKey, const QString& ADefault) const {
  const QString Result = Value(AKey);
  return Result.isEmpty() ? ADefault : Result;
}

qint32 TParamList::ReadInteger(const QString& AKey, qint32 ADefault) const {
  qint32 Result = ADefault;
  return TryStrToInt(Value(AKey), Result) ? Result : ADefault;
}

bool TParamList::ReadBool(const QString& AKey, bool ADefault) const {
  const QString Text = Value(AKey);
  double Number = 0;
  if (TryStrToFloat(Text, Number))
    return Number != 0;
  if (Text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
    return true;
  if (Text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
    return false;
  return ADefault;
}

double TParamList::ReadFloat(const QString& AKey, double ADefault) const {
  double Result = ADefault;
  return TryStrToFloat(Value(AKey), Result) ? Result : ADefault;
}

TDateTime TParamList::ReadDate(const QString& AKey, TDateTime ADefault) const {
  TDateTime Result = ADefault;
  return TryStrToDateTime(Value(AKey), Result) ? Result : ADefault;
}

void TParamList::SetValue(const QString& AKey, const QString& AValue) {
  const QString Entry = AKey + u'=' + AValue;
  const qsizetype Index = IndexOfName(AKey);
  if (Index >= 0)
    FData[Index] = Entry;
  else
    FData.append(Entry);
}

void TParamList::WriteFloat(const QString& AKey, double AValue) { SetValue(AKey, FloatToStr(AValue)); }

void TParamList::WriteBool(const QString& AKey, bool AValue) {
  SetValue(AKey, AValue ? QStringLiteral("True") : QStringLiteral("False"));
}

}  // namespace quillon
