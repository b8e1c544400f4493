// The anomaly list's model: rows over a compare run's outcome, with the ticks the user set.
#include "gui/MainWindow.AnomalyModel.h"

#include "gold/Compare.RunStatus.h"
#include "drift/Drift.Texts.h"
#include "model/DatabaseObjects.h"
#include "session/Session.Check.h"

#include <QFont>

#include <algorithm>

namespace quillon {

namespace {

// The kind shown in front of a name; the list's font is fixed-width, so the names line up.
QString KindTag(const QString& AKind) { return AKind.leftJustified(8); }

}  // namespace

TAnomalyListModel::TAnomalyListModel(const TCompareOutcome& AOutcome, QObject* AParent)
    : QAbstractListModel(AParent), FOutcome(AOutcome) {}

int TAnomalyListModel::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QString TAnomalyListModel::NameOf(const TRow& ARow) const {
  switch (ARow.Kind) {
    case rkAnomaly:
      return FOutcome.Result.Anomalies.at(ARow.Index).FullName;
    case rkRoutine:
      return FRoutines.at(ARow.Index)->FullName();
    default:
      return QString();
  }
}

QString TAnomalyListModel::TextOf(int ARow) const {
  const TRow& Row = FRows.at(ARow);
  switch (Row.Kind) {
    case rkAnomaly:
      return KindTag(FOutcome.Result.Anomalies.at(Row.Index).Kind) + NameOf(Row);
    case rkFinding: {
      const TFinding& Finding = FOutcome.RunStatus.Findings().at(Row.Index);
      return QStringLiteral("%1 %2 (%3)")
          .arg(Finding.Kind.toUpper(), Finding.FullName, FindingStatusText(Finding.Status));
    }
    case rkDrift: {
      const TDriftItem& Drift = FOutcome.Drift.Items.at(Row.Index);
      return QStringLiteral("DRIFT %1 %2 (%3)")
          .arg(DriftKindName(Drift.Kind).leftJustified(8), Drift.FullName, DriftChangeName(Drift.Change));
    }
    case rkRoutine:
      return KindTag(QStringLiteral("routine")) + NameOf(Row);
  }
  return QString();
}

bool TAnomalyListModel::Tickable(int ARow) const {
  // Findings and drift have nothing to repair: a baseline is no gold standard to repair to.
  const TRowKind Kind = FRows.at(ARow).Kind;
  return Kind == rkAnomaly || Kind == rkRoutine;
}

QVariant TAnomalyListModel::data(const QModelIndex& AIndex, int ARole) const {
  if (!checkIndex(AIndex, CheckIndexOption::IndexIsValid))
    return {};
  const int Row = AIndex.row();
  switch (ARole) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return TextOf(Row);
    case Qt::CheckStateRole:
      return Tickable(Row) ? QVariant(FRows.at(Row).Ticked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::FontRole:
      if (!Tickable(Row)) {
        // Only the slant is set: the rest comes from the list's own font.
        QFont Slanted;
        Slanted.setItalic(true);
        return Slanted;
      }
      return {};
    case NameRole:
      return Tickable(Row) ? QVariant(NameOf(FRows.at(Row))) : QVariant();
    default:
      return {};
  }
}

Qt::ItemFlags TAnomalyListModel::flags(const QModelIndex& AIndex) const {
  if (!checkIndex(AIndex, CheckIndexOption::IndexIsValid))
    return Qt::NoItemFlags;
  const Qt::ItemFlags Flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return Tickable(AIndex.row()) ? Flags | Qt::ItemIsUserCheckable : Flags;
}

bool TAnomalyListModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) {
  if (ARole != Qt::CheckStateRole || !checkIndex(AIndex, CheckIndexOption::IndexIsValid) || !Tickable(AIndex.row()))
    return false;
  SetTicked(AIndex.row(), static_cast<Qt::CheckState>(AValue.toInt()) == Qt::Checked);
  return true;
}

void TAnomalyListModel::SetTicked(int ARow, bool ATicked) {
  if (!Tickable(ARow) || FRows[ARow].Ticked == ATicked)
    return;
  FRows[ARow].Ticked = ATicked;
  const QModelIndex Changed = index(ARow);
  emit dataChanged(Changed, Changed, {Qt::CheckStateRole});
}

void TAnomalyListModel::ListOutcome() {
  beginResetModel();
  FRows.clear();
  FRoutines.clear();
  const auto Append = [this](TRowKind AKind, qsizetype ACount) {
    for (qsizetype I = 0; I < ACount; ++I)
      FRows.append({AKind, I});
  };
  Append(rkAnomaly, FOutcome.Result.Anomalies.size());
  Append(rkFinding, FOutcome.RunStatus.Findings().size());
  Append(rkDrift, FOutcome.Drift.Items.size());
  endResetModel();
}

void TAnomalyListModel::Clear() {
  beginResetModel();
  FRows.clear();
  FRoutines.clear();
  endResetModel();
}

void TAnomalyListModel::AddRoutines(const QList<TDatabaseObject*>& ARoutines) {
  if (ARoutines.isEmpty())
    return;
  const int First = rowCount();
  beginInsertRows({}, First, First + static_cast<int>(ARoutines.size()) - 1);
  for (TDatabaseObject* Routine : ARoutines) {
    FRows.append({rkRoutine, FRoutines.size()});
    FRoutines.append(Routine);
  }
  endInsertRows();
}

void TAnomalyListModel::RemoveRows(QList<int> ARows) {
  // From the last, so that the rows still to go keep their numbers.
  std::sort(ARows.begin(), ARows.end(), std::greater<>());
  for (const int Row : ARows) {
    beginRemoveRows({}, Row, Row);
    FRows.removeAt(Row);
    endRemoveRows();
  }
}

bool TAnomalyListModel::AnyTickable() const {
  for (int Row = 0; Row < rowCount(); ++Row)
    if (Tickable(Row))
      return true;
  return false;
}

TDatabaseObject* TAnomalyListModel::ObjectAt(int ARow) const {
  const TRow& Row = FRows.at(ARow);
  switch (Row.Kind) {
    case rkAnomaly:
      return FOutcome.AnomalyObjects.value(Row.Index);
    case rkFinding:
      return FOutcome.RunStatus.Findings().value(Row.Index).Object;
    case rkRoutine:
      return FRoutines.value(Row.Index);
    case rkDrift:
      return nullptr;
  }
  return nullptr;
}

int TAnomalyListModel::RowOf(const TDatabaseObject* AObject) const {
  if (AObject == nullptr)
    return -1;
  for (int Row = 0; Row < rowCount(); ++Row)
    if (ObjectAt(Row) == AObject)
      return Row;
  return -1;
}

}  // namespace quillon
