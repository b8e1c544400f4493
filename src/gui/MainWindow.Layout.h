// The main window's controls and actions, and the code that builds and lays them out; what they
// do is the window's and its parts' (run panel, source panes) to connect.
#pragma once

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QLineEdit;
class QListView;
class QMainWindow;
class QMenu;
class QPushButton;
class QSplitter;
class QProgressBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class QWidget;

namespace quillon {

class TDiffGrid;
class TDiffLegend;
class TSqlEditor;
class TVersionTabSet;

// The window inherits its controls, as a form inherits what its designer built: the parts and
// the tests reach every control by its name.
class TMainWindowLayout {
public:
  // Builds every control and action into AWindow, which owns them.
  void CreateControls(QMainWindow* AWindow);

  // Top strip
  QFrame* panTop = nullptr;
  QLabel* imgLogo = nullptr;
  QLabel* lblMainHeader = nullptr;
  QLabel* lblConnection = nullptr;
  QToolButton* btnConnect = nullptr;
  // Left column
  QFrame* panSelectObjects = nullptr;
  QFrame* panObjectTypesHeader = nullptr;
  QLabel* hdrObjectTypes = nullptr;
  QCheckBox* chkAllKinds = nullptr;
  QListWidget* lstKinds = nullptr;
  QPushButton* btnBaseline = nullptr;
  QLabel* lblBaseline = nullptr;
  QFrame* panCompare = nullptr;
  QToolButton* btnPublish = nullptr;
  QToolButton* btnCancelRun = nullptr;
  QProgressBar* pbProgress = nullptr;
  QLabel* lblProgress = nullptr;
  // What the last run compared per kind and what it found besides anomalies.
  QLabel* lblFindings = nullptr;
  QLabel* lblFailure = nullptr;
  QFrame* panAnomalies = nullptr;
  QFrame* panObjectDiff = nullptr;
  QLabel* hdrObjectDiff = nullptr;
  QLineEdit* edtFilter = nullptr;
  QPushButton* btnTickAll = nullptr;
  QPushButton* btnTickNone = nullptr;
  QListView* lstAnomalies = nullptr;
  QToolButton* btnSynchronize = nullptr;
  // Right: the page control
  QTabWidget* tabsDetail = nullptr;
  QWidget* tbsSourceCode = nullptr;
  QWidget* panMain = nullptr;
  QFrame* panLocal = nullptr;
  QFrame* panLocalDDLHeader = nullptr;
  QLabel* hdrLocalDDL = nullptr;
  QToolBar* tbLocalDDL = nullptr;
  QToolButton* btnPostChange = nullptr;
  TSqlEditor* memLocal = nullptr;
  QFrame* panStandard = nullptr;
  QFrame* panStandardDDLHeader = nullptr;
  QLabel* hdrStandardDDL = nullptr;
  TSqlEditor* memOfficial = nullptr;
  QMenu* mnuOfficialDDL = nullptr;
  TVersionTabSet* tabsetVersions = nullptr;
  QWidget* tbsDiffViewer = nullptr;
  QFrame* panSourceDiff = nullptr;
  QLabel* hdrSourceDiff = nullptr;
  QFrame* panDiffViewer = nullptr;
  TDiffGrid* grdDiff = nullptr;
  TDiffLegend* lgdDiff = nullptr;

  QSplitter* splMain = nullptr;

  QAction* actConnect = nullptr;
  QAction* actPostChange = nullptr;
  QAction* actSynchronize = nullptr;
  QAction* actCompare = nullptr;
  QAction* actCancelRun = nullptr;
  QAction* actExportReport = nullptr;

private:
  void CreateActions(QMainWindow* AWindow);
  QWidget* CreateTopStrip(QWidget* AParent);
  QWidget* CreateLeftColumn(QWidget* AParent);
  QWidget* CreateSourcePage(QWidget* AParent);
  QWidget* CreateDiffPage(QWidget* AParent);
};

}  // namespace quillon
