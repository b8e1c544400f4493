#pragma once

#include "session/Session.Check.h"
#include "gui/VclUtil.Style.h"
#include "schema/Interfaces.h"

#include <QHash>
#include <QMainWindow>

#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QLineEdit;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QSplitter;
class QProgressBar;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace quillon {

class ILog;
class IGuiSettings;
class TDatabaseObject;
class TDatabaseRoutine;
class TRepairScript;
struct TRepairResult;
class TDiffGrid;
class TDiffLegend;
class TRunController;
class TSimpleDatabase;
class TSqlEditor;
class TVersionTabSet;
class TfrmLogin;

// The program's window: connects at its first showing, runs the compare of the ticked kinds
// against the gold standard, lists the objects that differ, shows their local and gold-standard
// texts with their line difference, repairs ticked objects and approves a local routine text.
// Compare runs and repairs run on a worker thread: the window keeps answering, and what the
// user may not do meanwhile is disabled.
class TfrmDbPublish : public QMainWindow, public IGuiStyleObserver {
  Q_OBJECT

public:
  enum TProgressState { psNormal, psError };
  // The data role of an anomaly item that holds the object's name alone; the item's text
  // shows its kind in front of it.
  static constexpr int AnomalyNameRole = Qt::UserRole + 2;
  // The data roles of every item: what it lists (a TListedRow) and its index among those.
  static constexpr int RowKindRole = Qt::UserRole + 3;
  static constexpr int RowIndexRole = Qt::UserRole + 4;
  enum TListedRow { lrAnomaly, lrFinding, lrDrift, lrRoutine };

  explicit TfrmDbPublish(QWidget* AParent = nullptr);
  ~TfrmDbPublish() override;

  void ApplyStyle(IGuiStyle* AStyle) override;

  // Connects, with the login dialog when a SQL login is needed, and shows the server, database,
  // login and version. Runs when the window is first shown and from Connect. A refused login
  // is reported and the login asked again; a cancelled login, or any other failure (reported
  // by the default error handler), leaves the window "Not connected" with Connect offered.
  void FormShow();
  void actConnectExecute();
  // Starts a compare run of the ticked kinds on the worker thread; RunFinished says when it
  // has ended and its outcome is shown.
  void actCompareExecute();
  // Asks a compare run to stop after the object it is comparing.
  void actCancelRunExecute();
  // Writes the HTML report of the last compare run, as the command line writes it, to
  // AFileName; raises Exception when the file cannot be written.
  void ExportReport(const QString& AFileName);
  void actExportReportExecute();
  void CheckBox1Click();
  void lbAnomaliesClick();
  // Shows AObject in both editors and the Differences tab, and nothing else; nullptr clears them.
  void ShowObject(TDatabaseObject* AObject);
  void LoadRoutineVersions(TDatabaseRoutine* ARoutine);
  void tabsetVersionsClick();
  void actPostChangeExecute();
  void btnSynchronizeClick();
  void panObjectDiffDblClick();
  // Tick or untick every anomaly the filter lets through.
  void btnTickAllClick();
  void btnTickNoneClick();
  // Asks for the baseline snapshot that schemata, tables, referential constraints and
  // privileges are compared with; a cancelled choice clears it.
  void btnBaselineClick();
  // The baseline snapshot of the next compare run, kept in the settings; empty for none.
  void SetBaseline(const QString& AFileName);
  const QString& Baseline() const { return FBaseline; }

  // The connection string of the next Connect. A data-link file that cannot be read is reported
  // when the window connects, so that the window still opens.
  void SetConnectionString(const QString& AValue);

  TSimpleDatabase& SourceDb() const;
  TDiffGrid* DiffGrid() const { return fDiffGrid; }
  ICodedObject* CurrentSource() const { return fCurrentSource; }
  // The object whose texts the editors and the Differences tab show.
  TDatabaseObject* ShownObject() const { return FShownObject; }
  TProgressState ProgressState() const { return FProgressState; }
  // The failure of the last compare run, empty after a run that ended well.
  QString RunFailure() const;
  // A compare run or a repair is going on the worker thread.
  bool Running() const;

signals:
  // A compare run has ended and its outcome is shown.
  void RunFinished();

public:

  // Top strip
  QFrame* panTop;
  QLabel* Image1;
  QLabel* lblMainHeader;
  QLabel* lblConnection;
  QToolButton* btnConnect;
  // Left column
  QFrame* panSelectObjects;
  QFrame* panObjectTypesHeader;
  QLabel* hdrObjectTypes;
  QCheckBox* CheckBox1;
  QListWidget* CheckListBox1;
  QPushButton* btnBaseline;
  QLabel* lblBaseline;
  QFrame* panCompare;
  QToolButton* btnPublish;
  QToolButton* btnCancelRun;
  QProgressBar* pbProgress;
  QLabel* lblProgress;
  // What the last run compared per kind and what it found besides anomalies.
  QLabel* lblFindings;
  QLabel* lblFailure;
  QFrame* Panel3;
  QFrame* panObjectDiff;
  QLabel* hdrObjectDiff;
  QLineEdit* edtFilter;
  QPushButton* btnTickAll;
  QPushButton* btnTickNone;
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

  QSplitter* splMain;

  QAction* actConnect;
  QAction* actPostChange;
  QAction* actSynchonize;
  QAction* actCompare;
  QAction* actCancelRun;
  QAction* actExportReport;

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
  // Enables what the user may do, which is less while a run is going.
  void ShowRunning(bool ARunning);
  void ShowRunProgress(qint32 ACompared, qint32 ATotal);
  void CompareFinished();
  // Lists the run's anomalies, findings and drift.
  void ListOutcome();
  // Runs AScript on the worker, the repair dialog waiting for it; every outcome is recorded.
  QList<TRepairResult> RunRepair(const TRepairScript& AScript);
  void RecordRepair(const TRepairRecord& ARecord);
  QListWidgetItem* AddRow(const QString& AText, TListedRow AKind, qsizetype AIndex, bool ATickable);
  // The object an item lists; nullptr for drift and a routine missing locally.
  TDatabaseObject* ObjectOf(const QListWidgetItem* AItem) const;
  void panMainResize();
  TDatabaseObject* SelectedObject() const;
  // Connects once; false when the server refused the login, which has been reported.
  // Connects, or returns the server's words when it refused the login.
  std::optional<QString> TryConnect();
  void ShowConnectionState();
  void ClearPanes();
  // "Gold standard of version N", N the version the database reports.
  QString DatabaseGoldCaption() const;
  void ShowDifferences(const QString& AGoldText, const QString& AGoldCaption);
  void UpdateApproveAction();
  // True when the local editor holds no edits of its own, or the user agrees to drop them.
  bool ConfirmDropEdits();
  void HighlightShownObject();
  QString RunStatusText() const;
  void ShowDriftItem(qsizetype AIndex);
  void ShowBaselineChoice();
  // Connected, and the database's information read: a database the window can compare.
  bool Connected() const;
  void FilterAnomalies();
  void TickVisibleAnomalies(Qt::CheckState AState);
  // Lists the run's findings as their own group below the anomalies, and says in the labels
  // how many anomalies and findings there are, what was compared and whether the run stopped.
  void ShowRunOutcome();
  // Compare needs at least one ticked kind.
  void UpdateCompareEnabled();

  ILog* FLog;
  TRunController* FRun = nullptr;
  std::unique_ptr<TCheckSession> FSession;
  std::unique_ptr<IGuiSettings> fGuiSettings;
  ICodedObject* fCurrentSource = nullptr;
  TDatabaseObject* FShownObject = nullptr;
  // The local text as it was put into the editor: anything else there is the user's edit.
  QString FShownLocalText;
  qint32 FRepairedCount = 0;
  bool FCancelRequested = false;
  // Closing was asked for during a run: the window closes when the run has ended.
  bool FCloseWhenDone = false;
  std::unique_ptr<QHash<QString, QString>> fVersionSourceCode;
  TDiffGrid* fDiffGrid = nullptr;
  TDiffLegend* fDiffLegend = nullptr;

  TfrmLogin* FLoginDialog = nullptr;
  QString FConnectionStringFailure;
  TProgressState FProgressState = psNormal;
  bool FFormShown = false;
  QString FBaseline;
  // What the last compare run found; FPendingOutcome is the worker's until the run ends.
  TCompareOutcome FOutcome;
  TCompareOutcome FPendingOutcome;
  // The routines listed on request below the run's rows.
  QList<TDatabaseObject*> FListedRoutines;
};

}  // namespace quillon
