#include "infra/settings/Support.IniFile.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

void WriteBytes(const QString& AFileName, const QByteArray& AData) {
  QFile File(AFileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate)) << AFileName.toStdString();
  ASSERT_EQ(File.write(AData), AData.size());
}

QByteArray ReadBytes(const QString& AFileName) {
  QFile File(AFileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

QByteArray Garbage(qsizetype ASize) {
  QRandomGenerator Random(42);
  QByteArray Data(ASize, '\0');
  for (char& C : Data)
    C = static_cast<char>(Random.bounded(256));
  return Data;
}

class IniFile : public testing::Test {
protected:
  QString Path(const QString& AName) const { return FDir.filePath(AName); }

private:
  QTemporaryDir FDir;
};

TEST_F(IniFile, ReadsWhatWindowsProfilesWouldAndSkipsTheRest) {
  WriteBytes(Path("a.ini"),
             QByteArrayLiteral("\xEF\xBB\xBF; comment=not a key\r\n"
             "orphan=before any section\r\n"
             "[Main]\r\n"
             "  Name = Value with spaces  \r\n"
             "Empty=\r\n"
             "no equals sign here\r\n"
             "=no key\r\n"
             "\x01\xFF\xFE\x00 garbage\r\n"
             "name=duplicate\r\n"
             "Quoted=\"kept\" ; and this\r\n"
             "\r\n"
             "[ other ]\n"
             "Key=1"));
  TIniFile Ini(Path("a.ini"));
  const struct {
    const char* Section;
    const char* Key;
    const char* Expected;
  } Cases[] = {
      {"main", "NAME", "Value with spaces"},
      {"Main", "Empty", ""},
      {"Main", "Quoted", "\"kept\" ; and this"},
      {"Other", "key", "1"},
      {"Main", "orphan", "<default>"},
      {"", "orphan", "<default>"},
      {"Main", "no equals sign here", "<default>"},
      {"Main", "", "<default>"},
      {"; comment", "not a key", "<default>"},
      {"Missing", "Key", "<default>"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Section) + "/" + Case.Key);
    EXPECT_EQ(Ini.ReadString(Case.Section, Case.Key, "<default>"), Case.Expected);
    EXPECT_EQ(Ini.ValueExists(Case.Section, Case.Key), QString(Case.Expected) != "<default>");
  }
}

TEST_F(IniFile, WritesChangeOnlyTheirLineAndKeepTheFileAsItWas) {
  const QByteArray Before =
      "\xEF\xBB\xBF; comment\r\n[Main]\r\nName = old\r\n\x01\xFF garbage\nlone LF\r\n\r\n[Other]\r\nKey=1";
  WriteBytes(Path("a.ini"), Before);
  TIniFile Ini(Path("a.ini"));
  ASSERT_TRUE(Ini.WriteString("MAIN", "name", "new"));
  ASSERT_TRUE(Ini.WriteString("Main", "Added", "x"));
  ASSERT_TRUE(Ini.WriteString("Fresh", "K", "v = w"));
  EXPECT_EQ(ReadBytes(Path("a.ini")),
            QByteArray("\xEF\xBB\xBF; comment\r\n[Main]\r\nName=new\r\nAdded=x\r\n\x01\xFF garbage\nlone LF\r\n\r\n"
                       "[Other]\r\nKey=1\r\n\r\n[Fresh]\r\nK=v = w\r\n"));

  TIniFile Created(Path("new.ini"));
  ASSERT_TRUE(Created.WriteInteger("S", "I", -5));
  ASSERT_TRUE(Created.WriteBool("S", "B", true));
  EXPECT_EQ(ReadBytes(Path("new.ini")), QByteArray("[S]\nI=-5\nB=1\n"));
  EXPECT_EQ(QDir(Path("")).entryList(QDir::Files | QDir::Hidden), QStringList({"a.ini", "new.ini"}));
}

TEST_F(IniFile, ConvertsTypedValuesAndFallsBackToTheDefault) {
  WriteBytes(Path("t.ini"), "[T]\nTwo=2\nMinus=-1\nZero=0\nText=abc\nHex=0x10\nPadded= 7 \nEmpty=\nHalf=0.5\n");
  TIniFile Ini(Path("t.ini"));
  const struct {
    const char* Key;
    qint32 Integer;  // read with the default 99
    bool IfDefaultFalse;
    bool IfDefaultTrue;
  } Cases[] = {
      {"Two", 2, true, true},       {"Minus", -1, true, true}, {"Zero", 0, false, false},
      {"Text", 99, false, true},    {"Hex", 16, true, true},   {"Padded", 7, true, true},
      {"Empty", 99, false, true},   {"Half", 99, false, true}, {"Absent", 99, false, true},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Key);
    EXPECT_EQ(Ini.ReadInteger("T", Case.Key, 99), Case.Integer);
    EXPECT_EQ(Ini.ReadBool("T", Case.Key, false), Case.IfDefaultFalse);
    EXPECT_EQ(Ini.ReadBool("T", Case.Key, true), Case.IfDefaultTrue);
  }
  EXPECT_DOUBLE_EQ(Ini.ReadFloat("T", "Text", -1), -1);
  EXPECT_DOUBLE_EQ(Ini.ReadDateTime("T", "Text", -1), -1);

  const TDateTime When = DateTimeFromQDateTime(QDateTime(QDate(2030, 7, 1), QTime(8, 9, 10)));
  ASSERT_TRUE(Ini.WriteFloat("T", "Ratio", 0.1));
  ASSERT_TRUE(Ini.WriteDateTime("T", "When", When));
  TIniFile Other(Path("t.ini"));
  EXPECT_EQ(Other.ReadFloat("T", "Ratio", -1), 0.1);
  EXPECT_EQ(QDateTimeFromDateTime(Other.ReadDateTime("T", "When", -1)), QDateTimeFromDateTime(When));
}

TEST_F(IniFile, SeesWhatOthersWroteAndDoesNotOverwriteIt) {
  TIniFile First(Path("shared.ini"));
  TIniFile Second(Path("shared.ini"));
  EXPECT_EQ(First.ReadString("S", "A", "none"), "none");
  ASSERT_TRUE(Second.WriteString("S", "A", "1"));
  EXPECT_EQ(First.ReadString("S", "A", "none"), "1");
  ASSERT_TRUE(First.WriteString("S", "B", "2"));
  ASSERT_TRUE(Second.WriteString("S", "C", "3"));
  EXPECT_EQ(ReadBytes(Path("shared.ini")), QByteArray("[S]\nA=1\nB=2\nC=3\n"));

  // Rewritten in place with the same size: only the modification time tells.
  WriteBytes(Path("shared.ini"), "[S]\nA=9\nB=8\nC=7\n");
  EXPECT_EQ(First.ReadString("S", "A", "none"), "9");
  EXPECT_EQ(Second.ReadString("S", "C", "none"), "7");
}

TEST_F(IniFile, RefusesWhatWouldNotReadBackAsWritten) {
  WriteBytes(Path("r.ini"), "[S]\nK=v\n");
  TIniFile Ini(Path("r.ini"));
  const struct {
    const char* Section;
    const char* Key;
    const char* Value;
  } Cases[] = {
      {"S", "K", "two\nlines"}, {"S", "K", "carriage\rreturn"}, {"S", "a=b", "v"}, {"S", " ", "v"},
      {"S", "[x]", "v"},        {"S", ";k", "v"},               {"a]b", "K", "v"}, {"a\nb", "K", "v"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Section) + "/" + Case.Key + "=" + Case.Value);
    EXPECT_FALSE(Ini.WriteString(Case.Section, Case.Key, Case.Value));
  }
  EXPECT_EQ(ReadBytes(Path("r.ini")), QByteArray("[S]\nK=v\n"));
}

// A written key reads back, also in a fresh reader, also where its text begins with what
// looks like a byte-order mark, in a file with or without one of its own, and after a line
// that a lone carriage return ends.
TEST_F(IniFile, KeysThatAreWrittenReadBack) {
  const QString Bom(QChar(0xFEFF));
  const struct {
    const char* Name;
    QByteArray Start;
    QString Section;
    QString Key;
  } Cases[] = {
      {"key after a byte-order mark", "", QStringLiteral("S"), Bom + QStringLiteral("Key")},
      {"only a byte-order mark", "", QStringLiteral("S"), Bom},
      {"in a file with a byte-order mark", "\xEF\xBB\xBF[S]\nA=1\n", QStringLiteral("S"), Bom + QStringLiteral("Key")},
      {"section after a byte-order mark", "", Bom + QStringLiteral("S"), Bom + QStringLiteral("Key")},
      {"letters outside ASCII", "", QString::fromUtf8("Seksjon \xC3\xA6"), QString::fromUtf8("N\xC3\xB8kkel \xE6\xBC\xA2")},
      {"after a last line that ends in a lone carriage return", "[S]\r", QStringLiteral("S"), QStringLiteral("Key")},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    WriteBytes(Path("k.ini"), Case.Start);
    TIniFile Ini(Path("k.ini"));
    ASSERT_TRUE(Ini.WriteString(Case.Section, Case.Key, "v"));
    EXPECT_EQ(Ini.ReadString(Case.Section, Case.Key, "none"), "v");
    EXPECT_EQ(TIniFile(Path("k.ini")).ReadString(Case.Section, Case.Key, "none"), "v");
    EXPECT_EQ(TIniFile(Path("k.ini")).ReadString(Case.Section, QString(Case.Key).remove(QChar(0xFEFF)), "none"),
              Case.Key.contains(QChar(0xFEFF)) ? "none" : "v");
  }
}

TEST_F(IniFile, BinaryGarbageReadsAsDefaultsAndSurvivesAWrite) {
  const QByteArray Noise = Garbage(4096) + '\n';
  WriteBytes(Path("g.ini"), Noise);
  TIniFile Ini(Path("g.ini"));
  EXPECT_EQ(Ini.ReadString("Test", "Random", "none"), "none");
  ASSERT_TRUE(Ini.WriteString("Test", "Random", "5"));
  EXPECT_EQ(TIniFile(Path("g.ini")).ReadInteger("Test", "Random", 0), 5);
  EXPECT_TRUE(ReadBytes(Path("g.ini")).startsWith(Noise));
}

TEST_F(IniFile, AFailedWriteAnswersFalseAndKeepsPermissions) {
  TIniFile Nowhere(Path("no/such/folder/x.ini"));
  EXPECT_FALSE(Nowhere.WriteString("S", "K", "v"));
  EXPECT_EQ(Nowhere.ReadString("S", "K", "none"), "none");

  WriteBytes(Path("p.ini"), "[S]\nK=v\n");
  ASSERT_EQ(chmod(QFile::encodeName(Path("p.ini")).constData(), 0640), 0);
  ASSERT_TRUE(TIniFile(Path("p.ini")).WriteString("S", "K", "w"));
  struct stat Info {};
  ASSERT_EQ(stat(QFile::encodeName(Path("p.ini")).constData(), &Info), 0);
  EXPECT_EQ(Info.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadBytes(Path("p.ini")), QByteArray("[S]\nK=w\n"));
}

// Needs an account whose writes the permission bits stop: not root.
TEST_F(IniFile, ReadOnlyAndUnreadableFilesAreLeftAlone) {
  WriteBytes(Path("ro.ini"), "[S]\nK=v\n");
  WriteBytes(Path("locked.ini"), "[S]\nK=v\n");
  ASSERT_TRUE(QFile::setPermissions(Path("ro.ini"), QFileDevice::ReadOwner));
  ASSERT_TRUE(QFile::setPermissions(Path("locked.ini"), QFileDevice::Permissions()));
  if (access(QFile::encodeName(Path("ro.ini")).constData(), W_OK) == 0)
    GTEST_SKIP() << "permission bits do not stop this account's writes (running as root)";

  TIniFile ReadOnly(Path("ro.ini"));
  EXPECT_FALSE(ReadOnly.WriteString("S", "K", "w"));
  EXPECT_EQ(ReadOnly.ReadString("S", "K", "none"), "v");

  // Writable but not readable: writing would replace contents it cannot see.
  ASSERT_TRUE(QFile::setPermissions(Path("locked.ini"), QFileDevice::WriteOwner));
  TIniFile Locked(Path("locked.ini"));
  EXPECT_EQ(Locked.ReadString("S", "K", "none"), "none");
  EXPECT_FALSE(Locked.WriteString("S", "Other", "x"));
  ASSERT_TRUE(QFile::setPermissions(Path("locked.ini"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  EXPECT_EQ(ReadBytes(Path("locked.ini")), QByteArray("[S]\nK=v\n"));
  EXPECT_EQ(Locked.ReadString("S", "K", "none"), "v");

  ASSERT_TRUE(QDir().mkdir(Path("sealed")));
  TIniFile InSealed(Path("sealed/x.ini"));
  ASSERT_TRUE(InSealed.WriteString("S", "K", "v"));
  ASSERT_TRUE(QFile::setPermissions(Path("sealed"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  EXPECT_FALSE(InSealed.WriteString("S", "K", "w"));
  EXPECT_EQ(InSealed.ReadString("S", "K", "none"), "v");
  QFile::setPermissions(Path("sealed"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
}  // namespace quillon
