// The INI reader and writer on any file: input is "section NUL key NUL value NUL file". A value
// that is written reads back (trimmed), in this reader and a fresh one, and no other key
// changes; a write that is refused changes nothing.
#include "FuzzSupport.h"

#include "infra/text/Support.Format.h"
#include "infra/settings/Support.IniFile.h"

#include <QFile>
#include <QTemporaryDir>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const QTemporaryDir Dir;
  const QList<QByteArray> Parts = fuzz::Parts(AData, ASize, '\0', 4);
  if (Parts.size() < 4)
    return 0;
  const QString Section = QString::fromUtf8(Parts[0]);
  const QString Key = QString::fromUtf8(Parts[1]);
  const QString Value = QString::fromUtf8(Parts[2]);
  const QString FileName = Dir.filePath(QStringLiteral("fuzz.ini"));
  {
    QFile File(FileName);
    fuzz::Check("cannot write the INI file", File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Parts[3]);
  }
  // A key beside the one written, in the same section and in another one.
  const QString Other = QStringLiteral("Other");
  TIniFile Ini(FileName);
  const QString OtherBefore = Ini.ReadString(Section, Other, QStringLiteral("(none)"));
  const QString ElsewhereBefore = Ini.ReadString(Other, Key, QStringLiteral("(none)"));
  const QByteArray FileBefore = Parts[3];
  if (Ini.WriteString(Section, Key, Value)) {
    fuzz::CheckSame("a written value does not read back", Ini.ReadString(Section, Key, QStringLiteral("(none)")),
                    Trim(Value));
    fuzz::CheckSame("a written value does not read back in a fresh reader",
                    TIniFile(FileName).ReadString(Section, Key, QStringLiteral("(none)")), Trim(Value));
    if (Trim(Key).compare(Other, Qt::CaseInsensitive) != 0)
      fuzz::CheckSame("a write changed another key", Ini.ReadString(Section, Other, QStringLiteral("(none)")), OtherBefore);
    if (Trim(Section).compare(Other, Qt::CaseInsensitive) != 0)
      fuzz::CheckSame("a write changed another section", Ini.ReadString(Other, Key, QStringLiteral("(none)")),
                      ElsewhereBefore);
  } else {
    QFile File(FileName);
    fuzz::Check("cannot read the INI file", File.open(QIODevice::ReadOnly));
    fuzz::CheckSame("a refused write changed the file", File.readAll(), FileBefore);
  }
  return 0;
}
