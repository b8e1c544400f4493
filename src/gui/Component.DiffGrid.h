// The diff grid: two texts side by side, aligned line by line and coloured by change.
#pragma once

#include "diff/Diff.h"
#include "diff/Diff.IntraLine.h"
#include "gui/VclUtil.ColorCalculator.h"

#include <QStringList>
#include <QTableView>

#include <memory>
#include <vector>

class QAction;

namespace quillon {

class TDiffGridModel;

// Two texts side by side in four columns (left line number, left line, right line number,
// right line), aligned line by line after Compare, each row coloured by what happened to
// it. Row 0 is the header row (shown as the grid's column header); data rows are 1 … n.
// Within a modified row the changed tokens are marked in a stronger tone, hidden characters
// are shown as markers, and both text columns scroll sideways together.
class TDiffGrid : public QTableView {
  Q_OBJECT

public:
  static constexpr TColor clUnchanged = RGB(255, 255, 255);
  static constexpr TColor clAdded = RGB(180, 239, 235);
  static constexpr TColor clDeleted = RGB(254, 192, 194);
  static constexpr TColor clModified = RGB(220, 241, 181);
  static constexpr TColor clAddedMark = RGB(94, 201, 193);
  static constexpr TColor clDeletedMark = RGB(243, 124, 130);
  static constexpr TColor clModifiedMark = RGB(163, 212, 80);
  static constexpr TColor clHiddenMark = RGB(255, 214, 92);
  static constexpr TColor clHiddenText = RGB(128, 0, 128);
  static constexpr TColor clSelectedTint = RGB(255, 224, 192);
  static constexpr TColor clNumberText = clNavy;
  static constexpr TColor clLineText = clBlack;
  static constexpr qint32 NumberColWidth = 40;
  static constexpr qint32 TabWidth = 8;

  explicit TDiffGrid(QWidget* AParent = nullptr);
  ~TDiffGrid() override;

  // Replace one side's text (line breaks CR, LF or CR LF) and show both texts unaligned.
  void SetLeft(const QString& AText);
  void SetRight(const QString& AText);
  // The same from a file; a missing file changes nothing.
  void OpenLeftFile(const QString& ALeftFile);
  void OpenRightFile(const QString& ARightFile);
  // Diffs the two sides and shows one row per result record. Does nothing while either
  // side is empty.
  void Compare();
  // Selects the first row of the next (previous) run of changed rows and scrolls its first
  // changed characters into view; false when there is none.
  bool NextChange();
  bool PreviousChange();
  // F8 and Shift+F8 while the grid has the focus; a toolbar may show them as buttons.
  QAction* NextChangeAction() const { return fNextChangeAction; }
  QAction* PreviousChangeAction() const { return fPreviousChangeAction; }
  // The text columns' sideways scroll, in pixels, shared by both sides.
  qint32 TextOffset() const;
  void SetTextOffset(qint32 Value);
  // The changed ranges of a data row's line on one side (ACol 1 or 3); empty unless the row
  // is modified.
  QList<TTextRange> ChangedRanges(qint32 ACol, qint32 ARow) const;
  // Whether a data row's line on one side holds a hidden character.
  bool HasHiddenCharacter(qint32 ACol, qint32 ARow) const;
  // The tip a text cell shows: the whole line, hidden characters as markers; empty when
  // the line fits its column.
  QString CellTip(qint32 ACol, qint32 ARow) const;

  // Row height from the font, and the text columns sharing the width left over.
  void RealignCols();

  bool IgnoreCase() const { return fIgnoreCase; }
  void SetIgnoreCase(bool Value);
  bool IgnoreWhiteSpace() const { return fIgnoreWhiteSpace; }
  void SetIgnoreWhiteSpace(bool Value);
  // Whether Compare marks the changed tokens of modified rows (on by default).
  bool MarkChangedCharacters() const { return fMarkChangedCharacters; }
  void SetMarkChangedCharacters(bool Value) { fMarkChangedCharacters = Value; }
  QString LeftHeader() const { return fLeftHeader; }
  void SetLeftHeader(const QString& Value) { fLeftHeader = Value; }
  QString RightHeader() const { return fRightHeader; }
  void SetRightHeader(const QString& Value) { fRightHeader = Value; }

  qint32 RowCount() const;
  qint32 ColCount() const { return 4; }
  QString Cells(qint32 ACol, qint32 ARow) const;
  qint32 ColWidths(qint32 ACol) const;
  qint32 DefaultRowHeight() const { return fRowHeight; }
  qint32 ClientWidth() const;
  TColor FixedColor() const { return clBtnFace; }
  const TDiff& Differ() const { return *fDiffer; }
  // The background DrawDiffCell paints for a cell.
  TColor CellColor(qint32 ACol, qint32 ARow, bool ASelected) const;
  // Paints one cell, header row included: the grid draws none by itself.
  void DrawDiffCell(QPainter& APainter, qint32 ACol, qint32 ARow, const QRect& ARect, bool ASelected) const;

protected:
  bool viewportEvent(QEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void wheelEvent(QWheelEvent* AEvent) override;
  void updateGeometries() override;
  void scrollContentsBy(int ADx, int ADy) override;
  int horizontalOffset() const override;
  void changeEvent(QEvent* AEvent) override;

private:
  enum TSide { sdLeft = 1, sdRight = 2, sdBoth = 3 };
  // Without a diff result both texts stand unaligned, each row showing line r of each side.
  struct TRow {
    qint32 Left;
    qint32 Right;
  };

  void ClearSides(TSide ASides);
  void ClearResult();
  void RehashSides(TSide ASides);
  void ShowText(TSide ASide);
  void ShowLeftText() { ShowText(sdLeft); }
  void ShowRightText() { ShowText(sdRight); }
  void OpenFile(const QString& AFileName, TSide ASide);
  void SetRows(std::vector<TRow> ARows, std::vector<TIntraLineMarks> AMarks = {});
  void MeasureSide(TSide ASide);
  qreal CharWidth() const;
  TChangeKind RowKind(qint32 ARow) const;
  bool SelectChange(qint32 AFromRow, qint32 AStep);
  const QString* LineAt(qint32 ACol, qint32 ARow) const;
  void DrawLine(QPainter& APainter, qint32 ACol, qint32 ARow, const QRect& ATextRect, bool ASelected) const;

  std::unique_ptr<TDiff> fDiffer;
  QStringList fSourceLeft;
  QStringList fSourceRight;
  std::vector<qint32> fHashListLeft;
  std::vector<qint32> fHashListRight;
  bool fIgnoreCase = true;
  bool fIgnoreWhiteSpace = true;
  QString fLeftHeader;
  QString fRightHeader;
  bool fComparing = false;
  bool fMarkChangedCharacters = true;

  std::vector<TRow> fRows;
  // Per data row, the changed ranges of a modified row's two lines.
  std::vector<TIntraLineMarks> fRowMarks;
  TIntraLineDiff fIntraLineDiff;
  // Per side, the display columns of its widest line and which of its lines hold a hidden
  // character, taken once when the text is set.
  qint32 fWidestLeft = 0;
  qint32 fWidestRight = 0;
  std::vector<bool> fHiddenLeft;
  std::vector<bool> fHiddenRight;
  QAction* fNextChangeAction;
  QAction* fPreviousChangeAction;
  QString fHeaderCells[4];
  qint32 fRowHeight = 0;
  TDiffGridModel* fModel;
};

}  // namespace quillon
