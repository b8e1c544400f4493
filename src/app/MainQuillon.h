#pragma once

#include "infra/VclUtil.Style.h"
#include "schema/Interfaces.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>

#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QProgressBar;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace quillon {

class ILog;
class IGuiSettings;
class TDatabaseDescriber;
class TDatabaseObject;
class TDatabaseObjectIgnoreList;
class TDatabaseRoutine;
class TDiffGrid;
class TSimpleDatabase;
class TSqlEditor;
class TUserInputBlock;
class TVersionTabSet;
class TfrmLogin;

// The program's window: connects at its first showing, runs the compare of the ticked kinds
// against the gold standard, lists the objects that differ, shows their local and gold-standard
// texts with their line difference, repairs ticked objects and approves a local routine text.
class TfrmDbPublish : public QMainWindow, public IGuiStyleObserver, public IDbProgress {
  Q_OBJECT

public:
  enum TProgressState { psNormal, psError };

  explicit TfrmDbPublish(QWidget* AParent = nullptr);
  ~TfrmDbPublish() override;

  void ApplyStyle(IGuiStyle* AStyle) override;
  // Repainted at once, also while a compare run keeps the window busy.
  void ShowStatus(const QString& AText) override;
  void ShowProgress(double AFraction) override;
  // Lists AObject unticked unless the ignore list names it.
  void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) override;

  // Connects, with the login dialog when a SQL login is needed, and shows the database's name
  // and version. Runs once, when the window is first shown; failures reach the default error
  // handler and leave the window unconnected.
  void FormShow();
  void actCompareExecute();
  void CheckBox1Click();
  void lbAnomaliesClick();
  void ShowObject(TDatabaseObject* AObject);
  void LoadRoutineVersions(TDatabaseRoutine* ARoutine);
  void tabsetVersionsClick();
  void actPostChangeExecute();
  void btnSynchronizeClick();
  void panObjectDiffDblClick();

  // The connection string of the next Connect. A data-link file that cannot be read is reported
  // when the window connects, so that the window still opens.
  void SetConnectionString(const QString& AValue);

  TSimpleDatabase& SourceDb() const { return *fSourceDb; }
  TDiffGrid* DiffGrid() const { return fDiffGrid; }
  ICodedObject* CurrentSource() const { return fCurrentSource; }
  TProgressState ProgressState() const { return FProgressState; }
  // The failure of the last compare run, empty after a run that ended well.
  QString RunFailure() const;
  bool Running() const { return FInputBlock != nullptr; }

  // Top strip
  QFrame* panTop;
  QLabel* Image1;
  QLabel* lblMainHeader;
  QLabel* lblConnection;
  // Left column
  QFrame* panSelectObjects;
  QFrame* panObjectTypesHeader;
  QLabel* hdrObjectTypes;
  QCheckBox* CheckBox1;
  QListWidget* CheckListBox1;
  QFrame* panCompare;
  QToolButton* btnPublish;
  QProgressBar* pbProgress;
  QLabel* lblProgress;
  // What the last run compared per kind and what it found besides anomalies.
  QLabel* lblFindings;
  QLabel* lblFailure;
  QFrame* Panel3;
  QFrame* panObjectDiff;
  QLabel* hdrObjectDiff;
  QListWidget* lbAnomalies;
  QToolButton* btnSynchronize;
  // Right: the page control
  QTabWidget* RzPageControl1;
  QWidget* TabSheet3;
  QWidget* panMain;
  QFrame* panLocal;
  QFrame* panLocalDDLHeader;
  QLabel* hdrLocalDDL;
  QToolBar* ToolBar1;
  QToolButton* btnPostChange;
  TSqlEditor* memLocal;
  QFrame* panStandard;
  QFrame* panStandardDDLHeader;
  QLabel* hdrStandardDDL;
  TSqlEditor* memOfficial;
  QMenu* PopupMenu1;
  TVersionTabSet* tabsetVersions;
  QWidget* tbsDiffViewer;
  QFrame* panSourceDiff;
  QLabel* hdrSourceDiff;
  QFrame* panDiffViewer;

  QAction* actPostChange;
  QAction* actSynchonize;
  QAction* actCompare;

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void CreateControls();
  QWidget* CreateLeftColumn();
  QWidget* CreateSourcePage();
  QWidget* CreateDiffPage();
  void FormCreate();
  void FormDestroy();
  void ShowError(const QString& AMessage);
  void SetProgressState(TProgressState AState);
  // Lets the window system's paint and expose events through while a run blocks the user.
  void KeepResponsive();
  void panMainResize();
  TDatabaseObject* SelectedObject() const;
  // Lists the run's findings as their own group below the anomalies, and says in the labels
  // how many anomalies and findings there are, what was compared and whether the run stopped.
  void ShowRunOutcome(qint32 AAnomalyCount);
  // Compare needs at least one ticked kind.
  void UpdateCompareEnabled();

  ILog* FLog;
  std::unique_ptr<TSimpleDatabase> fSourceDb;
  std::unique_ptr<TDatabaseObjectIgnoreList> fIgnoreList;
  std::unique_ptr<TDatabaseDescriber> fDescriptor;
  qint32 fSourceDbVersion = 0;
  QString fSourceServer;
  QString fSourceDatabase;
  std::unique_ptr<IGuiSettings> fGuiSettings;
  ICodedObject* fCurrentSource = nullptr;
  std::unique_ptr<QHash<QString, QString>> fVersionSourceCode;
  TDiffGrid* fDiffGrid = nullptr;

  TfrmLogin* FLoginDialog = nullptr;
  QString FConnectionStringFailure;
  TProgressState FProgressState = psNormal;
  bool FFormShown = false;
  std::unique_ptr<TUserInputBlock> FInputBlock;
  QElapsedTimer FSinceEventsProcessed;
};

}  // namespace quillon
