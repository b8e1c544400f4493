// How far a compare run got and what it found besides anomalies.
#include "gold/Compare.RunStatus.h"

#include <QStringList>

#include <algorithm>

namespace quillon {

void TCompareRunStatus::Start(const QList<TKindCount>& AKinds) {
  FKinds = AKinds;
  FFindings.clear();
  FStopReason.clear();
}

void TCompareRunStatus::ObjectCompared(const QString& AKind) {
  for (TKindCount& Count : FKinds)
    if (Count.Kind == AKind)
      ++Count.Compared;
}

void TCompareRunStatus::AddFinding(const TFinding& AFinding) { FFindings.append(AFinding); }

void TCompareRunStatus::Stop(const QString& AReason) {
  FStopReason = AReason.isEmpty() ? QStringLiteral("stopped") : AReason;
}

qint32 TCompareRunStatus::Compared() const {
  qint32 Sum = 0;
  for (const TKindCount& Count : FKinds)
    Sum += Count.HeldByGold ? Count.Compared : 0;
  return Sum;
}

qint32 TCompareRunStatus::Total() const {
  qint32 Sum = 0;
  for (const TKindCount& Count : FKinds)
    Sum += Count.HeldByGold ? Count.Total : 0;
  return Sum;
}

QList<TFinding> TCompareRunStatus::FindingsWith(TFindingStatus AStatus) const {
  QList<TFinding> Result;
  std::copy_if(FFindings.begin(), FFindings.end(), std::back_inserter(Result),
               [AStatus](const TFinding& AFinding) { return AFinding.Status == AStatus; });
  return Result;
}

QString TCompareRunStatus::StoppedText() const {
  if (Complete())
    return QString();
  return QStringLiteral("Stopped after %1 of %2 objects: %3").arg(Compared()).arg(Total()).arg(FStopReason);
}

QString TCompareRunStatus::ComparedText(bool ANameKindsNotHeld) const {
  QStringList Compared;
  QStringList NotHeld;
  for (const TKindCount& Count : FKinds) {
    if (Count.HeldByGold)
      Compared.append(QStringLiteral("%1 %2").arg(JudgedCount(Count)).arg(KindPlural(Count.Kind)));
    else
      NotHeld.append(KindPlural(Count.Kind));
  }
  QString Text = Compared.isEmpty() ? QStringLiteral("Nothing compared with the gold standard")
                                    : QStringLiteral("Compared ") + Compared.join(QStringLiteral(", "));
  if (ANameKindsNotHeld && !NotHeld.isEmpty())
    Text += QStringLiteral("; %1: not held by the gold standard").arg(NotHeld.join(QStringLiteral(", ")));
  return Text;
}

qint32 TCompareRunStatus::JudgedCount(const TKindCount& ACount) const {
  const auto NotJudged = std::count_if(FFindings.begin(), FFindings.end(), [&ACount](const TFinding& AFinding) {
    return AFinding.Kind == ACount.Kind &&
           (AFinding.Status == TFindingStatus::UnknownToGold || AFinding.Status == TFindingStatus::Unreadable);
  });
  return ACount.Compared - static_cast<qint32>(NotJudged);
}

QString TCompareRunStatus::FindingsText() const {
  QStringList Parts;
  for (const TFindingStatus Status : {TFindingStatus::UnknownToGold, TFindingStatus::MissingLocally,
                                      TFindingStatus::Unreadable, TFindingStatus::DuplicateKey}) {
    const qsizetype Count = FindingsWith(Status).size();
    if (Count > 0)
      Parts.append(QStringLiteral("%1 %2").arg(Count).arg(FindingStatusText(Status)));
  }
  return Parts.join(QStringLiteral(", "));
}

QString KindPlural(const QString& AKind) {
  if (AKind == QLatin1String("schema"))
    return QStringLiteral("schemata");
  if (AKind == QLatin1String("index"))
    return QStringLiteral("indexes");
  return AKind + u's';
}

QString FindingStatusText(TFindingStatus AStatus) {
  switch (AStatus) {
    case TFindingStatus::UnknownToGold: return QStringLiteral("unknown to the gold standard");
    case TFindingStatus::MissingLocally: return QStringLiteral("missing locally");
    case TFindingStatus::Unreadable: return QStringLiteral("unreadable");
    case TFindingStatus::DuplicateKey: return QStringLiteral("hidden by a duplicate name");
  }
  return QString();
}

}  // namespace quillon
