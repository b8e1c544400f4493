// A repair planned before anything is sent, its script text, and running it step by step.
#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace quillon {

class ISQL;
class TDatabaseObject;

// What a repair sends for one object: the exact T-SQL batch, or why the object cannot be
// repaired (then Batch is empty).
struct TRepairStep {
  TDatabaseObject* Object = nullptr;
  QString ObjectName;
  QString Kind;
  QString Batch;
  QString Refusal;

  bool Repairable() const { return Refusal.isEmpty(); }
};

enum class TRepairOutcome { Repaired, Failed, NotAttempted, CannotRepair };

struct TRepairResult {
  TRepairOutcome Outcome = TRepairOutcome::NotAttempted;
  // The server's message for a failed step, the refusal for one that cannot be repaired.
  QString Message;
};

// "repaired", "failed", "not attempted", "cannot be repaired".
QString RepairOutcomeText(TRepairOutcome AOutcome);

// The repair of a set of objects, planned before anything is sent, so that what is shown (or
// saved as a script) is what runs.
class TRepairScript {
public:
  // Plans AObject's step; a kind without a repair, a gold text that gives none, or an indexed
  // view whose loss of indexes was not allowed, is kept as a step that cannot be repaired.
  void Add(TDatabaseObject* AObject);
  const QList<TRepairStep>& Steps() const { return FSteps; }
  qint32 RepairableCount() const;

  // The whole script: each object's batch under a comment naming it, "GO" after each batch;
  // objects that cannot be repaired as comments with the reason.
  QString Text() const;
  // Writes Text as UTF-8; raises Exception naming the file when it cannot be written.
  void SaveToFile(const QString& AFileName) const;

  // Sends the batches in order and stops at the first failure: the steps after it are not
  // attempted. One result per step, in the order of Steps. AStepDone hears each step's result
  // as soon as it is known; once AStop is set no further batch is sent, and the steps left are
  // not attempted.
  QList<TRepairResult> Run(ISQL* ASQL,
                           const std::function<void(qsizetype AStep, const TRepairResult& AResult)>& AStepDone = {},
                           const std::atomic<bool>* AStop = nullptr) const;

private:
  QList<TRepairStep> FSteps;
};

}  // namespace quillon
