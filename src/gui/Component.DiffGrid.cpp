// The diff grid: two texts side by side, aligned line by line and coloured by change.
#include "gui/Component.DiffGrid.h"

#include "diff/Diff.Display.h"
#include "diff/HashUnit.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

namespace quillon {

namespace {

// A byte-order mark decides; otherwise UTF-8, and bytes that are not UTF-8 are Latin-1.
QString DecodeText(const QByteArray& ABytes) {
  if (const auto Encoding = QStringConverter::encodingForData(ABytes)) {
    QStringDecoder Decoder(*Encoding);
    return Decoder.decode(ABytes);
  }
  QStringDecoder Utf8(QStringConverter::Utf8);
  QString Text = Utf8.decode(ABytes);
  return Utf8.hasError() ? QString::fromLatin1(ABytes) : Text;
}

TColor KindColor(TChangeKind AKind) {
  switch (AKind) {
    case ckAdd: return TDiffGrid::clAdded;
    case ckDelete: return TDiffGrid::clDeleted;
    case ckModify: return TDiffGrid::clModified;
    case ckNone: break;
  }
  return TDiffGrid::clUnchanged;
}

TColor KindMarkColor(TChangeKind AKind) {
  switch (AKind) {
    case ckAdd: return TDiffGrid::clAddedMark;
    case ckDelete: return TDiffGrid::clDeletedMark;
    case ckModify: return TDiffGrid::clModifiedMark;
    case ckNone: break;
  }
  return TDiffGrid::clUnchanged;
}

QString ExpandTabs(const QString& AText, qint32 AStartColumn, qint32 ATabWidth) {
  if (!AText.contains(u'\t'))
    return AText;
  QString Result;
  for (const QChar Char : AText) {
    if (Char == u'\t')
      Result += QString(ATabWidth - (AStartColumn + Result.size()) % ATabWidth, u' ');
    else
      Result += Char;
  }
  return Result;
}

// A tip of a megabyte-long line would take longer to lay out than it is worth reading.
constexpr qsizetype MaxTipLength = 4000;

}  // namespace

// Serves the grid's data rows (grid row r is model row r - 1) and its header row.
class TDiffGridModel : public QAbstractTableModel {
public:
  TDiffGridModel(const TDiffGrid& AGrid, QObject* AParent) : QAbstractTableModel(AParent), FGrid(AGrid) {}

  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }

  int rowCount(const QModelIndex& AParent) const override { return AParent.isValid() ? 0 : FGrid.RowCount() - 1; }
  int columnCount(const QModelIndex& AParent) const override { return AParent.isValid() ? 0 : FGrid.ColCount(); }
  QVariant data(const QModelIndex& AIndex, int ARole) const override {
    if (ARole != Qt::DisplayRole || !AIndex.isValid())
      return QVariant();
    return FGrid.Cells(AIndex.column(), AIndex.row() + 1);
  }
  QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override {
    if (ARole != Qt::DisplayRole || AOrientation != Qt::Horizontal)
      return QVariant();
    return FGrid.Cells(ASection, 0);
  }

private:
  const TDiffGrid& FGrid;
};

namespace {

class TDiffGridDelegate : public QStyledItemDelegate {
public:
  TDiffGridDelegate(const TDiffGrid& AGrid, QObject* AParent) : QStyledItemDelegate(AParent), FGrid(AGrid) {}

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    FGrid.DrawDiffCell(*APainter, AIndex.column(), AIndex.row() + 1, AOption.rect,
                       AOption.state.testFlag(QStyle::State_Selected));
  }

private:
  const TDiffGrid& FGrid;
};

// The header row stays in view while the data rows scroll, as a fixed row should.
class TDiffGridHeader : public QHeaderView {
public:
  TDiffGridHeader(const TDiffGrid& AGrid, QWidget* AParent) : QHeaderView(Qt::Horizontal, AParent), FGrid(AGrid) {}

protected:
  void paintSection(QPainter* APainter, const QRect& ARect, int ALogicalIndex) const override {
    FGrid.DrawDiffCell(*APainter, ALogicalIndex, 0, ARect, false);
  }

private:
  const TDiffGrid& FGrid;
};

}  // namespace

TDiffGrid::TDiffGrid(QWidget* AParent)
    : QTableView(AParent),
      fDiffer(std::make_unique<TDiff>()),
      fNextChangeAction(new QAction(QStringLiteral("Next change"), this)),
      fPreviousChangeAction(new QAction(QStringLiteral("Previous change"), this)),
      fModel(new TDiffGridModel(*this, this)) {
  fNextChangeAction->setShortcut(Qt::Key_F8);
  fPreviousChangeAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
  for (QAction* Action : {fNextChangeAction, fPreviousChangeAction}) {
    Action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    Action->setToolTip(QStringLiteral("%1 (%2)").arg(Action->text(), Action->shortcut().toString()));
    addAction(Action);
  }
  fNextChangeAction->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
  fPreviousChangeAction->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
  connect(fNextChangeAction, &QAction::triggered, this, [this] { NextChange(); });
  connect(fPreviousChangeAction, &QAction::triggered, this, [this] { PreviousChange(); });
  setHorizontalHeader(new TDiffGridHeader(*this, this));
  setItemDelegate(new TDiffGridDelegate(*this, this));
  setModel(fModel);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setMinimumSectionSize(0);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setHighlightSections(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setWordWrap(false);
  QFont Font(QStringLiteral("Courier New"), 9);
  Font.setStyleHint(QFont::TypeWriter);
  setFont(Font);
  SetRows({TRow{-1, -1}});
}

TDiffGrid::~TDiffGrid() = default;

qint32 TDiffGrid::RowCount() const {
  return static_cast<qint32>(fRows.size()) + 1;
}

QString TDiffGrid::Cells(qint32 ACol, qint32 ARow) const {
  if (ACol < 0 || ACol >= ColCount() || ARow < 0 || ARow >= RowCount())
    return QString();
  if (ARow == 0)
    return fHeaderCells[ACol];
  const TRow& Row = fRows[static_cast<size_t>(ARow - 1)];
  const qint32 Line = ACol < 2 ? Row.Left : Row.Right;
  if (Line < 0)
    return QString();
  if (ACol == 0 || ACol == 2)
    return QString::number(Line + 1);
  return (ACol == 1 ? fSourceLeft : fSourceRight).at(Line);
}

qint32 TDiffGrid::ColWidths(qint32 ACol) const {
  return horizontalHeader()->sectionSize(ACol);
}

qint32 TDiffGrid::ClientWidth() const {
  return viewport()->width();
}

void TDiffGrid::SetRows(std::vector<TRow> ARows, std::vector<TIntraLineMarks> AMarks) {
  fModel->BeginReset();
  fRows = std::move(ARows);
  fRowMarks = std::move(AMarks);
  fModel->EndReset();
  SetTextOffset(0);
  // A reset rebuilds the header's sections at their default size.
  horizontalHeader()->resizeSection(0, NumberColWidth);
  horizontalHeader()->resizeSection(2, NumberColWidth);
  RealignCols();
  updateGeometries();
}

void TDiffGrid::MeasureSide(TSide ASide) {
  const QStringList& Lines = ASide == sdLeft ? fSourceLeft : fSourceRight;
  qint32& Widest = ASide == sdLeft ? fWidestLeft : fWidestRight;
  std::vector<bool>& Hidden = ASide == sdLeft ? fHiddenLeft : fHiddenRight;
  Widest = 0;
  Hidden.assign(static_cast<size_t>(Lines.size()), false);
  for (qsizetype Line = 0; Line < Lines.size(); ++Line) {
    Widest = std::max(Widest, DisplayColumns(Lines.at(Line), TabWidth));
    Hidden[static_cast<size_t>(Line)] = HasHiddenCharacters(Lines.at(Line));
  }
}

void TDiffGrid::ClearResult() {
  fDiffer->Clear();
  SetRows({TRow{fSourceLeft.isEmpty() ? -1 : 0, fSourceRight.isEmpty() ? -1 : 0}});
}

void TDiffGrid::ClearSides(TSide ASides) {
  if (ASides & sdLeft) {
    fSourceLeft.clear();
    fHashListLeft.clear();
    MeasureSide(sdLeft);
  }
  if (ASides & sdRight) {
    fSourceRight.clear();
    fHashListRight.clear();
    MeasureSide(sdRight);
  }
  ClearResult();
}

void TDiffGrid::RehashSides(TSide ASides) {
  if (ASides & sdLeft)
    fHashListLeft = LineHashes(fSourceLeft, fIgnoreCase, fIgnoreWhiteSpace);
  if (ASides & sdRight)
    fHashListRight = LineHashes(fSourceRight, fIgnoreCase, fIgnoreWhiteSpace);
}

void TDiffGrid::ShowText(TSide ASide) {
  RehashSides(ASide);
  const qsizetype Left = fSourceLeft.size();
  const qsizetype Right = fSourceRight.size();
  std::vector<TRow> Rows(static_cast<size_t>(std::max<qsizetype>({Left, Right, 1})));
  for (size_t r = 0; r < Rows.size(); ++r) {
    const auto Line = static_cast<qint32>(r);
    Rows[r] = TRow{Line < Left ? Line : -1, Line < Right ? Line : -1};
  }
  SetRows(std::move(Rows));
}

void TDiffGrid::SetLeft(const QString& AText) {
  ClearSides(sdLeft);
  fSourceLeft = SplitTextLines(AText);
  MeasureSide(sdLeft);
  ShowLeftText();
}

void TDiffGrid::SetRight(const QString& AText) {
  ClearSides(sdRight);
  fSourceRight = SplitTextLines(AText);
  MeasureSide(sdRight);
  ShowRightText();
}

void TDiffGrid::OpenFile(const QString& AFileName, TSide ASide) {
  if (!QFileInfo(AFileName).isFile())
    return;
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    throw Exception(Format(QStringLiteral("Cannot open file \"%s\". %s"), {AFileName, File.errorString()}));
  const QString Text = DecodeText(File.readAll());
  if (ASide == sdLeft)
    SetLeft(Text);
  else
    SetRight(Text);
}

void TDiffGrid::OpenLeftFile(const QString& ALeftFile) {
  OpenFile(ALeftFile, sdLeft);
}

void TDiffGrid::OpenRightFile(const QString& ARightFile) {
  OpenFile(ARightFile, sdRight);
}

void TDiffGrid::SetIgnoreCase(bool Value) {
  if (Value == fIgnoreCase)
    return;
  fIgnoreCase = Value;
  ClearResult();
  RehashSides(sdBoth);
}

void TDiffGrid::SetIgnoreWhiteSpace(bool Value) {
  if (Value == fIgnoreWhiteSpace)
    return;
  fIgnoreWhiteSpace = Value;
  ClearResult();
  RehashSides(sdBoth);
}

void TDiffGrid::Compare() {
  if (fDiffer->Executing() || fHashListLeft.empty() || fHashListRight.empty())
    return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  fComparing = true;
  struct TRestore {
    bool& Comparing;
    ~TRestore() {
      Comparing = false;
      QGuiApplication::restoreOverrideCursor();
    }
  } Restore{fComparing};
  try {
    fDiffer->Execute(fHashListLeft.data(), fHashListRight.data(), static_cast<qint32>(fHashListLeft.size()),
                     static_cast<qint32>(fHashListRight.size()));
  } catch (...) {
    // A partial result would colour rows it does not describe.
    fDiffer->Clear();
    throw;
  }
  std::vector<TRow> Rows(static_cast<size_t>(fDiffer->Count()));
  std::vector<TIntraLineMarks> Marks(Rows.size());
  for (qint32 r = 0; r < fDiffer->Count(); ++r) {
    const TCompareRec Rec = fDiffer->Compares(r);
    Rows[static_cast<size_t>(r)] =
        TRow{Rec.Kind != ckAdd ? Rec.oldIndex1 : -1, Rec.Kind != ckDelete ? Rec.oldIndex2 : -1};
    if (Rec.Kind == ckModify && fMarkChangedCharacters)
      Marks[static_cast<size_t>(r)] = fIntraLineDiff.Marks(fSourceLeft.at(Rec.oldIndex1), fSourceRight.at(Rec.oldIndex2));
  }
  fHeaderCells[1] = fLeftHeader;
  fHeaderCells[3] = fRightHeader;
  SetRows(std::move(Rows), std::move(Marks));
}

void TDiffGrid::RealignCols() {
  // An accented capital and a descender give the tallest line the font draws.
  fRowHeight = fontMetrics().size(Qt::TextSingleLine, QStringLiteral("\u00C5g")).height() + 2;
  verticalHeader()->setDefaultSectionSize(fRowHeight);
  horizontalHeader()->setFixedHeight(fRowHeight);
  const qint32 Width = (ClientWidth() - ColWidths(0) - ColWidths(2) - ColCount() - 1) / 2;
  horizontalHeader()->resizeSection(1, std::max(Width, 0));
  horizontalHeader()->resizeSection(3, std::max(Width, 0));
}

TColor TDiffGrid::CellColor(qint32 ACol, qint32 ARow, bool ASelected) const {
  const qint32 Records = fDiffer->Count();
  TColor Background;
  if (ARow == 0)
    Background = FixedColor();
  else if ((ACol == 0 || ACol == 2) && HasHiddenCharacter(ACol + 1, ARow))
    Background = clHiddenMark;
  else if ((ACol == 1 || ACol == 3) && ARow - 1 < Records)
    Background = KindColor(fDiffer->Compares(ARow - 1).Kind);
  else
    Background = Records > 0 ? FixedColor() : clWhite;
  if (ASelected && Background != FixedColor())
    Background = TColorCalculator::BlendColors(Background, clSelectedTint, 50);
  return Background;
}

void TDiffGrid::DrawDiffCell(QPainter& APainter, qint32 ACol, qint32 ARow, const QRect& ARect, bool ASelected) const {
  if (fComparing || fDiffer->Executing())
    return;
  APainter.save();
  APainter.fillRect(ARect, ColorToQColor(CellColor(ACol, ARow, ASelected)));
  QFont Font = font();
  Font.setBold(ARow == 0);
  APainter.setFont(Font);
  const bool IsText = ACol == 1 || ACol == 3;
  APainter.setPen(ColorToQColor(IsText ? clLineText : clNumberText));
  // Only a horizontal margin: the row is the font's height and two pixels, less the grid line,
  // and an inset at top and bottom would cut off what lies lowest, such as an underscore.
  const QRect TextRect = ARect.adjusted(2, 0, -2, 0);
  if (IsText && ARow > 0) {
    DrawLine(APainter, ACol, ARow, TextRect, ASelected);
    APainter.restore();
    return;
  }
  // No character is narrower than a pixel, so a very long line is cut before it is laid out.
  const QString Text = Cells(ACol, ARow).left(std::max(TextRect.width(), 0) + 1);
  APainter.drawText(TextRect,
                    Qt::AlignVCenter | (IsText ? Qt::AlignLeft : Qt::AlignRight) | Qt::TextSingleLine |
                        Qt::TextExpandTabs | Qt::TextForceLeftToRight,
                    Text);
  APainter.restore();
}

void TDiffGrid::DrawLine(QPainter& APainter, qint32 ACol, qint32 ARow, const QRect& ATextRect, bool ASelected) const {
  const QString* Line = LineAt(ACol, ARow);
  if (Line == nullptr)
    return;
  const qreal Width = CharWidth();
  const qint32 FirstColumn = static_cast<qint32>(TextOffset() / Width);
  const qint32 EndColumn = FirstColumn + static_cast<qint32>(ATextRect.width() / Width) + 2;
  const qreal Left = ATextRect.left() - (TextOffset() - FirstColumn * Width);
  TColor MarkColor = KindMarkColor(RowKind(ARow));
  TColor HiddenColor = clHiddenMark;
  if (ASelected) {
    MarkColor = TColorCalculator::BlendColors(MarkColor, clSelectedTint, 50);
    HiddenColor = TColorCalculator::BlendColors(HiddenColor, clSelectedTint, 50);
  }
  APainter.setClipRect(ATextRect);
  qint32 Column = 0;
  for (const TDisplaySegment& Segment : DisplaySegments(*Line, ChangedRanges(ACol, ARow))) {
    if (Column >= EndColumn)
      break;
    const QString Text = Segment.Hidden ? Segment.Text : ExpandTabs(Segment.Text, Column, TabWidth);
    const auto SegmentEnd = static_cast<qint32>(Column + Text.size());
    if (SegmentEnd > FirstColumn) {
      const qint32 Skip = std::max(0, FirstColumn - Column);
      const qint32 Take = std::min(SegmentEnd, EndColumn) - Column - Skip;
      const QRectF Box(Left + (Column + Skip - FirstColumn) * Width, ATextRect.top(), Take * Width, ATextRect.height());
      if (Segment.Hidden)
        APainter.fillRect(Box, ColorToQColor(HiddenColor));
      else if (Segment.Changed)
        APainter.fillRect(Box, ColorToQColor(MarkColor));
      APainter.setPen(ColorToQColor(Segment.Hidden ? clHiddenText : clLineText));
      // A marker may hold a glyph of another font, a little wider than a column: it may draw
      // past its box, never shift what follows.
      APainter.drawText(Box,
                        Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine | Qt::TextForceLeftToRight |
                            Qt::TextDontClip,
                        Text.mid(Skip, Take));
    }
    Column = SegmentEnd;
  }
}

qreal TDiffGrid::CharWidth() const {
  // The exact advance: a rounded one drifts by a pixel every few characters on a long line.
  return std::max(QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')), 1.0);
}

TChangeKind TDiffGrid::RowKind(qint32 ARow) const {
  return ARow >= 1 && ARow - 1 < fDiffer->Count() ? fDiffer->Compares(ARow - 1).Kind : ckNone;
}

const QString* TDiffGrid::LineAt(qint32 ACol, qint32 ARow) const {
  if (ARow < 1 || ARow >= RowCount() || (ACol != 1 && ACol != 3))
    return nullptr;
  const TRow& Row = fRows[static_cast<size_t>(ARow - 1)];
  const qint32 Line = ACol == 1 ? Row.Left : Row.Right;
  const QStringList& Source = ACol == 1 ? fSourceLeft : fSourceRight;
  return Line >= 0 && Line < Source.size() ? &Source.at(Line) : nullptr;
}

QList<TTextRange> TDiffGrid::ChangedRanges(qint32 ACol, qint32 ARow) const {
  if (ARow < 1 || static_cast<size_t>(ARow - 1) >= fRowMarks.size())
    return {};
  const TIntraLineMarks& Marks = fRowMarks[static_cast<size_t>(ARow - 1)];
  return ACol == 1 ? Marks.Left : ACol == 3 ? Marks.Right : QList<TTextRange>();
}

bool TDiffGrid::HasHiddenCharacter(qint32 ACol, qint32 ARow) const {
  if (ARow < 1 || ARow >= RowCount() || (ACol != 1 && ACol != 3))
    return false;
  const TRow& Row = fRows[static_cast<size_t>(ARow - 1)];
  const qint32 Line = ACol == 1 ? Row.Left : Row.Right;
  const std::vector<bool>& Hidden = ACol == 1 ? fHiddenLeft : fHiddenRight;
  return Line >= 0 && static_cast<size_t>(Line) < Hidden.size() && Hidden[static_cast<size_t>(Line)];
}

QString TDiffGrid::CellTip(qint32 ACol, qint32 ARow) const {
  const QString* Line = LineAt(ACol, ARow);
  if (Line == nullptr)
    return QString();
  const bool Hidden = HasHiddenCharacter(ACol, ARow);
  const bool CutOff = TextOffset() > 0 || DisplayColumns(*Line, TabWidth) * CharWidth() > ColWidths(ACol) - 4;
  if (!Hidden && !CutOff)
    return QString();
  QString Text = ShowHiddenCharacters(QStringView(*Line).left(MaxTipLength));
  if (Line->size() > MaxTipLength)
    Text += QStringLiteral(" \u2026");
  QString Tip = QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(Text.toHtmlEscaped());
  if (Hidden)
    Tip += QStringLiteral("<p>This line holds hidden characters, shown as markers.</p>");
  return Tip;
}

qint32 TDiffGrid::TextOffset() const {
  return horizontalScrollBar()->value();
}

void TDiffGrid::SetTextOffset(qint32 Value) {
  horizontalScrollBar()->setValue(Value);
}

bool TDiffGrid::NextChange() {
  return SelectChange(currentIndex().isValid() ? currentIndex().row() + 1 : 0, 1);
}

bool TDiffGrid::PreviousChange() {
  return SelectChange(currentIndex().isValid() ? currentIndex().row() + 1 : RowCount(), -1);
}

bool TDiffGrid::SelectChange(qint32 AFromRow, qint32 AStep) {
  for (qint32 Row = AFromRow + AStep; Row >= 1 && Row < RowCount(); Row += AStep) {
    if (RowKind(Row) == ckNone || RowKind(Row - 1) != ckNone)
      continue;
    const QModelIndex Index = fModel->index(Row - 1, 1);
    setCurrentIndex(Index);
    scrollTo(Index, QAbstractItemView::PositionAtCenter);
    qint32 FirstMarkColumn = -1;
    for (const qint32 Col : {1, 3}) {
      const QList<TTextRange> Ranges = ChangedRanges(Col, Row);
      if (!Ranges.isEmpty()) {
        const qint32 Column = DisplayColumns(QStringView(*LineAt(Col, Row)).left(Ranges.first().Start), TabWidth);
        FirstMarkColumn = FirstMarkColumn < 0 ? Column : std::min(FirstMarkColumn, Column);
      }
    }
    const auto MarkX = static_cast<qint32>(std::max(FirstMarkColumn, 0) * CharWidth());
    if (MarkX < TextOffset() || MarkX > TextOffset() + ColWidths(1) - 4 * CharWidth())
      SetTextOffset(MarkX - ColWidths(1) / 4);
    return true;
  }
  return false;
}

void TDiffGrid::updateGeometries() {
  // The columns always fit the viewport, so the horizontal scroll bar is free to move the
  // text within both text columns at once; the table's own range (none) must not clamp it.
  const qint32 Offset = TextOffset();
  QTableView::updateGeometries();
  const qint32 Visible = std::max(ColWidths(1) - 4, 0);
  const auto Widest = static_cast<qint32>(std::ceil(std::max(fWidestLeft, fWidestRight) * CharWidth()));
  QScrollBar* Bar = horizontalScrollBar();
  Bar->setRange(0, std::max(Widest - Visible, 0));
  Bar->setPageStep(std::max(Visible, 1));
  Bar->setSingleStep(static_cast<qint32>(CharWidth() * 4));
  Bar->setValue(Offset);
}

void TDiffGrid::scrollContentsBy(int ADx, int ADy) {
  QTableView::scrollContentsBy(0, ADy);
  if (ADx != 0)
    viewport()->update();
}

int TDiffGrid::horizontalOffset() const {
  return 0;
}

void TDiffGrid::keyPressEvent(QKeyEvent* AEvent) {
  if ((AEvent->key() == Qt::Key_Left || AEvent->key() == Qt::Key_Right) && AEvent->modifiers() == Qt::NoModifier) {
    horizontalScrollBar()->triggerAction(AEvent->key() == Qt::Key_Left ? QAbstractSlider::SliderSingleStepSub
                                                                       : QAbstractSlider::SliderSingleStepAdd);
    AEvent->accept();
    return;
  }
  QTableView::keyPressEvent(AEvent);
}

void TDiffGrid::wheelEvent(QWheelEvent* AEvent) {
  if (!AEvent->modifiers().testFlag(Qt::ShiftModifier)) {
    QTableView::wheelEvent(AEvent);
    return;
  }
  // Some platforms turn a shifted wheel into a horizontal one themselves.
  const QPoint Delta = AEvent->angleDelta();
  const qint32 Steps = (Delta.y() != 0 ? Delta.y() : Delta.x()) / 40;
  SetTextOffset(TextOffset() - Steps * horizontalScrollBar()->singleStep());
  AEvent->accept();
}

bool TDiffGrid::viewportEvent(QEvent* AEvent) {
  if (AEvent->type() == QEvent::ToolTip) {
    const auto* Help = static_cast<QHelpEvent*>(AEvent);
    const QModelIndex Index = indexAt(Help->pos());
    const QString Tip = Index.isValid() ? CellTip(Index.column(), Index.row() + 1) : QString();
    if (Tip.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(Help->globalPos(), Tip, viewport(), visualRect(Index));
    return true;
  }
  // The viewport narrows when the vertical scroll bar appears, without the grid resizing.
  const bool Result = QTableView::viewportEvent(AEvent);
  if (AEvent->type() == QEvent::Resize)
    RealignCols();
  return Result;
}

void TDiffGrid::changeEvent(QEvent* AEvent) {
  QTableView::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange)
    RealignCols();
}

}  // namespace quillon
