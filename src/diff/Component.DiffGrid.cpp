#include "diff/Component.DiffGrid.h"

#include "diff/HashUnit.h"
#include "infra/Support.Exceptions.h"
#include "infra/Support.Format.h"

#include <QAbstractTableModel>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStringDecoder>
#include <QStyledItemDelegate>

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
    : QTableView(AParent), fDiffer(std::make_unique<TDiff>()), fModel(new TDiffGridModel(*this, this)) {
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
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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

void TDiffGrid::SetRows(std::vector<TRow> ARows) {
  fModel->BeginReset();
  fRows = std::move(ARows);
  fModel->EndReset();
  // A reset rebuilds the header's sections at their default size.
  horizontalHeader()->resizeSection(0, NumberColWidth);
  horizontalHeader()->resizeSection(2, NumberColWidth);
  RealignCols();
}

void TDiffGrid::ClearResult() {
  fDiffer->Clear();
  SetRows({TRow{fSourceLeft.isEmpty() ? -1 : 0, fSourceRight.isEmpty() ? -1 : 0}});
}

void TDiffGrid::ClearSides(TSide ASides) {
  if (ASides & sdLeft) {
    fSourceLeft.clear();
    fHashListLeft.clear();
  }
  if (ASides & sdRight) {
    fSourceRight.clear();
    fHashListRight.clear();
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
  ShowLeftText();
}

void TDiffGrid::SetRight(const QString& AText) {
  ClearSides(sdRight);
  fSourceRight = SplitTextLines(AText);
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

void TDiffGrid::OpenFile1(const QString& ALeftFile) {
  OpenFile(ALeftFile, sdLeft);
}

void TDiffGrid::OpenFile2(const QString& ARightFile) {
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
  for (qint32 r = 0; r < fDiffer->Count(); ++r) {
    const TCompareRec Rec = fDiffer->Compares(r);
    Rows[static_cast<size_t>(r)] =
        TRow{Rec.Kind != ckAdd ? Rec.oldIndex1 : -1, Rec.Kind != ckDelete ? Rec.oldIndex2 : -1};
  }
  fHeaderCells[1] = fLeftHeader;
  fHeaderCells[3] = fRightHeader;
  SetRows(std::move(Rows));
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
  // No character is narrower than a pixel, so a very long line is cut before it is laid out.
  const QString Text = Cells(ACol, ARow).left(std::max(TextRect.width(), 0) + 1);
  APainter.drawText(TextRect,
                    Qt::AlignVCenter | (IsText ? Qt::AlignLeft : Qt::AlignRight) | Qt::TextSingleLine |
                        Qt::TextExpandTabs,
                    Text);
  APainter.restore();
}

bool TDiffGrid::viewportEvent(QEvent* AEvent) {
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
