#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.LocaleFormat.h"
#include "infra/platform/Support.Paths.h"
#include "infra/settings/Utils.Params.h"
#include "support/QtPrinters.h"

#include <QFileInfo>
#include <QLocale>

#include <gtest/gtest.h>

namespace quillon {
namespace {

QStringList Entries(const TParamList& AList) {
  QStringList Result;
  for (qint32 I = 0; I < AList.Count(); ++I)
    Result.append(AList.Get_Item(I));
  return Result;
}

// Sets the default locale for one test and puts the previous one back.
class TLocaleGuard {
public:
  explicit TLocaleGuard(const QLocale& ALocale) { QLocale::setDefault(ALocale); }
  ~TLocaleGuard() { QLocale::setDefault(FPrevious); }

private:
  QLocale FPrevious;
};

TEST(ParamList, ParseSplitsAtWhiteSpaceOutsideQuotes) {
  const struct {
    const char* Text;
    QStringList Expected;
  } Cases[] = {
      {"a \"b c\" d", {"a", "b c", "d"}},
      {"", {}},
      {" \t\r\n ", {}},
      {"  x\ty\r\nz  ", {"x", "y", "z"}},
      {"a\"b c\"d", {"ab cd"}},
      {"key=\"two words\" last", {"key=two words", "last"}},
      // Quoted white space stays at the ends of the last entry only; before a separator the
      // entry is trimmed.
      {"\"  q  \"", {"  q  "}},
      {"\"  q  \" r", {"q", "r"}},
      {"\"unterminated quote", {"unterminated quote"}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    EXPECT_EQ(Entries(TParamList(QString::fromUtf8(Case.Text))), Case.Expected);
  }
}

TEST(ParamList, CommandLineArgumentsAreSplitAgainAtWhiteSpace) {
  TParamList Params;
  Params.ParseCommandLine({"/opt/my tools/quillon", "Server=SRV", "Database=DB"});
  EXPECT_EQ(Entries(Params), QStringList({"/opt/my", "tools/quillon", "Server=SRV", "Database=DB"}));
  EXPECT_TRUE(Params.Exists("server"));
  EXPECT_EQ(Params.ReadString("DATABASE", "none"), "DB");
  EXPECT_EQ(Params.Text(), "/opt/my\ntools/quillon\nServer=SRV\nDatabase=DB\n");

  Params.ParseCommandLine({"quillon", "Server=MY SERVER"});
  EXPECT_EQ(Entries(Params), QStringList({"quillon", "Server=MY", "SERVER"}));
  EXPECT_EQ(Params.ReadString("Server", ""), "MY");

  // This test program has no application object: the arguments come from the process itself.
  const TParamList Own = TParamList::CreateFromCommandLine();
  ASSERT_GE(Own.Count(), 1);
  EXPECT_EQ(QFileInfo(Own.Get_Item(0)).fileName(), QFileInfo(ExePath()).fileName());
}

TEST(ParamList, FlagsOptionsAndSwitchesAreWholeEntries) {
  const TParamList Params("x=1 -y /z Verbose");
  EXPECT_TRUE(Params.Flag("verbose"));
  EXPECT_FALSE(Params.Flag("x"));
  EXPECT_TRUE(Params.Option("Y"));
  EXPECT_FALSE(Params.Switch("y"));
  EXPECT_TRUE(Params.Switch("z"));
  EXPECT_FALSE(Params.Option("z"));
  EXPECT_FALSE(Params.Flag("y"));
}

TEST(ParamList, SettingsReadTheFirstOfTheirNameAndFallBackToTheDefault) {
  const TParamList Params("Empty= Name=first NAME=second Count=12 Hex=$1F Bad=1x Big=99999999999 a==b");
  EXPECT_TRUE(Params.Exists("empty"));
  EXPECT_EQ(Params.ReadString("Empty", "dflt"), "dflt");
  EXPECT_FALSE(Params.Exists("Missing"));
  EXPECT_EQ(Params.ReadString("Missing", "dflt"), "dflt");
  EXPECT_EQ(Params.ReadString("name", ""), "first");
  EXPECT_EQ(Params.ReadString("A", ""), "=b");
  EXPECT_EQ(Params.ReadInteger("Count", -1), 12);
  EXPECT_EQ(Params.ReadInteger("Hex", -1), 31);
  EXPECT_EQ(Params.ReadInteger("Bad", -1), -1);
  EXPECT_EQ(Params.ReadInteger("Big", -1), -1);
  EXPECT_EQ(Params.ReadInteger("Empty", -1), -1);
  EXPECT_THROW(Params.Get_Item(Params.Count()), EListError);
}

TEST(ParamList, ReadBoolKnowsNumbersAndTheTwoWords) {
  const TParamList Params("one=1 minus=-1 upper=TRUE zero=0 lower=false yes=yes empty=");
  const struct {
    const char* Key;
    bool IfDefaultFalse;
    bool IfDefaultTrue;
  } Cases[] = {
      {"one", true, true},    {"minus", true, true},  {"upper", true, true},    {"zero", false, false},
      {"lower", false, false}, {"yes", false, true},  {"empty", false, true},   {"absent", false, true},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Key);
    EXPECT_EQ(Params.ReadBool(Case.Key, false), Case.IfDefaultFalse);
    EXPECT_EQ(Params.ReadBool(Case.Key, true), Case.IfDefaultTrue);
  }
}

TEST(ParamList, NumbersAndDatesFollowTheCurrentLocale) {
  const TLocaleGuard Locale(QLocale(QLocale::German, QLocale::Germany));
  TParamList Params("Ratio=1,5 Point=1.5 When=bad");
  EXPECT_DOUBLE_EQ(Params.ReadFloat("Ratio", 0), 1.5);
  EXPECT_DOUBLE_EQ(Params.ReadFloat("Point", -1), -1);

  Params.WriteFloat("ratio", 0.25);
  Params.WriteFloat("New", -2.5e-7);
  Params.WriteBool("Flag", false);
  EXPECT_EQ(Entries(Params), QStringList({"ratio=0,25", "Point=1.5", "When=bad", "New=-2,5E-07", "Flag=False"}));
  EXPECT_DOUBLE_EQ(Params.ReadFloat("New", 0), -2.5e-7);
  EXPECT_FALSE(Params.ReadBool("Flag", true));

  const TDateTime Day = DateTimeFromQDateTime(QDateTime(QDate(2024, 2, 29), QTime(0, 0)));
  Params.Parse("When=" + DateTimeToStr(Day) + " Bad=31.02.2024");
  EXPECT_EQ(Params.ReadString("When", ""), "29.02.2024");
  EXPECT_DOUBLE_EQ(Params.ReadDate("When", 0), Day);
  EXPECT_DOUBLE_EQ(Params.ReadDate("Bad", -1), -1);
}

}  // namespace
}  // namespace quillon
