// How far a compare run got and what it found besides anomalies.
#pragma once

#include "gold/Gold.Progress.h"

#include <QList>
#include <QString>

namespace quillon {

// How far one compare run got and what it found besides anomalies, so that nobody reads a run
// that stopped, or a run over kinds the gold standard does not hold, as a clean result.
class TCompareRunStatus {
public:
  struct TKindCount {
    QString Kind;  // "view", "routine", ...; plural forms come from KindPlural
    qint32 Compared = 0;
    qint32 Total = 0;
    // False for the kinds the gold standard keeps no definitions of (schemata, tables,
    // referential constraints): their objects are never compared, whatever their count.
    bool HeldByGold = true;
  };

  // Starts over for a run over these kinds.
  void Start(const QList<TKindCount>& AKinds);
  void ObjectCompared(const QString& AKind);
  void AddFinding(const TFinding& AFinding);
  // The run ended before its last object, for AReason (a failure, or the user's cancel).
  void Stop(const QString& AReason);

  bool Complete() const { return FStopReason.isEmpty(); }
  const QString& StopReason() const { return FStopReason; }
  // The objects the run has been through, and all it was to go through, of the kinds the gold
  // standard holds: the N and M of StoppedText.
  qint32 Compared() const;
  qint32 Total() const;
  const QList<TKindCount>& Kinds() const { return FKinds; }
  const QList<TFinding>& Findings() const { return FFindings; }
  QList<TFinding> FindingsWith(TFindingStatus AStatus) const;

  // "Stopped after N of M objects: <reason>"; empty for a complete run.
  QString StoppedText() const;
  // "Compared 3 views, 12 routines; schemata: not held by the gold standard", counting only
  // the objects actually judged against a gold text (not the unknown or unreadable ones);
  // "Nothing compared with the gold standard" when no kind held by it took part. Without
  // ANameKindsNotHeld the part after ";" is left out, for a caller that says what became of
  // those kinds itself.
  QString ComparedText(bool ANameKindsNotHeld = true) const;
  // "3 unknown to the gold standard, 1 missing locally, 2 unreadable"; empty without findings.
  QString FindingsText() const;

private:
  qint32 JudgedCount(const TKindCount& ACount) const;

  QList<TKindCount> FKinds;
  QList<TFinding> FFindings;
  QString FStopReason;
};

// "views" for "view", "schemata" for "schema", "indexes" for "index", ...
QString KindPlural(const QString& AKind);
// How people read a finding's status: "unknown to the gold standard", "missing locally", ...
QString FindingStatusText(TFindingStatus AStatus);

}  // namespace quillon
