// The translation of a connection string into the driver's. The first byte picks the driver
// (FreeTDS or another), the rest is the OLE DB string as UTF-16, then perhaps a login. Split the way that driver
// splits it, the result must give every value that passes through whole, whatever it holds; a
// string the translation refuses reaches no driver.
#include "FuzzSupport.h"

#include "database/Database.ConnectionString.h"
#include "database/Database.Simple.h"

#include <QMap>

using namespace quillon;

namespace {

// Keys and values as the driver reads them (keys in lower case). A value opening with "{"
// is braced: FreeTDS reads it up to the first "}" that is followed by ";" or the end and
// takes it as it stands; the ODBC rule (other drivers) reads it up to a "}" that is not
// doubled, a doubled one standing for one brace. Any other value runs to the next ";".
QMap<QString, QString> SplitAsDriver(const QString& AText, bool AFreeTds) {
  QMap<QString, QString> Result;
  qsizetype At = 0;
  while (At < AText.size()) {
    const qsizetype Equals = AText.indexOf(u'=', At);
    if (Equals < 0)
      break;
    const QString Key = AText.mid(At, Equals - At).trimmed().toLower();
    QString Value;
    At = Equals + 1;
    if (At < AText.size() && AText.at(At) == u'{') {
      ++At;
      if (AFreeTds) {
        qsizetype Close = AText.indexOf(QStringLiteral("};"), At);
        if (Close < 0)
          Close = AText.endsWith(u'}') ? AText.size() - 1 : AText.size();
        Value = AText.mid(At, Close - At);
        At = Close + 1;
      } else {
        while (At < AText.size()) {
          if (AText.at(At) == u'}') {
            if (At + 1 < AText.size() && AText.at(At + 1) == u'}') {
              Value += u'}';
              At += 2;
              continue;
            }
            ++At;
            break;
          }
          Value += AText.at(At++);
        }
      }
      // What follows a braced value up to the next ";" is not part of it.
      const qsizetype Semicolon = AText.indexOf(u';', At);
      At = Semicolon < 0 ? AText.size() : Semicolon + 1;
    } else {
      const qsizetype Semicolon = AText.indexOf(u';', At);
      const qsizetype End = Semicolon < 0 ? AText.size() : Semicolon;
      Value = AText.mid(At, End - At);
      At = End + 1;
    }
    Result.insert(Key, Value);
  }
  return Result;
}

// The keys whose values pass through unchanged, by the driver's name for them.
const QList<std::pair<QString, QStringList>> PassingKeys{
    {QStringLiteral("database"), {QStringLiteral("Initial Catalog"), QStringLiteral("Database")}},
    {QStringLiteral("uid"), {QStringLiteral("User ID"), QStringLiteral("UID"), QStringLiteral("User")}},
    {QStringLiteral("pwd"), {QStringLiteral("Password"), QStringLiteral("PWD")}},
    {QStringLiteral("app"), {QStringLiteral("Application Name"), QStringLiteral("APP")}},
    {QStringLiteral("wsid"), {QStringLiteral("Workstation ID"), QStringLiteral("WSID")}},
    {QStringLiteral("language"), {QStringLiteral("Current Language"), QStringLiteral("Language")}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize == 0)
    return 0;
  const bool FreeTds = AData[0] & 1;
  // After a U+0000 come a user name and a password as the login dialog sets them: they may
  // hold anything, semicolons and braces included.
  const QString Text = fuzz::Utf16(AData + 1, ASize - 1);
  const QStringList Login = Text.section(QChar(0), 1).split(QChar(0));
  TMSSQLConnString ConnString;
  ConnString.SetValue(Text.section(QChar(0), 0, 0));
  if (Text.contains(QChar(0)))
    ConnString.SetLogin(Login.first(), Login.value(1));
  QString Odbc;
  try {
    Odbc = OdbcLogin(ConnString, FreeTds ? QStringLiteral("FreeTDS") : QStringLiteral("ODBC Driver 18 for SQL Server"),
                     QString())
               .ConnectionString;
  } catch (const EConnectionSettings&) {
    return 0;  // refused whole: nothing reaches the driver
  }
  const QMap<QString, QString> Split = SplitAsDriver(Odbc, FreeTds);
  // A key given twice (under any of its names) leaves the driver one of the two; only keys
  // given once are checked.
  for (const auto& [OdbcKey, Names] : PassingKeys) {
    QStringList Given;
    for (const QString& Line : ConnString.Lines())
      if (Line.contains(u'=') && Names.contains(Line.section(u'=', 0, 0).trimmed(), Qt::CaseInsensitive))
        Given.append(Line.section(u'=', 1));
    if (Given.size() == 1 && Split.value(OdbcKey) != Given.first())
      fuzz::Fail("a value does not come back whole", Given.first().toStdString(),
                 (Odbc + QStringLiteral("\n--- read as: ") + Split.value(OdbcKey)).toStdString());
  }
  return 0;
}
