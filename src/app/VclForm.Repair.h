#pragma once

#include "compare/Repair.Script.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quillon {

class TSqlEditor;

// The repair, shown before it runs: each ticked object with the exact T-SQL that will be sent
// for it, or why it cannot be repaired, and the whole script, which can be saved or copied.
// Run hands the script to the runner and shows the result per object in the same list.
class TfrmRepair : public QDialog {
  Q_OBJECT

public:
  using TRunner = std::function<QList<TRepairResult>()>;

  TfrmRepair(const TRepairScript& AScript, TRunner ARunner, QWidget* AOwner);

  // Saves the script to AFileName; failures reach the default error handler.
  void SaveScriptTo(const QString& AFileName);
  bool Ran() const { return FRan; }
  const QList<TRepairResult>& Results() const { return FResults; }

  QLabel* lblSummary;
  QTreeWidget* lvObjects;
  TSqlEditor* memScript;
  QPushButton* btnSaveScript;
  QPushButton* btnCopy;
  QPushButton* btnRun;
  QPushButton* btnCancel;

private:
  void btnSaveScriptClick();
  void btnCopyClick();
  void btnRunClick();
  void ShowResults();

  const TRepairScript& FScript;
  TRunner FRunner;
  QList<TRepairResult> FResults;
  bool FRan = false;
};

}  // namespace quillon
