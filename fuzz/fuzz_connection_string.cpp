// The connection-string and data-link decoder. The first byte picks the road: a data-link file
// (any bytes, UTF-16 with a byte-order mark included), or a connection string, which must
// survive being written out and read in again.
#include "FuzzSupport.h"

#include "database/Database.ConnectionString.h"

#include <QFile>
#include <QTemporaryDir>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const QTemporaryDir Dir;
  if (ASize == 0)
    return 0;
  TMSSQLConnString ConnString;
  if (AData[0] & 1) {
    const QString FileName = Dir.filePath(QStringLiteral("fuzz.udl"));
    QFile File(FileName);
    fuzz::Check("cannot write the data-link file", File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(fuzz::Bytes(AData + 1, ASize - 1));
    File.close();
    ConnString.LoadFromUdl(FileName);
  } else {
    const QString Text = fuzz::Utf16(AData + 1, ASize - 1);
    // A "File Name" key reads the file it names: any file, /dev/zero included.
    if (Text.contains(QStringLiteral("file name"), Qt::CaseInsensitive))
      return 0;
    ConnString.SetValue(Text);
    TMSSQLConnString Again;
    Again.SetValue(ConnString.Value());
    // A lone empty line (from a lone quote) is written as the empty text, which holds no line:
    // the same empty connection string.
    if (Again.Lines() != ConnString.Lines() && ConnString.Lines() != QStringList(QString()))
      fuzz::Fail("a connection string does not read back as written", ConnString.Lines().join(u'\n').toStdString(),
                 Again.Lines().join(u'\n').toStdString());
    // Every password the string holds is masked in the text for the log.
    TMSSQLConnString Masked;
    Masked.SetValue(ConnString.MaskedValue());
    for (const QString& Key : {QStringLiteral("Password"), QStringLiteral("PWD")}) {
      const QString Shown = Masked.Values(Key);
      if (!Shown.isEmpty() && Shown != QStringLiteral("*****"))
        fuzz::Fail("a password reaches the masked text", ConnString.Values(Key).toStdString(), Shown.toStdString());
    }
  }
  ConnString.SetLogin(QStringLiteral("user"), QStringLiteral("secret;x=\"y\""));
  fuzz::CheckSame("a login does not read back", ConnString.Password(), QStringLiteral("secret;x=\"y\""));
  return 0;
}
