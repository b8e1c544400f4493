#include "gui/Component.DiffGrid.h"
#include "gui/Component.DiffLegend.h"
#include "diff/Diff.Display.h"
#include "gui/GuiTest.h"
#include "support/GuiApplicationTest.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QStringConverter>
#include <QTemporaryDir>

namespace quillon {
namespace {

// One grid row as "number|text|number|text".
QString Row(const TDiffGrid& AGrid, qint32 ARow) {
  QStringList Cells;
  for (qint32 Col = 0; Col < AGrid.ColCount(); ++Col)
    Cells << AGrid.Cells(Col, ARow);
  return Cells.join(u'|');
}

QStringList Rows(const TDiffGrid& AGrid) {
  QStringList Result;
  for (qint32 r = 0; r < AGrid.RowCount(); ++r)
    Result << Row(AGrid, r);
  return Result;
}

// A colour as painted, in HTML notation: system colours resolve through the palette.
QString Html(TColor AColor) {
  return TColorCalculator::HtmlColor(QColorToColor(ColorToQColor(AColor)));
}

// The backgrounds of one row's four cells.
QStringList RowColors(const TDiffGrid& AGrid, qint32 ARow, bool ASelected = false) {
  QStringList Result;
  for (qint32 Col = 0; Col < AGrid.ColCount(); ++Col)
    Result << Html(AGrid.CellColor(Col, ARow, ASelected));
  return Result;
}

class DiffGrid : public test::TGuiTest {
protected:
  void SetUp() override {
    Grid.setFrameShape(QFrame::NoFrame);
    Grid.resize(600, 300);
    Grid.show();
    Grid.SetLeftHeader(QStringLiteral("Gold standard definition"));
    Grid.SetRightHeader(QStringLiteral("Local object definition"));
  }

  // The colour painted in the middle of the empty part of a data cell.
  QString PaintedColor(qint32 ACol, qint32 ARow) {
    const QImage Image = Grid.viewport()->grab().toImage();
    const QRect Cell = Grid.visualRect(Grid.model()->index(ARow - 1, ACol));
    // Text columns are left-aligned and number columns right-aligned, so the other end is bare.
    const qint32 X = (ACol == 1 || ACol == 3) ? Cell.right() - 3 : Cell.left() + 3;
    return TColorCalculator::HtmlColor(QColorToColor(Image.pixelColor(X, Cell.center().y())));
  }

  // The colour painted near the top of a text cell at the given display column, where a
  // glyph leaves the background bare.
  QString PaintedColumnColor(qint32 ACol, qint32 ARow, qint32 AColumn) {
    QCoreApplication::processEvents();
    const QImage Image = Grid.viewport()->grab().toImage();
    const QRect Cell = Grid.visualRect(Grid.model()->index(ARow - 1, ACol));
    const qreal Width = QFontMetricsF(Grid.font()).horizontalAdvance(QLatin1Char('M'));
    const auto X = static_cast<qint32>(Cell.left() + 2 + AColumn * Width - Grid.TextOffset() + 1.5);
    return TColorCalculator::HtmlColor(QColorToColor(Image.pixelColor(X, Cell.top() + 1)));
  }

  TDiffGrid Grid;
  const QString Fixed = Html(clBtnFace);
};

// The routine of 141 lines whose 71st line is long and changed only near its end.
struct TLongLinePair {
  QString Left;
  QString Right;
  QString LongLine;
  qint32 ChangedColumn;
};

TLongLinePair LongLinePair() {
  QStringList Lines;
  for (int i = 0; i < 141; ++i)
    Lines << QStringLiteral("  SELECT c%1 FROM t;").arg(i);
  TLongLinePair Pair;
  Pair.LongLine = QStringLiteral("  UPDATE sales.Orders SET Total = Total * 1.13 WHERE OrderId IN (") +
                  QStringLiteral("1, ").repeated(110) + QStringLiteral("0) AND Status = '");
  Pair.ChangedColumn = static_cast<qint32>(Pair.LongLine.size());
  Lines[70] = Pair.LongLine + QStringLiteral("C';");
  Pair.Left = Lines.join(u'\n');
  Lines[70] = Pair.LongLine + QStringLiteral("O';");
  Pair.Right = Lines.join(u'\n');
  return Pair;
}

TEST_F(DiffGrid, CompareAlignsTheLinesAndColoursEachRowByItsChange) {
  Grid.SetLeft(QStringLiteral("a\nb\nc\nd"));
  Grid.SetRight(QStringLiteral("a\nx\nc\nnew\nd"));
  Grid.Compare();
  EXPECT_EQ(Rows(Grid), (QStringList{
                            QStringLiteral("|Gold standard definition||Local object definition"),
                            QStringLiteral("1|a|1|a"),
                            QStringLiteral("2|b|2|x"),
                            QStringLiteral("3|c|3|c"),
                            QStringLiteral("||4|new"),
                            QStringLiteral("4|d|5|d"),
                        }));
  EXPECT_EQ(RowColors(Grid, 0), (QStringList{Fixed, Fixed, Fixed, Fixed}));
  EXPECT_EQ(RowColors(Grid, 1), (QStringList{Fixed, Html(TDiffGrid::clUnchanged), Fixed, Html(TDiffGrid::clUnchanged)}));
  EXPECT_EQ(RowColors(Grid, 2), (QStringList{Fixed, "#DCF1B5", Fixed, "#DCF1B5"}));
  EXPECT_EQ(RowColors(Grid, 4), (QStringList{Fixed, "#B4EFEB", Fixed, "#B4EFEB"}));

  // The painted cells show those colours.
  EXPECT_EQ(PaintedColor(1, 2), QStringLiteral("#DCF1B5"));
  EXPECT_EQ(PaintedColor(3, 4), QStringLiteral("#B4EFEB"));
  EXPECT_EQ(PaintedColor(2, 2), Fixed);
}

TEST_F(DiffGrid, DeletedLinesLeaveTheRightColumnsEmpty) {
  Grid.SetLeft(QStringLiteral("a\ngone\nb"));
  Grid.SetRight(QStringLiteral("a\nb"));
  Grid.Compare();
  EXPECT_EQ(Row(Grid, 2), QStringLiteral("2|gone||"));
  EXPECT_EQ(RowColors(Grid, 2), (QStringList{Fixed, "#FEC0C2", Fixed, "#FEC0C2"}));
  EXPECT_EQ(PaintedColor(3, 2), QStringLiteral("#FEC0C2"));
}

TEST_F(DiffGrid, SelectingARowBlendsOnlyItsColouredCells) {
  Grid.SetLeft(QStringLiteral("a\nb\nc"));
  Grid.SetRight(QStringLiteral("a\nx\nc"));
  Grid.Compare();
  // Halfway from the modify colour RGB(220, 241, 181) toward RGB(255, 224, 192).
  EXPECT_EQ(RowColors(Grid, 2, true), (QStringList{Fixed, "#EEE9BB", Fixed, "#EEE9BB"}));
  EXPECT_EQ(RowColors(Grid, 1, true), (QStringList{Fixed, "#FFEFDF", Fixed, "#FFEFDF"}));
  Grid.selectRow(1);
  EXPECT_EQ(PaintedColor(1, 2), QStringLiteral("#EEE9BB"));
  EXPECT_EQ(PaintedColor(2, 2), Fixed);
  EXPECT_EQ(PaintedColor(1, 1), Html(TDiffGrid::clUnchanged));
}

TEST_F(DiffGrid, DefaultOptionsIgnoreCaseAndBlanksButEachSideShowsItsOwnText) {
  Grid.SetLeft(QStringLiteral("SELECT a,\tb\nFROM t"));
  Grid.SetRight(QStringLiteral("select a, b\nfrom  t"));
  Grid.Compare();
  EXPECT_EQ(Rows(Grid).mid(1), (QStringList{QStringLiteral("1|SELECT a,\tb|1|select a, b"),
                                            QStringLiteral("2|FROM t|2|from  t")}));
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{2, 0, 0, 0}));

  // Changing an option drops the aligned result until the next Compare.
  Grid.SetIgnoreCase(false);
  EXPECT_EQ(Grid.RowCount(), 2);
  EXPECT_EQ(Grid.Differ().Count(), 0);
  Grid.Compare();
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{0, 0, 0, 2}));
  Grid.SetIgnoreCase(true);
  Grid.SetIgnoreWhiteSpace(false);
  Grid.Compare();
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{0, 0, 0, 2}));
}

TEST_F(DiffGrid, AnEmptySideIsNeverCompared) {
  Grid.SetLeft(QString());
  Grid.SetRight(QStringLiteral("x\ny"));
  Grid.Compare();
  EXPECT_EQ(Rows(Grid), (QStringList{QStringLiteral("|||"), QStringLiteral("||1|x"), QStringLiteral("||2|y")}));
  const QString White = Html(clWhite);
  EXPECT_EQ(RowColors(Grid, 1), (QStringList{White, White, White, White}));
  EXPECT_EQ(RowColors(Grid, 0), (QStringList{Fixed, Fixed, Fixed, Fixed}));
  EXPECT_EQ(PaintedColor(3, 2), White);
}

TEST_F(DiffGrid, SettingATextShowsBothSidesUnalignedAgain) {
  Grid.SetLeft(QStringLiteral("a\nb"));
  Grid.SetRight(QStringLiteral("b\nc\nd"));
  Grid.Compare();
  ASSERT_EQ(Grid.Differ().Count(), 4);
  Grid.SetLeft(QStringLiteral("p\nq"));
  EXPECT_EQ(Grid.Differ().Count(), 0);
  EXPECT_EQ(Rows(Grid).mid(1), (QStringList{QStringLiteral("1|p|1|b"), QStringLiteral("2|q|2|c"),
                                            QStringLiteral("||3|d")}));
}

TEST_F(DiffGrid, LineBreaksOfEveryKindSplitTheText) {
  struct TCase {
    QString Text;
    QStringList Lines;
  } const Cases[] = {
      {QStringLiteral("a\r\nb\rc\nd"), {"a", "b", "c", "d"}},
      {QStringLiteral("a\n"), {"a"}},
      {QStringLiteral("\n\n"), {"", ""}},
      {QStringLiteral("a\r\n\r\nb\r"), {"a", "", "b"}},
      {QStringLiteral("\r"), {""}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Text.toStdString());
    Grid.SetLeft(C.Text);
    QStringList Lines;
    for (qint32 r = 1; r < Grid.RowCount(); ++r)
      Lines << Grid.Cells(1, r);
    EXPECT_EQ(Lines, C.Lines);
  }
}

TEST_F(DiffGrid, TextsOfOnlyLineBreaksCompareLineByLine) {
  Grid.SetLeft(QStringLiteral("\n\n\n"));
  Grid.SetRight(QStringLiteral("\r\n\r\n"));
  Grid.Compare();
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{2, 0, 1, 0}));
  EXPECT_EQ(Row(Grid, 1), QStringLiteral("1|||"));
  EXPECT_EQ(Row(Grid, 3), QStringLiteral("3||2|"));
}

TEST_F(DiffGrid, TextColumnsShareTheWidthLeftByTheNumberColumns) {
  ASSERT_EQ(Grid.ClientWidth(), 600);
  EXPECT_EQ(Grid.ColWidths(0), 40);
  EXPECT_EQ(Grid.ColWidths(2), 40);
  EXPECT_EQ(Grid.ColWidths(1), 257);
  EXPECT_EQ(Grid.ColWidths(3), 257);
  // A result with many rows brings the scroll bar, and the columns make room for it.
  QString Many;
  for (int i = 0; i < 200; ++i)
    Many += QStringLiteral("line %1\n").arg(i);
  Grid.SetLeft(Many);
  QCoreApplication::processEvents();
  EXPECT_LT(Grid.ClientWidth(), 600);
  EXPECT_EQ(Grid.ColWidths(1), (Grid.ClientWidth() - 85) / 2);
  EXPECT_EQ(Grid.verticalHeader()->defaultSectionSize(), Grid.DefaultRowHeight());
  EXPECT_GT(Grid.DefaultRowHeight(), Grid.fontMetrics().ascent());
}

// An underscore lies lowest of all characters: a cell that cut its text short would lose it.
TEST_F(DiffGrid, TextIsPaintedWholeDownToAnUnderscore) {
  Grid.SetLeft(QStringLiteral("________"));
  Grid.SetRight(QStringLiteral("________"));
  Grid.Compare();
  QCoreApplication::processEvents();
  const QImage Image = Grid.viewport()->grab().toImage();
  const QRect Cell = Grid.visualRect(Grid.model()->index(0, 1));
  const QColor Background = Image.pixelColor(Cell.right() - 3, Cell.center().y());
  qint32 Inked = 0;
  for (qint32 Y = Cell.top(); Y <= Cell.bottom(); ++Y)
    for (qint32 X = Cell.left(); X < Cell.left() + Cell.width() / 2; ++X)
      Inked += Image.pixelColor(X, Y) != Background ? 1 : 0;
  EXPECT_GT(Inked, 0);
}

TEST_F(DiffGrid, OpenFileReadsTextFilesAndIgnoresMissingOnes) {
  QTemporaryDir Folder;
  ASSERT_TRUE(Folder.isValid());
  const auto WriteFile = [&](const QString& AName, const QByteArray& ABytes) {
    QFile File(Folder.filePath(AName));
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(ABytes);
    return File.fileName();
  };
  QStringEncoder Utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
  const QString Greek = QString::fromUtf8("\xCE\xB1\xCE\xB2\xCE\xB3 \xE2\x82\xAC");
  const QByteArray Utf16Bytes = Utf16.encode(QStringLiteral("one\r\n") + Greek + QStringLiteral("\r\n"));
  struct TCase {
    QString File;
    QStringList Lines;
  } const Cases[] = {
      {WriteFile("utf8.sql", "one\n" + Greek.toUtf8() + "\n"), {"one", Greek}},
      {WriteFile("bom.sql", "\xEF\xBB\xBFone\n"), {"one"}},
      {WriteFile("utf16.sql", Utf16Bytes), {"one", Greek}},
      {WriteFile("latin1.sql", "bl\xE5\n"), {QString::fromUtf8("bl\xC3\xA5")}},
      {WriteFile("empty.sql", ""), {}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File.toStdString());
    Grid.OpenLeftFile(C.File);
    Grid.OpenRightFile(C.File);
    QStringList Left;
    QStringList Right;
    for (qint32 r = 1; r < Grid.RowCount(); ++r) {
      Left << Grid.Cells(1, r);
      Right << Grid.Cells(3, r);
    }
    if (C.Lines.isEmpty()) {
      EXPECT_EQ(Rows(Grid).mid(1), QStringList{QStringLiteral("|||")});
    } else {
      EXPECT_EQ(Left, C.Lines);
      EXPECT_EQ(Right, C.Lines);
    }
  }

  Grid.OpenLeftFile(Cases[0].File);
  Grid.OpenRightFile(Cases[2].File);
  Grid.Compare();
  const QStringList Before = Rows(Grid);
  Grid.OpenLeftFile(Folder.filePath("missing.sql"));
  Grid.OpenRightFile(Folder.path());
  Grid.OpenRightFile(QString());
  EXPECT_EQ(Rows(Grid), Before);
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{2, 0, 0, 0}));
}

TEST_F(DiffGrid, VeryLongLinesAndCharactersBeyondLatin1ArePaintedAndCompared) {
  const QString Long = QString(200000, u'x');
  const QString Wide = QString::fromUtf8("\xF0\x9F\x98\x80 \xE4\xB8\x80");
  Grid.SetLeft(Long + u'\n' + Wide + QChar(0x0141));
  Grid.SetRight(Long + u'\n' + Wide + QChar(0x0241));
  Grid.Compare();
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{1, 0, 0, 1}));
  EXPECT_EQ(Grid.Cells(1, 1).size(), Long.size());
  EXPECT_EQ(PaintedColor(1, 2), QStringLiteral("#DCF1B5"));
}

TEST_F(DiffGrid, ALongChangedLineScrollsToItsMarkedDifference) {
  const TLongLinePair Pair = LongLinePair();
  Grid.SetLeft(Pair.Left);
  Grid.SetRight(Pair.Right);
  Grid.Compare();
  QCoreApplication::processEvents();
  EXPECT_TRUE(Grid.horizontalScrollBar()->isVisible());
  EXPECT_EQ(Grid.ChangedRanges(1, 71), (QList<TTextRange>{{Pair.ChangedColumn, 1}}));
  EXPECT_EQ(Grid.ChangedRanges(3, 71), (QList<TTextRange>{{Pair.ChangedColumn, 1}}));
  EXPECT_TRUE(Grid.ChangedRanges(1, 70).isEmpty());

  ASSERT_TRUE(Grid.NextChange());
  EXPECT_EQ(Grid.currentIndex().row() + 1, 71);
  EXPECT_GT(Grid.TextOffset(), 0);
  // Both sides show the changed character in the stronger tone, and the quote beside it in
  // the row's own colour.
  const QString SelectedMark = Html(TColorCalculator::BlendColors(TDiffGrid::clModifiedMark, TDiffGrid::clSelectedTint, 50));
  EXPECT_EQ(PaintedColumnColor(1, 71, Pair.ChangedColumn), SelectedMark);
  EXPECT_EQ(PaintedColumnColor(3, 71, Pair.ChangedColumn), SelectedMark);
  EXPECT_EQ(PaintedColumnColor(3, 71, Pair.ChangedColumn + 2), QStringLiteral("#EEE9BB"));
  EXPECT_FALSE(Grid.NextChange());

  // The tip shows the cut-off line whole; a line that fits needs none.
  EXPECT_TRUE(Grid.CellTip(3, 71).contains(Pair.LongLine.trimmed() + QStringLiteral("O&#x27;;")) ||
              Grid.CellTip(3, 71).contains(Pair.LongLine.trimmed() + QStringLiteral("O';")))
      << Grid.CellTip(3, 71).toStdString();
  Grid.SetTextOffset(0);
  EXPECT_EQ(Grid.CellTip(3, 2), QString());

  // A legend above the grid, as the main window shows it, for a person to look at.
  QWidget Window;
  auto* Layout = new QVBoxLayout(&Window);
  auto* Legend = new TDiffLegend(&Window);
  Legend->SetSideNames(QStringLiteral("gold"), QStringLiteral("local"));
  Layout->addWidget(Legend);
  Grid.setParent(&Window);
  Layout->addWidget(&Grid);
  Window.resize(900, 360);
  Window.show();
  Grid.setCurrentIndex(QModelIndex());
  ASSERT_TRUE(Grid.NextChange());
  QStringList LegendTexts;
  for (const QLabel* Label : Legend->findChildren<QLabel*>())
    LegendTexts << Label->text();
  EXPECT_TRUE(LegendTexts.contains(QStringLiteral("Only on the gold side"))) << LegendTexts.join(u',').toStdString();
  EXPECT_TRUE(LegendTexts.contains(QStringLiteral("Only on the local side")));
  test::SaveScreenshot(Window, QStringLiteral("diffgrid_long_line_scrolled_with_legend"));
  Grid.setParent(nullptr);
}

TEST_F(DiffGrid, BothSidesScrollTogetherByBarWheelAndArrowKeys) {
  Grid.SetLeft(QStringLiteral("short"));
  Grid.SetRight(QStringLiteral("short"));
  Grid.Compare();
  QCoreApplication::processEvents();
  EXPECT_EQ(Grid.horizontalScrollBar()->maximum(), 0);

  const QString Long = QString(300, u'a') + QStringLiteral(" end");
  Grid.SetLeft(Long);
  Grid.SetRight(QStringLiteral("x"));
  Grid.Compare();
  QCoreApplication::processEvents();
  const qreal Width = QFontMetricsF(Grid.font()).horizontalAdvance(QLatin1Char('M'));
  EXPECT_EQ(Grid.horizontalScrollBar()->maximum(),
            static_cast<qint32>(std::ceil(Long.size() * Width)) - (Grid.ColWidths(1) - 4));

  QTest::keyClick(&Grid, Qt::Key_Right);
  const qint32 Step = Grid.TextOffset();
  EXPECT_GT(Step, 0);
  QTest::keyClick(&Grid, Qt::Key_Left);
  EXPECT_EQ(Grid.TextOffset(), 0);

  QWheelEvent Wheel(QPointF(50, 20), Grid.viewport()->mapToGlobal(QPointF(50, 20)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(Grid.viewport(), &Wheel);
  EXPECT_EQ(Grid.TextOffset(), 3 * Step);

  // Scrolled, the columns stay where they are and the text moves in both of them: the row
  // still reads from the number column at the left edge.
  Grid.horizontalScrollBar()->setValue(Grid.horizontalScrollBar()->maximum());
  QCoreApplication::processEvents();
  EXPECT_EQ(Grid.visualRect(Grid.model()->index(0, 0)).left(), 0);
  EXPECT_EQ(Grid.indexAt(QPoint(5, 5)).column(), 0);
  EXPECT_EQ(Row(Grid, 1), QStringLiteral("1|") + Long + QStringLiteral("|1|x"));
}

TEST_F(DiffGrid, NextAndPreviousChangeStepThroughRunsOfChangedRows) {
  Grid.SetLeft(QStringLiteral("a\nb\nc\nd\ne\nf\ng"));
  Grid.SetRight(QStringLiteral("a\nB1\nC1\nd\ne\nF1\ng"));
  Grid.Compare();
  Grid.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Grid));
  Grid.setFocus();
  const auto CurrentRow = [this] { return Grid.currentIndex().row() + 1; };
  QTest::keyClick(&Grid, Qt::Key_F8);
  EXPECT_EQ(CurrentRow(), 2);
  QTest::keyClick(&Grid, Qt::Key_F8);
  EXPECT_EQ(CurrentRow(), 6);
  EXPECT_FALSE(Grid.NextChange());
  EXPECT_EQ(CurrentRow(), 6);
  QTest::keyClick(&Grid, Qt::Key_F8, Qt::ShiftModifier);
  EXPECT_EQ(CurrentRow(), 2);
  EXPECT_FALSE(Grid.PreviousChange());
  Grid.NextChangeAction()->trigger();
  EXPECT_EQ(CurrentRow(), 6);
}

TEST_F(DiffGrid, HiddenCharactersAreShownAsMarkersAndStillCompared) {
  const QString Hidden = QStringLiteral("IF @IsAdmin = 1 \u202E -- }\u2066 ;BEGIN");
  Grid.SetLeft(QStringLiteral("SELECT 1\nIF @IsAdmin = 1 -- ;BEGIN"));
  Grid.SetRight(QStringLiteral("SELECT 1\n") + Hidden);
  Grid.Compare();
  EXPECT_EQ(Grid.Cells(3, 2), Hidden);
  EXPECT_EQ(Grid.Differ().DiffStats(), (TDiffStats{1, 0, 0, 1}));
  EXPECT_TRUE(Grid.HasHiddenCharacter(3, 2));
  EXPECT_FALSE(Grid.HasHiddenCharacter(1, 2));
  EXPECT_EQ(Html(Grid.CellColor(2, 2, false)), Html(TDiffGrid::clHiddenMark));
  EXPECT_EQ(Html(Grid.CellColor(0, 2, false)), Fixed);
  const qint32 MarkerColumn = DisplayColumns(Hidden.left(Hidden.indexOf(QChar(0x202E))), TDiffGrid::TabWidth);
  EXPECT_EQ(PaintedColumnColor(3, 2, MarkerColumn), Html(TDiffGrid::clHiddenMark));
  EXPECT_TRUE(Grid.CellTip(3, 2).contains(QStringLiteral("\u27E8U+202E\u27E9"))) << Grid.CellTip(3, 2).toStdString();
  Grid.resize(900, 120);
  test::SaveScreenshot(Grid, QStringLiteral("diffgrid_bidi_control"));
}

// Texts a reviewer might be handed on purpose: none may hang the grid, crash it or mark
// differently from one run to the next.
TEST_F(DiffGrid, BadInputIsShownWithTheSameMarksEveryTime) {
  QString ManyLeft;
  QString ManyRight;
  for (int i = 0; i < 100000; ++i) {
    ManyLeft += QStringLiteral("SELECT %1 FROM t%1\n").arg(i);
    ManyRight += QStringLiteral("SELECT %1 FROM u%1\n").arg(i);
  }
  const QString Megabyte = QStringLiteral("x = 1 ").repeated(175000);
  struct TCase {
    const char* Name;
    QString Left;
    QString Right;
  } const Cases[] = {
      {"lines of a megabyte", Megabyte + QStringLiteral("'C'\n") + Megabyte, Megabyte + QStringLiteral("'O'\n") + Megabyte + u'y'},
      {"only control characters", QStringLiteral("\x01\x02\x03\n\x1B[31m"), QStringLiteral("\x01\x02\n\x1B[32m")},
      {"mixed line endings", QStringLiteral("a\r\nb\nc\rd"), QStringLiteral("a\nx\r\nc\rd")},
      {"a lone surrogate", QStringLiteral("N'") + QChar(0xD83D) + QStringLiteral("'\nx"), QStringLiteral("N'") + QChar(0xDE00) + QStringLiteral("'\nx")},
      {"100,000 lines that all differ", ManyLeft, ManyRight},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    QList<QList<TTextRange>> Runs[2];
    for (auto& Marks : Runs) {
      Grid.SetLeft(C.Left);
      Grid.SetRight(C.Right);
      Grid.Compare();
      for (qint32 Row = 1; Row < Grid.RowCount(); ++Row)
        Marks << Grid.ChangedRanges(1, Row) << Grid.ChangedRanges(3, Row);
      ASSERT_TRUE(Grid.NextChange());
      Grid.viewport()->grab();
      EXPECT_FALSE(Grid.CellTip(3, Grid.currentIndex().row() + 1).contains(QChar(0x202E)));
    }
    EXPECT_EQ(Runs[0], Runs[1]);
  }
  EXPECT_EQ(Grid.ChangedRanges(3, 1), (QList<TTextRange>{{14, 2}}));
  EXPECT_EQ(Grid.ChangedRanges(1, 1), (QList<TTextRange>{{14, 2}}));
}

}  // namespace
}  // namespace quillon
