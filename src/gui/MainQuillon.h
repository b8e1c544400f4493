// The program's main window: ties the controls, the compare panel, the anomaly list and the
// source panes together around one check session.
#pragma once

#include "gui/MainWindow.Layout.h"
#include "gui/MainWindow.RunPanel.h"
#include "gui/VclUtil.Style.h"
#include "model/Interfaces.h"

#include <QMainWindow>

#include <memory>
#include <optional>

namespace quillon {

class ILog;
class IGuiSettings;
class TAnomalyListModel;
class TCheckSession;
class TDatabaseObject;
class TDiffGrid;
class TRepairScript;
struct TRepairResult;
class TRunController;
class TSimpleDatabase;
class TSourcePanes;
class TfrmLogin;

// The program's window: connects at its first showing, runs the compare of the ticked kinds
// against the gold standard, lists the objects that differ, shows their local and gold-standard
// texts with their line difference, repairs ticked objects and approves a local routine text.
// Compare runs and repairs run on a worker thread: the window keeps answering, and what the
// user may not do meanwhile is disabled.
class TfrmDbPublish : public QMainWindow, public TMainWindowLayout, public IGuiStyleObserver {
  Q_OBJECT

public:
  explicit TfrmDbPublish(QWidget* AParent = nullptr);
  ~TfrmDbPublish() override;

  void ApplyStyle(IGuiStyle* AStyle) override;

  // Connects, with the login dialog when a SQL login is needed, and shows the server, database,
  // login and version. Runs when the window is first shown and from Connect. A refused login
  // is reported and the login asked again; a cancelled login, or any other failure (reported
  // by the default error handler), leaves the window "Not connected" with Connect offered.
  void actConnectExecute();
  // Starts a compare run of the ticked kinds on the worker thread; RunFinished says when it has
  // ended and its outcome is shown.
  void actCompareExecute();

  // Writes the HTML report of the last compare run, as the command line writes it, to
  // AFileName; raises Exception when the file cannot be written.
  void ExportReport(const QString& AFileName);
  // The baseline snapshot of the next compare run, kept in the settings; empty for none.
  void SetBaseline(const QString& AFileName);
  const QString& Baseline() const { return FBaseline; }
  // The connection string of the next Connect. A data-link file that cannot be read is reported
  // when the window connects, so that the window still opens.
  void SetConnectionString(const QString& AValue);

  TSimpleDatabase& SourceDb() const;
  TDiffGrid* DiffGrid() const { return grdDiff; }
  ICodedObject* CurrentSource() const;
  // The object whose texts the editors and the Differences tab show.
  TDatabaseObject* ShownObject() const;
  TRunPanel::TProgressState ProgressState() const { return FRunPanel->ProgressState(); }
  // The failure of the last compare run, empty after a run that ended well.
  QString RunFailure() const { return FRunPanel->RunFailure(); }
  // A compare run or a repair is going on the worker thread.
  bool Running() const;

signals:
  // A compare run has ended and its outcome is shown.
  void RunFinished();

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void ConnectControls();
  void FormCreate();
  void FormDestroy();

  // Connects, or returns the server's words when it refused the login.
  std::optional<QString> TryConnect();
  // Connected, and the database's information read: a database the window can compare.
  bool Connected() const;
  void ShowConnectionState();

  // Asks for the baseline snapshot that schemata, tables, referential constraints and
  // privileges are compared with; a cancelled choice clears it.
  void btnBaselineClick();
  void ShowBaselineChoice();
  void chkAllKindsClick();
  // Compare needs at least one ticked kind.
  void UpdateCompareEnabled();

  void CompareFinished();
  // Enables what the user may do, which is less while a run is going.
  void ShowRunning(bool ARunning);
  void actExportReportExecute();

  // The object of the current row; nullptr for none, for drift and for a routine missing locally.
  TDatabaseObject* SelectedObject() const;
  void lstAnomaliesClick();
  void HighlightShownObject();
  void FilterAnomalies();
  // Tick or untick every anomaly the filter lets through.
  void TickVisibleAnomalies(bool ATicked);
  // Lists every routine of the database below the run's rows.
  void panObjectDiffDblClick();
  // Repairs the ticked objects through the repair dialog and takes the repaired off the list.
  void btnSynchronizeClick();

  ILog* FLog;
  std::unique_ptr<IGuiSettings> fGuiSettings;
  std::unique_ptr<TCheckSession> FSession;
  std::unique_ptr<TRunController> FRun;
  std::unique_ptr<TRunPanel> FRunPanel;
  std::unique_ptr<TSourcePanes> FSourcePanes;
  // The list's rows over the run panel's outcome.
  std::unique_ptr<TAnomalyListModel> FAnomalies;
  TfrmLogin* FLoginDialog = nullptr;
  QString FConnectionStringFailure;
  bool FFormShown = false;
  // Closing was asked for during a run: the window closes when the run has ended.
  bool FCloseWhenDone = false;
  QString FBaseline;
};

}  // namespace quillon
