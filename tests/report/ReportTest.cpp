#include "report/Report.HtmlDiff.h"
#include "report/Report.LineDiff.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(LineDiffTest, UnifiedDiffOfTypicalChanges) {
  struct TCase {
    const char* Name;
    QString Expected;
    QString Actual;
    QString Diff;
  };
  const QList<TCase> Cases{
      {"same lines, other line ends", QStringLiteral("a\r\nb"), QStringLiteral("a\nb\n"), QString()},
      {"gold empty", QString(), QStringLiteral("x\ny"),
       QStringLiteral("--- e\n+++ a\n@@ -0,0 +1,2 @@\n+x\n+y\n")},
      {"local empty", QStringLiteral("x"), QString(), QStringLiteral("--- e\n+++ a\n@@ -1,1 +0,0 @@\n-x\n")},
      {"changed block: old lines, then new", QStringLiteral("a\nb\nc\nd"), QStringLiteral("a\nB\nC\nd"),
       QStringLiteral("--- e\n+++ a\n@@ -1,4 +1,4 @@\n a\n-b\n-c\n+B\n+C\n d\n")},
      {"inserted line", QStringLiteral("a\nc"), QStringLiteral("a\nb\nc"),
       QStringLiteral("--- e\n+++ a\n@@ -1,2 +1,3 @@\n a\n+b\n c\n")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(UnifiedDiff(Case.Expected, Case.Actual, QStringLiteral("e"), QStringLiteral("a")), Case.Diff);
  }
}

// "<APrefix>1" … "<APrefix><ACount>".
QStringList NumberedLines(const QString& APrefix, int ACount) {
  QStringList Lines;
  for (int i = 1; i <= ACount; ++i)
    Lines << APrefix + QString::number(i);
  return Lines;
}

TEST(LineDiffTest, ContextOfThreeLinesSplitsFarChangesIntoHunks) {
  const QStringList Gold = NumberedLines(QStringLiteral("line "), 20);
  QStringList Local = Gold;
  Local[1] = QStringLiteral("LINE 2");
  Local[4] = QStringLiteral("LINE 5");
  Local[17] = QStringLiteral("LINE 18");
  const TUnifiedDiffOptions Options{3, false, false};
  // Changes two lines apart share a hunk, one far off gets its own.
  EXPECT_EQ(UnifiedDiff(Gold.join(u'\n'), Local.join(u'\n'), QStringLiteral("g"), QStringLiteral("l"), Options),
            QStringLiteral("--- g\n+++ l\n@@ -1,8 +1,8 @@\n line 1\n-line 2\n+LINE 2\n line 3\n line 4\n-line 5\n"
                           "+LINE 5\n line 6\n line 7\n line 8\n@@ -15,6 +15,6 @@\n line 15\n line 16\n line 17\n"
                           "-line 18\n+LINE 18\n line 19\n line 20\n"));
  // A line inserted after the last one, and one removed before the first.
  EXPECT_EQ(UnifiedDiff(QStringLiteral("a\nb\nc\nd\ne"), QStringLiteral("b\nc\nd\ne\nf"), QStringLiteral("g"),
                        QStringLiteral("l"), TUnifiedDiffOptions{1, false, false}),
            QStringLiteral("--- g\n+++ l\n@@ -1,2 +1,1 @@\n-a\n b\n@@ -5,1 +4,2 @@\n e\n+f\n"));
}

TEST(LineDiffTest, ColourMarksLinesAndChangedTokensAndHiddenCharactersShow) {
  const QString Gold = QStringLiteral("SELECT 1\nWHERE Status = 'C'");
  const QString Local = QStringLiteral("SELECT 1\nWHERE Status = 'O'\u202E");
  EXPECT_EQ(UnifiedDiff(Gold, Local, QStringLiteral("g"), QStringLiteral("l"), TUnifiedDiffOptions{3, true, true}),
            QStringLiteral("\x1B[1m--- g\x1B[0m\n\x1B[1m+++ l\x1B[0m\n\x1B[36m@@ -1,2 +1,2 @@\x1B[0m\n SELECT 1\n"
                           "\x1B[31m-WHERE Status = '\x1B[7mC\x1B[0m\x1B[31m'\x1B[0m\n"
                           "\x1B[32m+WHERE Status = '\x1B[7mO\x1B[0m\x1B[32m'\x1B[0m\x1B[1;35;47m\u27E8U+202E\u27E9"
                           "\x1B[0m\x1B[32m\x1B[0m\n"));
  // Without colour the markers stay and no escape sequence is written.
  EXPECT_EQ(UnifiedDiff(Gold, Local, QStringLiteral("g"), QStringLiteral("l"), TUnifiedDiffOptions{3, true, false}),
            QStringLiteral("--- g\n+++ l\n@@ -1,2 +1,2 @@\n SELECT 1\n-WHERE Status = 'C'\n"
                           "+WHERE Status = 'O'\u27E8U+202E\u27E9\n"));
}

TEST(HtmlDiffTest, NumbersFitTheirDigitsCodeWrapsBetweenWordsAndHiddenCharactersShow) {
  const QStringList Gold = NumberedLines(QStringLiteral("SELECT "), 120);
  QStringList Local = Gold;
  Local[99] = QStringLiteral("SELECT 100 -- \u202E ;nimdA");
  const QString Html = HtmlSideBySideDiff(Gold.join(u'\n'), Local.join(u'\n'), QStringLiteral("Gold standard, version 7"),
                                          QStringLiteral("Local, Shop on sql01"));
  // Column widths come from the column group, not from a header cell spanning two columns.
  EXPECT_TRUE(Html.startsWith(QStringLiteral("<table class=\"diff\"><colgroup><col style=\"width: calc(3ch + 8px)\"><col>"
                                             "<col style=\"width: calc(3ch + 8px)\"><col></colgroup>\n<tr><th></th>"
                                             "<th>Gold standard, version 7</th><th></th><th>Local, Shop on sql01</th></tr>")))
      << Html.left(400).toStdString();
  EXPECT_FALSE(Html.contains(QStringLiteral("colspan")));
  EXPECT_TRUE(Html.contains(QStringLiteral(
      "<tr class=\"modify\"><td class=\"no\">100</td><td class=\"text\">SELECT 100</td><td class=\"no hidden\" "
      "title=\"This line holds hidden characters\">100</td><td class=\"text\">SELECT 100<span class=\"chg\"> -- </span>"
      "<span class=\"chg\"><span class=\"hid\">\u27E8U+202E\u27E9</span></span><span class=\"chg\"> ;nimdA</span></td>"
      "</tr>")))
      << Html.toStdString();
  EXPECT_FALSE(Html.contains(QChar(0x202E)));

  const QString Style = HtmlDiffStyle();
  EXPECT_TRUE(Style.contains(QStringLiteral("overflow-wrap: break-word")));
  EXPECT_FALSE(Style.contains(QStringLiteral("break-all")));
  EXPECT_TRUE(HtmlDiffLegend(QStringLiteral("gold"), QStringLiteral("local")).contains(QStringLiteral("Only on the gold side")));
  EXPECT_EQ(HtmlText(QStringLiteral("<b>\u2028")), QStringLiteral("&lt;b&gt;\u27E8U+2028\u27E9"));
}

}  // namespace
}  // namespace quillon
