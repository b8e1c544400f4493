#include "diff/Component.DiffGrid.h"
#include "diff/GuiTest.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QImage>
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

  TDiffGrid Grid;
  const QString Fixed = Html(clBtnFace);
};

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
    Grid.OpenFile1(C.File);
    Grid.OpenFile2(C.File);
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

  Grid.OpenFile1(Cases[0].File);
  Grid.OpenFile2(Cases[2].File);
  Grid.Compare();
  const QStringList Before = Rows(Grid);
  Grid.OpenFile1(Folder.filePath("missing.sql"));
  Grid.OpenFile2(Folder.path());
  Grid.OpenFile2(QString());
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

}  // namespace
}  // namespace quillon
