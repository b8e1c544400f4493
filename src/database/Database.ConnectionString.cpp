// The SQL Server connection string: its parts, the driver it names, and the text handed to ODBC.
#include "database/Database.ConnectionString.h"

#include "infra/text/Support.Format.h"
#include "infra/platform/Support.Paths.h"

#include <QFile>
#include <QStringDecoder>

namespace quillon {

namespace {

const QChar Delimiter = u';';
const QChar NameValueSeparator = u'=';

const QString ConnectionTemplate =
    QStringLiteral("Provider=SQLOLEDB.1;Data Source=%s;Initial Catalog=%s;Integrated Security=SSPI");

QString ProviderName(TSqlProvider AProvider) {
  switch (AProvider) {
    case sqlNativeClient10:
      return QStringLiteral("SQLNCLI10.1");
    case sqlNativeClient11:
      return QStringLiteral("SQLNCLI11.1");
    case sqlOleDb:
      return QStringLiteral("SQLOLEDB.1");
  }
  return QString();
}

// Text as Windows reads a text file: a byte-order mark chooses UTF-16 or UTF-8; a file without
// one is taken as UTF-8 when it is valid UTF-8 and as Latin-1 otherwise.
QString DecodeTextFile(const QByteArray& AData) {
  if (AData.startsWith("\xFF\xFE"))
    return QStringDecoder(QStringConverter::Utf16LE)(AData.mid(2));
  if (AData.startsWith("\xFE\xFF"))
    return QStringDecoder(QStringConverter::Utf16BE)(AData.mid(2));
  if (AData.startsWith("\xEF\xBB\xBF"))
    return QString::fromUtf8(AData.mid(3));
  QStringDecoder Utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString Text = Utf8(AData);
  return Utf8.hasError() ? QString::fromLatin1(AData) : Text;
}

}  // namespace

bool IsPasswordKey(const QString& AName) {
  return AName.contains(QStringLiteral("Password"), Qt::CaseInsensitive) ||
         AName.trimmed().compare(QStringLiteral("PWD"), Qt::CaseInsensitive) == 0;
}

const QString MaskedPassword = QStringLiteral("*****");

TMSSQLConnString::TMSSQLConnString() : TMSSQLConnString(QString(), QString()) {}

TMSSQLConnString::TMSSQLConnString(const QString& AServer, const QString& ADatabase) {
  SetDelimitedText(ConnectionTemplate);
  SetServer(AServer);
  SetDatabase(ADatabase);
}

void TMSSQLConnString::LoadFromUdl(const QString& AFileName) {
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    throw EFOpenError(Format(QStringLiteral("Cannot open file \"%s\". %s"), {AFileName, File.errorString()}));
  const QStringList FileLines = SplitTextLines(DecodeTextFile(File.readAll()));
  FQuoteChar = u'\'';
  if (FileLines.size() > 2)
    SetDelimitedText(FileLines.at(2));
}

void TMSSQLConnString::SetLogin(const QString& AUserName, const QString& APassword) {
  SetIntegratedSecurity(false);
  SetValues(QStringLiteral("User ID"), AUserName);
  SetValues(QStringLiteral("Password"), APassword);
}

QString TMSSQLConnString::Value() const { return DelimitedText(FLines); }

void TMSSQLConnString::SetValue(const QString& AValue) {
  SetDelimitedText(AValue);
  const QString FileName = Values(QStringLiteral("FILE NAME"));
  if (!FileName.isEmpty())
    LoadFromUdl(FileName);
}

QString TMSSQLConnString::MaskedValue() const {
  QStringList Masked = FLines;
  for (QString& Line : Masked) {
    const qsizetype Separator = Line.indexOf(NameValueSeparator);
    if (Separator >= 0 && Separator + 1 < Line.size() && IsPasswordKey(Line.left(Separator)))
      Line = Line.left(Separator + 1) + MaskedPassword;
  }
  return DelimitedText(Masked);
}

bool TMSSQLConnString::IntegratedSecurity() const {
  return Values(QStringLiteral("Integrated Security")).compare(QStringLiteral("SSPI"), Qt::CaseInsensitive) == 0;
}

void TMSSQLConnString::SetIntegratedSecurity(bool AValue) {
  SetValues(QStringLiteral("Integrated Security"), AValue ? QStringLiteral("SSPI") : QString());
}

void TMSSQLConnString::SetProvider(TSqlProvider AValue) {
  fSqlProvider = AValue;
  SetValues(QStringLiteral("Provider"), ProviderName(AValue));
}

qsizetype TMSSQLConnString::IndexOfName(const QString& AName) const {
  for (qsizetype I = 0; I < FLines.size(); ++I) {
    const qsizetype Separator = FLines.at(I).indexOf(NameValueSeparator);
    if (Separator >= 0 && FLines.at(I).left(Separator).compare(AName, Qt::CaseInsensitive) == 0)
      return I;
  }
  return -1;
}

QString TMSSQLConnString::Values(const QString& AName) const {
  const qsizetype Index = IndexOfName(AName);
  if (Index < 0)
    return QString();
  const QString& Line = FLines.at(Index);
  return Line.mid(Line.indexOf(NameValueSeparator) + 1);
}

void TMSSQLConnString::SetValues(const QString& AName, const QString& AValue) {
  const qsizetype Index = IndexOfName(AName);
  if (AValue.isEmpty()) {
    if (Index >= 0)
      FLines.removeAt(Index);
    return;
  }
  const QString Line = AName + NameValueSeparator + AValue;
  if (Index < 0)
    FLines.append(Line);
  else
    FLines[Index] = Line;
}

// Only ';' separates fields. A field that begins with the quote character runs to the closing
// quote (a doubled quote stands for one); an unterminated quote takes the rest of the text.
// A ';' at the very end adds an empty last line.
void TMSSQLConnString::SetDelimitedText(const QString& AText) {
  FLines.clear();
  qsizetype Position = 0;
  const qsizetype Length = AText.size();
  while (Position < Length) {
    QString Field;
    if (AText[Position] == FQuoteChar) {
      ++Position;
      while (Position < Length) {
        if (AText[Position] == FQuoteChar) {
          if (Position + 1 < Length && AText[Position + 1] == FQuoteChar) {
            Field += FQuoteChar;
            Position += 2;
            continue;
          }
          ++Position;
          break;
        }
        Field += AText[Position++];
      }
    } else {
      const qsizetype Start = Position;
      while (Position < Length && AText[Position] != Delimiter)
        ++Position;
      Field = AText.mid(Start, Position - Start);
    }
    FLines.append(Field);
    if (Position < Length && AText[Position] == Delimiter) {
      if (Position + 1 == Length)
        FLines.append(QString());
      ++Position;
    }
  }
}

QString TMSSQLConnString::DelimitedText(const QStringList& ALines) const {
  QStringList Fields;
  Fields.reserve(ALines.size());
  const QString Doubled = QString(FQuoteChar) + FQuoteChar;
  for (const QString& Line : ALines) {
    if (Line.contains(FQuoteChar) || Line.contains(Delimiter))
      Fields.append(FQuoteChar + QString(Line).replace(FQuoteChar, Doubled) + FQuoteChar);
    else
      Fields.append(Line);
  }
  return Fields.join(Delimiter);
}

// The data-link file lives in the folder above the program's; installed, a user's own file in
// the config folder comes first.
QString DefaultUdlFileName() {
  const QString UdlFileName = QStringLiteral("Tellwick.UDL");
  const QString AboveProgram = ExeFolder() + QStringLiteral("../");
  if (!RunsInstalled())
    return AboveProgram + UdlFileName;
  return FirstExistingFile(UdlFileName, {UserConfigFolder(), AboveProgram});
}

QString DefaultUdlConnectionString() { return QStringLiteral("FILE NAME=") + DefaultUdlFileName(); }

QString NativeClient11ConnectionString(const QString& AServer, const QString& ADatabase) {
  return Format(QStringLiteral("Provider=SQLNCLI11.1;Data Source=%s;Initial Catalog=%s;Integrated Security=SSPI"),
                {AServer, ADatabase});
}

QString ConnectionStringFromParams(const IParameters& AParams) {
  if (!AParams.Exists(QStringLiteral("Server")) || !AParams.Exists(QStringLiteral("Database")))
    return DefaultUdlConnectionString();
  const QString Server = AParams.ReadString(QStringLiteral("Server"), QString());
  const QString Database = AParams.ReadString(QStringLiteral("Database"), QString());
  if (!AParams.Exists(QStringLiteral("User")))
    return NativeClient11ConnectionString(Server, Database);
  // Few Linux machines hold a Kerberos ticket for SQL Server: User= asks for a SQL login, whose
  // password the login dialog asks for.
  TMSSQLConnString Login;
  Login.SetValue(NativeClient11ConnectionString(Server, Database));
  Login.SetLogin(AParams.ReadString(QStringLiteral("User"), QString()), QString());
  return Login.Value();
}

}  // namespace quillon
