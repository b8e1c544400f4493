// The repair dialog: each object's T-SQL before it runs, and each object's result after.
#pragma once

#include "repair/Repair.Script.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace quillon {

class TDatabaseObject;
class TDatabaseView;
class TSqlEditor;

// The repair, shown before it runs: each ticked object with the exact T-SQL that will be sent
// for it, or why it cannot be repaired, and the whole script, which can be saved or copied.
// Run hands the script to the runner and shows the result per object in the same list.
// Indexed views among the objects are altered only when the user ticks that their indexes may
// be dropped; the consent holds for this repair only.
class TfrmRepair : public QDialog {
  Q_OBJECT

public:
  using TRunner = std::function<QList<TRepairResult>(const TRepairScript&)>;

  TfrmRepair(const QList<TDatabaseObject*>& AObjects, TRunner ARunner, QWidget* AOwner);
  ~TfrmRepair() override;

  // Saves the script to AFileName; failures reach the default error handler.
  void SaveScriptTo(const QString& AFileName);
  bool Ran() const { return FRan; }
  const QList<TRepairResult>& Results() const { return FResults; }
  const TRepairScript& Script() const { return FScript; }

  QLabel* lblSummary;
  QCheckBox* chkAllowIndexLoss;
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
  void chkAllowIndexLossClick();
  void Plan();
  void ShowResults();

  QList<TDatabaseObject*> FObjects;
  QList<TDatabaseView*> FIndexedViews;
  TRepairScript FScript;
  TRunner FRunner;
  QList<TRepairResult> FResults;
  bool FRan = false;
};

}  // namespace quillon
