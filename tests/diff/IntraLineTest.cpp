#include "diff/Diff.Display.h"
#include "diff/Diff.IntraLine.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

// The line with each marked range in brackets.
QString Bracketed(const QString& ALine, const QList<TTextRange>& ARanges) {
  QString Result = ALine;
  for (auto Range = ARanges.crbegin(); Range != ARanges.crend(); ++Range) {
    Result.insert(Range->Start + Range->Length, u']');
    Result.insert(Range->Start, u'[');
  }
  return Result;
}

struct TMarkCase {
  const char* Name;
  QString Left;
  QString Right;
  QString MarkedLeft;
  QString MarkedRight;
};

TEST(IntraLineMarks, MarkTheTokensThatDiffer) {
  const QString Smile = QString::fromUtf8("\xF0\x9F\x98\x80");
  const QString Grin = QString::fromUtf8("\xF0\x9F\x98\x81");
  const QString Prefix400 = QStringLiteral("UPDATE sales.Orders SET Total = Total * 1.13 WHERE ") + QString(340, u'x');
  const TMarkCase Cases[] = {
      {"one character in quotes", "WHERE Status = 'C'", "WHERE Status = 'O'", "WHERE Status = '[C]'",
       "WHERE Status = '[O]'"},
      {"a word", "SET Total = Total * 1.13", "SET Price = Total * 1.13", "SET [Total] = Total * 1.13",
       "SET [Price] = Total * 1.13"},
      {"a number after a dot", "x * 1.13", "x * 1.15", "x * 1.[13]", "x * 1.[15]"},
      {"a longer word is a different word", "Total", "Totals", "[Total]", "[Totals]"},
      {"insertion at the start", "SELECT 1", "  SELECT 1", "SELECT 1", "[  ]SELECT 1"},
      {"insertion at the end", "RETURN 0", "RETURN 0;", "RETURN 0", "RETURN 0[;]"},
      {"whole line different", "BEGIN", "END", "[BEGIN]", "[END]"},
      {"a word inserted in the middle", "SELECT a FROM t", "SELECT DISTINCT a FROM t", "SELECT a FROM t",
       "SELECT [DISTINCT ]a FROM t"},
      {"outside the BMP", "N'" + Smile + "'", "N'" + Grin + "'", "N'[" + Smile + "]'", "N'[" + Grin + "]'"},
      {"lone surrogates", QStringLiteral("a") + QChar(0xD800) + u'b', QStringLiteral("a") + QChar(0xD801) + u'b',
       QStringLiteral("a[") + QChar(0xD800) + QStringLiteral("]b"),
       QStringLiteral("a[") + QChar(0xD801) + QStringLiteral("]b")},
      {"far out on a long line", Prefix400 + "'C'", Prefix400 + "'O'", Prefix400 + "'[C]'", Prefix400 + "'[O]'"},
      {"equal lines", "GO", "GO", "GO", "GO"},
  };
  TIntraLineDiff Diff;
  for (const TMarkCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TIntraLineMarks Marks = Diff.Marks(C.Left, C.Right);
    EXPECT_EQ(Bracketed(C.Left, Marks.Left), C.MarkedLeft);
    EXPECT_EQ(Bracketed(C.Right, Marks.Right), C.MarkedRight);
    // The same pair gives the same marks every time.
    EXPECT_EQ(Diff.Marks(C.Left, C.Right), Marks);
  }
}

TEST(IntraLineMarks, HugeOrHopelessPairsAreMarkedWithoutASearch) {
  TIntraLineDiff Diff;
  // A megabyte on each side with one word changed in the middle: the common ends are set aside.
  const QString Half = QStringLiteral("a ").repeated(250000);
  const TIntraLineMarks OneWord = Diff.Marks(Half + "x " + Half, Half + "y " + Half);
  EXPECT_EQ(OneWord.Left, (QList<TTextRange>{{500000, 1}}));
  EXPECT_EQ(OneWord.Right, (QList<TTextRange>{{500000, 1}}));

  // Ten megabytes that differ throughout, and more tokens than are searched: marked whole.
  const QString Xs(10'000'000, u'x');
  const QString Ys(10'000'000, u'y');
  EXPECT_EQ(Diff.Marks(Xs, Ys), (TIntraLineMarks{{{0, 10'000'000}}, {{0, 10'000'000}}}));
  const QString ManyLeft = QStringLiteral("a b ").repeated(TIntraLineDiff::MaxSearchedTokens);
  const QString ManyRight = QStringLiteral("b a ").repeated(TIntraLineDiff::MaxSearchedTokens);
  const auto Size = static_cast<qint32>(ManyLeft.size());
  EXPECT_EQ(Diff.Marks(ManyLeft, ManyRight), (TIntraLineMarks{{{0, Size - 1}}, {{0, Size - 1}}}));
}

TEST(HiddenCharacters, AreShownAsMarkersAndEverythingElseAsItIs) {
  struct TCase {
    const char* Name;
    QString Text;
    QString Shown;
  } const Cases[] = {
      {"right-to-left override", QStringLiteral("a\u202Eb"), QStringLiteral("a\u27E8U+202E\u27E9b")},
      {"isolates and marks",
       QStringLiteral("\u2066\u2069\u200E\u200F") + QChar(0x061C),
       QStringLiteral("\u27E8U+2066\u27E9\u27E8U+2069\u27E9\u27E8U+200E\u27E9\u27E8U+200F\u27E9\u27E8U+061C\u27E9")},
      {"zero width and byte-order mark", QStringLiteral("a\u200Bb\u200Dc\uFEFF"),
       QStringLiteral("a\u27E8U+200B\u27E9b\u27E8U+200D\u27E9c\u27E8U+FEFF\u27E9")},
      {"line and paragraph separators", QStringLiteral("x\u2028y\u2029"),
       QStringLiteral("x\u27E8U+2028\u27E9y\u27E8U+2029\u27E9")},
      {"C0 and C1 controls, but not tab", QStringLiteral("\x01\t\x1F\x7F") + QChar(0x85),
       QStringLiteral("\u27E8U+0001\u27E9\t\u27E8U+001F\u27E9\u27E8U+007F\u27E9\u27E8U+0085\u27E9")},
      {"a lone surrogate", QStringLiteral("a") + QChar(0xDC00), QStringLiteral("a\u27E8U+DC00\u27E9")},
      {"ordinary text beyond Latin-1", QString::fromUtf8("\xF0\x9F\x98\x80 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xC3\xA5"),
       QString::fromUtf8("\xF0\x9F\x98\x80 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xC3\xA5")},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(ShowHiddenCharacters(C.Text), C.Shown);
    EXPECT_EQ(HasHiddenCharacters(C.Text), C.Text != C.Shown);
  }
}

TEST(HiddenCharacters, SegmentsSplitAtMarksAndMarkers) {
  EXPECT_EQ(DisplaySegments(QStringLiteral("ab\u202Ecd"), {{1, 2}}),
            (QList<TDisplaySegment>{{"a", false, false},
                                    {"b", true, false},
                                    {QStringLiteral("\u27E8U+202E\u27E9"), true, true},
                                    {"cd", false, false}}));
  EXPECT_EQ(DisplaySegments(QStringLiteral("abc"), {}), (QList<TDisplaySegment>{{"abc", false, false}}));
  // Tabs stop every few columns; a marker is as wide as its text.
  EXPECT_EQ(DisplayColumns(QStringLiteral("ab\tc"), 8), 9);
  EXPECT_EQ(DisplayColumns(QStringLiteral("a\u202E"), 8), 9);
}

}  // namespace
}  // namespace quillon
