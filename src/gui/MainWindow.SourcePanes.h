// The main window's source panes: an object's local and gold-standard texts, the gold-standard
// versions of a routine and the approval of a local text as one of them, and their difference.
#pragma once

#include "model/Interfaces.h"

#include <QHash>
#include <QObject>

namespace quillon {

class ILog;
class TCheckSession;
class TDatabaseObject;
class TDatabaseRoutine;
class TMainWindowLayout;
struct TDriftItem;

class TSourcePanes : public QObject {
  Q_OBJECT

public:
  TSourcePanes(TMainWindowLayout& AControls, TCheckSession& ASession, ILog* ALog, QWidget* AWindow);

  // Shows AObject in both editors and the Differences tab, and nothing else; nullptr clears them.
  void ShowObject(TDatabaseObject* AObject);
  // The gold text of an object the database lacks, against an empty local text.
  void ShowGoldOnly(const QString& AGoldText);
  // A drift item's baseline text against the database's, ABaselineFile named as their source.
  void ShowDrift(const TDriftItem& ADrift, const QString& ABaselineFile);
  void Clear();
  // True when the local editor holds no edits of its own, or the user agrees to drop them.
  bool ConfirmDropEdits();
  void UpdateApproveAction();

  // The object whose texts the editors and the Differences tab show.
  TDatabaseObject* ShownObject() const { return FShownObject; }
  ICodedObject* CurrentSource() const { return FCurrentSource; }

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void LoadRoutineVersions(TDatabaseRoutine* ARoutine);
  void VersionChosen();
  // Stores the local text of the routine shown as the gold standard of the version chosen.
  void Approve();
  // "Gold standard of version N", N the version the database reports.
  QString DatabaseGoldCaption() const;
  void ShowDifferences(const QString& AGoldText, const QString& AGoldCaption);
  void SetLocalText(const QString& AText);
  // The two editors share the source page's height evenly.
  void SplitSourcePage();

  TMainWindowLayout& FControls;
  TCheckSession& FSession;
  ILog* FLog;
  QWidget* FWindow;
  ICodedObject* FCurrentSource = nullptr;
  TDatabaseObject* FShownObject = nullptr;
  // The local text as it was put into the editor: anything else there is the user's edit.
  QString FShownLocalText;
  // The gold texts of the routine shown, by version.
  QHash<QString, QString> FVersionTexts;
};

}  // namespace quillon
