#include "gui/MainQuillon.h"

#include "gui/Component.SqlEditor.h"
#include "gui/Component.VersionTabSet.h"
#include "gui/Gui.Application.h"
#include "gui/Gui.RunController.h"
#include "gui/Interfaces.Progress.h"
#include "gui/VclForm.Approval.h"
#include "gui/VclForm.Progress.h"
#include "gui/VclForm.Repair.h"
#include "compare/Compare.RunStatus.h"
#include "compare/Describer.h"
#include "compare/Repair.Script.h"
#include "compare/Xml.NodeList.h"
#include "database/Database.ConnectionString.h"
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "gui/VclForm.Login.h"
#include "gui/Component.DiffGrid.h"
#include "gui/Component.DiffLegend.h"
#include "drift/Drift.Texts.h"
#include "infra/settings/Interfaces.Settings.h"
#include "gui/Gui.Fonts.h"
#include "gui/Gui.Settings.h"
#include "infra/text/Support.Format.h"
#include "infra/settings/Utils.Params.h"
#include "report/Report.Render.h"
#include "session/Session.Kinds.h"
#include "session/Session.Results.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Routines.h"
#include "schema/Schemata.h"
#include "schema/Tables.h"
#include "service/OstrelService.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

namespace {


// The baseline snapshot is kept in the settings under this section and key.
const char* const BaselineSection = "Baseline";
const char* const BaselineKey = "File";

// The settings keep the width of the left column as the splitter's "Position".
const char* const SplitterPosition = "Position";
constexpr qint32 DefaultLeftWidth = 273;

// The window's own picture in the top strip: the database drum of the program.
QPixmap HeaderPicture() {
  QPixmap Picture(28, 28);
  Picture.fill(Qt::transparent);
  QPainter Painter(&Picture);
  Painter.setRenderHint(QPainter::Antialiasing);
  Painter.setPen(QPen(QColor(0x2C, 0x55, 0x80), 1.2));
  Painter.setBrush(QColor(0x3A, 0x6E, 0xA5));
  Painter.drawRoundedRect(QRectF(5, 5, 18, 19), 9, 4);
  Painter.setBrush(QColor(0x8F, 0xB8, 0xE0));
  Painter.drawEllipse(QRectF(5, 3, 18, 7));
  return Picture;
}

// Controls stacked top to bottom in AOwner.
QVBoxLayout* StackLayout(QWidget* AOwner, qint32 ASpacing, const QMargins& AMargins = {}) {
  auto* Result = new QVBoxLayout(AOwner);
  Result->setContentsMargins(AMargins);
  Result->setSpacing(ASpacing);
  return Result;
}

QFrame* Panel(const QString& AName, QWidget* AParent) {
  auto* Result = new QFrame(AParent);
  Result->setObjectName(AName);
  return Result;
}

// A header panel holding its caption label.
QFrame* HeaderPanel(const QString& APanelName, QLabel*& ALabel, const QString& ALabelName, const QString& ACaption,
                    QWidget* AParent) {
  QFrame* Result = Panel(APanelName, AParent);
  ALabel = new QLabel(ACaption, Result);
  ALabel->setObjectName(ALabelName);
  auto* Layout = new QHBoxLayout(Result);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(ALabel);
  return Result;
}

QToolButton* ActionButton(const QString& AName, QAction* AAction, QWidget* AParent) {
  auto* Result = new QToolButton(AParent);
  Result->setObjectName(AName);
  Result->setDefaultAction(AAction);
  Result->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Result->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  Result->setFixedHeight(57);
  return Result;
}

QListWidget* CheckList(const QString& AName, const QFont& AFont, QWidget* AParent) {
  auto* Result = new QListWidget(AParent);
  Result->setObjectName(AName);
  Result->setFont(AFont);
  return Result;
}

QListWidgetItem* AddCheckItem(QListWidget* AList, const QString& AText) {
  auto* Item = new QListWidgetItem(AText, AList);
  Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
  Item->setCheckState(Qt::Unchecked);
  return Item;
}

// Qt's event dispatch must never see an exception unwind through it: each handler hands its
// failure to the default error handler itself.
template <class F>
void Guarded(F&& AHandler) {
  try {
    AHandler();
  } catch (...) {
    HandleException();
  }
}

template <class T>
auto GuardedSlot(T* AOwner, void (T::*AMethod)()) {
  return [AOwner, AMethod] { Guarded([AOwner, AMethod] { (AOwner->*AMethod)(); }); };
}

// The server's answers to a login it refuses: wrong name or password, untrusted domain,
// disabled or locked login, expired password.
bool LoginRefused(const EOdbcError& AError) {
  static const QList<qint32> Refusals{18456, 18452, 18470, 18486, 18487, 18488};
  return std::any_of(AError.Diagnostics().cbegin(), AError.Diagnostics().cend(),
                     [](const TOdbcDiagnostic& ADiagnostic) { return Refusals.contains(ADiagnostic.NativeError); });
}

// The kind shown in front of a name; the list's font is fixed-width, so the names line up.
QString KindTag(const QString& AKind) { return AKind.leftJustified(8); }

}  // namespace

TfrmDbPublish::TfrmDbPublish(QWidget* AParent) : QMainWindow(AParent), FLog(GlobalLog) {
  setObjectName(QStringLiteral("frmDbPublish"));
  CreateControls();
  FormCreate();
}

TfrmDbPublish::~TfrmDbPublish() { FormDestroy(); }

void TfrmDbPublish::CreateControls() {
  setWindowTitle(QStringLiteral("Ulmora Quillon"));
  setFont(UiFont(FaceTahoma, 8));
  resize(1121, 833);
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());

  actPostChange = new QAction(QStringLiteral("Approve local"), this);
  actPostChange->setObjectName(QStringLiteral("actPostChange"));
  actPostChange->setToolTip(QStringLiteral("Approve local version as gold standard"));
  actPostChange->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  actSynchonize = new QAction(QStringLiteral("Repair selected objects"), this);
  actSynchonize->setObjectName(QStringLiteral("actSynchonize"));
  actSynchonize->setToolTip(QStringLiteral("Synchronize selected objects with gold standard"));
  actCompare = new QAction(QStringLiteral("Compare selected object classes"), this);
  actCompare->setObjectName(QStringLiteral("actCompare"));
  actCompare->setToolTip(QStringLiteral("Compares selected database objects to gold standard"));
  actCancelRun = new QAction(QStringLiteral("Cancel"), this);
  actCancelRun->setObjectName(QStringLiteral("actCancelRun"));
  actCancelRun->setToolTip(QStringLiteral("Stop the comparison after the current object (Escape)"));
  actCancelRun->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
  connect(actCancelRun, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actCancelRunExecute));
  actConnect = new QAction(QStringLiteral("Connect"), this);
  actConnect->setObjectName(QStringLiteral("actConnect"));
  actConnect->setToolTip(QStringLiteral("Connect to the database (Ctrl+L)"));
  actConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  addAction(actConnect);
  connect(actConnect, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actConnectExecute));
  connect(actPostChange, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actPostChangeExecute));
  connect(actSynchonize, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::btnSynchronizeClick));
  connect(actCompare, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actCompareExecute));
  actExportReport = new QAction(QStringLiteral("Export report\u2026"), this);
  actExportReport->setObjectName(QStringLiteral("actExportReport"));
  actExportReport->setToolTip(QStringLiteral("Writes the HTML report of the last compare run"));
  actExportReport->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  actExportReport->setEnabled(false);
  connect(actExportReport, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actExportReportExecute));

  auto* Client = new QWidget(this);
  setCentralWidget(Client);
  auto* ClientLayout = StackLayout(Client, 0);

  panTop = Panel(QStringLiteral("panTop"), Client);
  panTop->setFixedHeight(41);
  panTop->setAutoFillBackground(true);
  QPalette White = panTop->palette();
  White.setColor(QPalette::Window, Qt::white);
  panTop->setPalette(White);
  Image1 = new QLabel(panTop);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(HeaderPicture());
  lblMainHeader = new QLabel(QStringLiteral("Ulmora Quillon"), panTop);
  lblMainHeader->setObjectName(QStringLiteral("lblMainHeader"));
  lblMainHeader->setFont(UiFont(FaceSegoeUi, 16, true));
  lblConnection = new QLabel(QStringLiteral("Not connected"), panTop);
  lblConnection->setObjectName(QStringLiteral("lblConnection"));
  lblConnection->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblConnection->setTextFormat(Qt::PlainText);
  btnConnect = new QToolButton(panTop);
  btnConnect->setObjectName(QStringLiteral("btnConnect"));
  btnConnect->setDefaultAction(actConnect);
  auto* TopLayout = new QHBoxLayout(panTop);
  TopLayout->setContentsMargins(8, 0, 12, 0);
  TopLayout->setSpacing(8);
  TopLayout->addWidget(Image1);
  TopLayout->addWidget(lblMainHeader);
  TopLayout->addStretch();
  TopLayout->addWidget(lblConnection);
  TopLayout->addWidget(btnConnect);
  ClientLayout->addWidget(panTop);

  splMain = new QSplitter(Qt::Horizontal, Client);
  splMain->setObjectName(QStringLiteral("splMain"));
  splMain->setContentsMargins(4, 4, 4, 4);
  splMain->setChildrenCollapsible(false);
  splMain->addWidget(CreateLeftColumn());

  RzPageControl1 = new QTabWidget(Client);
  RzPageControl1->setObjectName(QStringLiteral("RzPageControl1"));
  RzPageControl1->addTab(CreateSourcePage(), QStringLiteral("Source code"));
  RzPageControl1->addTab(CreateDiffPage(), QStringLiteral("Differences"));
  RzPageControl1->setCurrentWidget(tbsDiffViewer);
  splMain->addWidget(RzPageControl1);
  splMain->setStretchFactor(1, 1);
  ClientLayout->addWidget(splMain, 1);
}

QWidget* TfrmDbPublish::CreateLeftColumn() {
  auto* Column = new QWidget(this);
  Column->setObjectName(QStringLiteral("panLeft"));
  Column->setMinimumWidth(220);
  auto* Layout = StackLayout(Column, 4);

  panSelectObjects = Panel(QStringLiteral("panSelectObjects"), Column);
  auto* SelectLayout = StackLayout(panSelectObjects, 2);
  panObjectTypesHeader = HeaderPanel(QStringLiteral("panObjectTypesHeader"), hdrObjectTypes,
                                     QStringLiteral("hdrObjectTypes"), QStringLiteral("Select objects to compare"),
                                     panSelectObjects);
  SelectLayout->addWidget(panObjectTypesHeader);
  CheckBox1 = new QCheckBox(QStringLiteral("Select all"), panSelectObjects);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  connect(CheckBox1, &QCheckBox::clicked, this, GuardedSlot(this, &TfrmDbPublish::CheckBox1Click));
  auto* SelectAllRow = new QHBoxLayout;
  SelectAllRow->setContentsMargins(6, 2, 4, 0);
  SelectAllRow->addWidget(CheckBox1);
  SelectAllRow->addStretch();
  btnBaseline = new QPushButton(QStringLiteral("Baseline\u2026"), panSelectObjects);
  btnBaseline->setObjectName(QStringLiteral("btnBaseline"));
  connect(btnBaseline, &QPushButton::clicked, this, GuardedSlot(this, &TfrmDbPublish::btnBaselineClick));
  SelectAllRow->addWidget(btnBaseline);
  SelectLayout->addLayout(SelectAllRow);
  CheckListBox1 = CheckList(QStringLiteral("CheckListBox1"), UiFont(FaceSegoeUi, 9), panSelectObjects);
  for (const TCheckKind& Kind : CheckKinds())
    AddCheckItem(CheckListBox1, Kind.Caption);
  CheckListBox1->setSpacing(1);
  CheckListBox1->setFixedHeight((CheckListBox1->sizeHintForRow(0) + 2) * CheckKinds().size() +
                                2 * CheckListBox1->frameWidth() + 4);
  SelectLayout->addWidget(CheckListBox1);
  lblBaseline = new QLabel(panSelectObjects);
  lblBaseline->setObjectName(QStringLiteral("lblBaseline"));
  lblBaseline->setIndent(4);
  lblBaseline->setTextFormat(Qt::PlainText);
  lblBaseline->setWordWrap(true);
  SelectLayout->addWidget(lblBaseline);
  connect(CheckListBox1, &QListWidget::itemChanged, this, GuardedSlot(this, &TfrmDbPublish::UpdateCompareEnabled));
  Layout->addWidget(panSelectObjects);

  panCompare = Panel(QStringLiteral("panCompare"), Column);
  auto* CompareLayout = StackLayout(panCompare, 4);
  btnPublish = ActionButton(QStringLiteral("btnPublish"), actCompare, panCompare);
  CompareLayout->addWidget(btnPublish);
  // Takes the place of Compare while a run lasts.
  btnCancelRun = ActionButton(QStringLiteral("btnCancelRun"), actCancelRun, panCompare);
  btnCancelRun->hide();
  CompareLayout->addWidget(btnCancelRun);
  pbProgress = new QProgressBar(panCompare);
  pbProgress->setObjectName(QStringLiteral("pbProgress"));
  pbProgress->setRange(0, 100);
  pbProgress->setValue(0);
  pbProgress->setTextVisible(false);
  pbProgress->setFixedHeight(25);
  CompareLayout->addWidget(pbProgress);
  lblProgress = new QLabel(QStringLiteral("No activity"), panCompare);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  lblProgress->setIndent(4);
  CompareLayout->addWidget(lblProgress);
  // Stays visible after a failed run, beside the count, until the next run starts.
  lblFindings = new QLabel(panCompare);
  lblFindings->setObjectName(QStringLiteral("lblFindings"));
  lblFindings->setWordWrap(true);
  lblFindings->setIndent(4);
  lblFindings->setTextFormat(Qt::PlainText);
  CompareLayout->addWidget(lblFindings);

  lblFailure = new QLabel(panCompare);
  lblFailure->setObjectName(QStringLiteral("lblFailure"));
  lblFailure->setWordWrap(true);
  lblFailure->setIndent(4);
  lblFailure->setTextFormat(Qt::PlainText);
  lblFailure->setStyleSheet(QStringLiteral("color: #B00020;"));
  lblFailure->hide();
  CompareLayout->addWidget(lblFailure);
  Layout->addWidget(panCompare);

  Panel3 = Panel(QStringLiteral("Panel3"), Column);
  auto* AnomalyLayout = StackLayout(Panel3, 0);
  panObjectDiff = HeaderPanel(QStringLiteral("panObjectDiff"), hdrObjectDiff, QStringLiteral("hdrObjectDiff"),
                              QStringLiteral("Objects with discrepancies"), Panel3);
  panObjectDiff->installEventFilter(this);
  hdrObjectDiff->installEventFilter(this);
  AnomalyLayout->addWidget(panObjectDiff);
  edtFilter = new QLineEdit(Panel3);
  edtFilter->setObjectName(QStringLiteral("edtFilter"));
  edtFilter->setPlaceholderText(QStringLiteral("Filter"));
  edtFilter->setClearButtonEnabled(true);
  connect(edtFilter, &QLineEdit::textChanged, this, GuardedSlot(this, &TfrmDbPublish::FilterAnomalies));
  btnTickAll = new QPushButton(QStringLiteral("Tick all"), Panel3);
  btnTickAll->setObjectName(QStringLiteral("btnTickAll"));
  btnTickAll->setToolTip(QStringLiteral("Tick every listed object (Ctrl+A)"));
  connect(btnTickAll, &QPushButton::clicked, this, GuardedSlot(this, &TfrmDbPublish::btnTickAllClick));
  btnTickNone = new QPushButton(QStringLiteral("Tick none"), Panel3);
  btnTickNone->setObjectName(QStringLiteral("btnTickNone"));
  connect(btnTickNone, &QPushButton::clicked, this, GuardedSlot(this, &TfrmDbPublish::btnTickNoneClick));
  auto* ListTools = new QHBoxLayout;
  ListTools->setContentsMargins(0, 2, 0, 2);
  ListTools->setSpacing(2);
  ListTools->addWidget(edtFilter, 1);
  ListTools->addWidget(btnTickAll);
  ListTools->addWidget(btnTickNone);
  AnomalyLayout->addLayout(ListTools);
  lbAnomalies = CheckList(QStringLiteral("lbAnomalies"), UiFont(FaceCourierNew, 9), Panel3);
  // Only the user's choice shows an object: code that changes the list blocks its signals.
  connect(lbAnomalies, &QListWidget::currentItemChanged, this, GuardedSlot(this, &TfrmDbPublish::lbAnomaliesClick));
  // A click on the row already highlighted shows it again (a versions page that failed is
  // asked again); a click on another row is handled as a change of the current row.
  lbAnomalies->viewport()->installEventFilter(this);
  auto* TickAll = new QAction(lbAnomalies);
  TickAll->setShortcut(QKeySequence::SelectAll);
  TickAll->setShortcutContext(Qt::WidgetShortcut);
  lbAnomalies->addAction(TickAll);
  connect(TickAll, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::btnTickAllClick));
  AnomalyLayout->addWidget(lbAnomalies, 1);
  Layout->addWidget(Panel3, 1);

  btnSynchronize = ActionButton(QStringLiteral("btnSynchronize"), actSynchonize, Column);
  Layout->addWidget(btnSynchronize);
  return Column;
}

QWidget* TfrmDbPublish::CreateSourcePage() {
  TabSheet3 = new QWidget(this);
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  auto* PageLayout = StackLayout(TabSheet3, 0);
  panMain = new QWidget(TabSheet3);
  panMain->setObjectName(QStringLiteral("panMain"));
  panMain->installEventFilter(this);
  PageLayout->addWidget(panMain);

  panLocal = Panel(QStringLiteral("panLocal"), panMain);
  panLocal->setContentsMargins(0, 0, 0, 0);
  auto* LocalLayout = StackLayout(panLocal, 0);
  panLocalDDLHeader = HeaderPanel(QStringLiteral("panLocalDDLHeader"), hdrLocalDDL, QStringLiteral("hdrLocalDDL"),
                                  QStringLiteral("Local DDL"), panLocal);
  LocalLayout->addWidget(panLocalDDLHeader);
  ToolBar1 = new QToolBar(panLocal);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->addAction(actPostChange);
  btnPostChange = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(actPostChange));
  btnPostChange->setObjectName(QStringLiteral("btnPostChange"));
  LocalLayout->addWidget(ToolBar1);
  memLocal = new TSqlEditor(panLocal);
  memLocal->setObjectName(QStringLiteral("memLocal"));
  connect(memLocal, &QsciScintilla::textChanged, this, GuardedSlot(this, &TfrmDbPublish::UpdateApproveAction));
  LocalLayout->addWidget(memLocal, 1);

  panStandard = Panel(QStringLiteral("panStandard"), panMain);
  auto* StandardLayout = StackLayout(panStandard, 0);
  panStandardDDLHeader = HeaderPanel(QStringLiteral("panStandardDDLHeader"), hdrStandardDDL,
                                     QStringLiteral("hdrStandardDDL"), QStringLiteral("Official DDL"), panStandard);
  StandardLayout->addWidget(panStandardDDLHeader);
  memOfficial = new TSqlEditor(panStandard);
  memOfficial->setObjectName(QStringLiteral("memOfficial"));
  memOfficial->setReadOnly(true);
  PopupMenu1 = new QMenu(memOfficial);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->addAction(actPostChange);
  memOfficial->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(memOfficial, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& APos) { Guarded([&] { PopupMenu1->popup(memOfficial->mapToGlobal(APos)); }); });
  StandardLayout->addWidget(memOfficial, 1);
  tabsetVersions = new TVersionTabSet(panStandard);
  tabsetVersions->setObjectName(QStringLiteral("tabsetVersions"));
  connect(tabsetVersions, &TVersionTabSet::Clicked, this, GuardedSlot(this, &TfrmDbPublish::tabsetVersionsClick));
  StandardLayout->addWidget(tabsetVersions);

  auto* Split = StackLayout(panMain, 4, QMargins(0, 4, 0, 4));
  Split->addWidget(panLocal);
  Split->addWidget(panStandard, 1);
  return TabSheet3;
}

QWidget* TfrmDbPublish::CreateDiffPage() {
  tbsDiffViewer = new QWidget(this);
  tbsDiffViewer->setObjectName(QStringLiteral("tbsDiffViewer"));
  tbsDiffViewer->installEventFilter(this);
  auto* Layout = StackLayout(tbsDiffViewer, 0, QMargins(0, 4, 0, 0));
  panSourceDiff = HeaderPanel(QStringLiteral("panSourceDiff"), hdrSourceDiff, QStringLiteral("hdrSourceDiff"),
                              QStringLiteral("Diff viewer"), tbsDiffViewer);
  Layout->addWidget(panSourceDiff);
  panDiffViewer = Panel(QStringLiteral("panDiffViewer"), tbsDiffViewer);
  Layout->addWidget(panDiffViewer, 1);
  return tbsDiffViewer;
}

void TfrmDbPublish::FormCreate() {
  FRun = new TRunController(this);
  FSession = std::make_unique<TCheckSession>(FLog, FRun);
  FLoginDialog = new TfrmLogin(this);
  FSession->Database().SetLoginDialog(FLoginDialog);
  connect(FRun, &TRunController::Status, this, [this](const QString& AText) {
    lblProgress->setText(AText);
    // Each step is seen, however quickly the next follows.
    lblProgress->repaint();
  });
  connect(FRun, &TRunController::CatalogueReading, this, [this] {
    lblProgress->setText(QStringLiteral("Analyzing database..."));
    lblProgress->repaint();
  });
  connect(FRun, &TRunController::Progress, this, &TfrmDbPublish::ShowRunProgress);
  actCancelRun->setShortcut(QKeySequence(Qt::Key_Escape));
  actCancelRun->setEnabled(false);
  addAction(actCancelRun);
  actSynchonize->setEnabled(false);
  actSynchonize->setIcon(style()->standardIcon(QStyle::SP_VistaShield));
  fGuiSettings = std::make_unique<TGuiSettings>(this, GlobalSettings, FLog);
  fGuiSettings->LoadMainForm();
  if (GlobalSettings != nullptr)
    FBaseline = GlobalSettings->ReadString(scopeUser, BaselineSection, BaselineKey, QString());
  ShowBaselineChoice();
  splMain->setProperty(SplitterPosition, DefaultLeftWidth);
  fGuiSettings->LoadPosition(splMain, QString());
  const qint32 LeftWidth = splMain->property(SplitterPosition).toInt();
  splMain->setSizes({LeftWidth, std::max(width() - LeftWidth, 1)});
  memLocal->SetLineNumbers(14, 8, 28);
  fVersionSourceCode = std::make_unique<QHash<QString, QString>>();
  tabsetVersions->Clear();
  SetConnectionString(ConnectionStringFromParams(TParamList::CreateFromCommandLine()));
  fDiffGrid = new TDiffGrid(panDiffViewer);
  fDiffGrid->setObjectName(QStringLiteral("fDiffGrid"));
  fDiffGrid->setFrameShape(QFrame::NoFrame);
  // The buttons in a tool bar and the legend beside it, where a narrow window cuts the legend
  // short instead of hiding it behind the bar's overflow button.
  auto* DiffStrip = new QWidget(panDiffViewer);
  auto* StripLayout = new QHBoxLayout(DiffStrip);
  StripLayout->setContentsMargins(0, 0, 0, 0);
  auto* DiffBar = new QToolBar(DiffStrip);
  DiffBar->setObjectName(QStringLiteral("tbDiffNavigation"));
  DiffBar->setIconSize(QSize(16, 16));
  DiffBar->addAction(fDiffGrid->PreviousChangeAction());
  DiffBar->addAction(fDiffGrid->NextChangeAction());
  DiffBar->addAction(actExportReport);
  fDiffLegend = new TDiffLegend(DiffStrip);
  fDiffLegend->setObjectName(QStringLiteral("DiffLegend"));
  fDiffLegend->SetSideNames(QStringLiteral("gold"), QStringLiteral("local"));
  DiffBar->setMinimumWidth(DiffBar->sizeHint().width());
  fDiffLegend->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  StripLayout->addWidget(DiffBar);
  StripLayout->addWidget(fDiffLegend, 1);
  auto* DiffLayout = StackLayout(panDiffViewer, 0);
  DiffLayout->addWidget(DiffStrip);
  DiffLayout->addWidget(fDiffGrid);
  if (GlobalGuiStyle != nullptr)
    GlobalGuiStyle->RegisterClient(this);
  ShowConnectionState();
}

void TfrmDbPublish::SetConnectionString(const QString& AValue) {
  FConnectionStringFailure.clear();
  try {
    FSession->Database().SetConnectionString(AValue);
  } catch (const Exception& E) {
    FConnectionStringFailure = E.Message();
  }
}

void TfrmDbPublish::FormDestroy() {
  // The controls outlive this object's own part: their last signals must not reach it.
  for (QObject* Sender : std::initializer_list<QObject*>{lbAnomalies, tabsetVersions, memLocal, edtFilter})
    Sender->disconnect(this);
  if (GlobalGuiStyle != nullptr)
    GlobalGuiStyle->UnregisterClient(this);
  fCurrentSource = nullptr;
  fVersionSourceCode.reset();
  fGuiSettings->SaveMainForm();
  splMain->setProperty(SplitterPosition, splMain->sizes().value(0));
  fGuiSettings->SavePosition(splMain, QString());
  // A run still going ends first, then the connection goes before its login dialog, which Qt
  // frees with the window's children.
  delete FRun;
  FRun = nullptr;
  FSession.reset();
}

void TfrmDbPublish::showEvent(QShowEvent* AEvent) {
  QMainWindow::showEvent(AEvent);
  if (FFormShown)
    return;
  FFormShown = true;
  // From the message loop, so that the window is on screen first.
  QTimer::singleShot(0, this, GuardedSlot(this, &TfrmDbPublish::FormShow));
}

void TfrmDbPublish::FormShow() { actConnectExecute(); }

void TfrmDbPublish::actConnectExecute() {
  if (Running())
    return;
  const auto ShowOutcome = qScopeGuard([this] { ShowConnectionState(); });
  if (!FConnectionStringFailure.isEmpty())
    throw Exception(FConnectionStringFailure);
  TSimpleDatabase& Database = FSession->Database();
  const std::unique_ptr<TfrmProgress> Progress =
      CreateProgressWindow(nullptr, QStringLiteral("Connecting to database..."));
  Progress->SetCentreOn(this);
  Progress->SetInfo(Format(QStringLiteral("%s.%s"),
                           {Database.ConnectionParameters().Server(), Database.ConnectionParameters().Database()}));
  while (const std::optional<QString> Refusal = TryConnect()) {
    // The progress window stays on top of every window: the refusal's box would open beneath it.
    Progress->hide();
    FLog->Event(QStringLiteral("%s"), {*Refusal}, ltError);
    Progress->show();
  }
  // A database without its information procedure cannot be compared: the connection is
  // given up, so that the window says what it is.
  const auto GiveUp = qScopeGuard([this, &Database] {
    if (!FSession->Ready())
      Database.Disconnect();
  });
  FSession->ReadDatabaseInfo();
}

std::optional<QString> TfrmDbPublish::TryConnect() {
  try {
    FSession->Database().Connect();
    return std::nullopt;
  } catch (const EOdbcError& E) {
    if (!LoginRefused(E))
      throw;
    // The driver's bracketed prefixes say nothing to the user; the server's words do.
    FLog->SilentError(QStringLiteral("%s"), {E.Message()});
    return E.ServerMessages();
  }
}

bool TfrmDbPublish::Connected() const { return FSession->Ready(); }

TSimpleDatabase& TfrmDbPublish::SourceDb() const { return FSession->Database(); }

bool TfrmDbPublish::Running() const { return FRun != nullptr && FRun->Running(); }

void TfrmDbPublish::ShowConnectionState() {
  const bool Ready = Connected();
  const TDatabaseInfo& Info = FSession->Info();
  lblConnection->setText(Ready ? Format(QStringLiteral("Server: %s   Database: %s\nLogin: %s   Version: %d"),
                                        {Info.Server, Info.DatabaseName,
                                         Info.Login.isEmpty() ? QStringLiteral("(integrated)") : Info.Login,
                                         Info.Version})
                               : QStringLiteral("Not connected"));
  btnConnect->setVisible(!Ready);
  actConnect->setEnabled(!Ready);
  UpdateCompareEnabled();
}

void TfrmDbPublish::closeEvent(QCloseEvent* AEvent) {
  if (!Running()) {
    QMainWindow::closeEvent(AEvent);
    return;
  }
  // The run ends between two objects, and the window with it: nothing is left half-done.
  AEvent->ignore();
  Guarded([this] {
    if (FCloseWhenDone ||
        !FLog->LogYesNo(QStringLiteral("A run is going on. Cancel it and close the window?"), ltWarning, false))
      return;
    FCloseWhenDone = true;
    actCancelRunExecute();
  });
}

bool TfrmDbPublish::eventFilter(QObject* AWatched, QEvent* AEvent) {
  bool Handled = false;
  Guarded([&] {
    if (AEvent->type() == QEvent::Resize) {
      if (AWatched == panMain)
        panMainResize();
      else if (AWatched == tbsDiffViewer && fDiffGrid != nullptr)
        fDiffGrid->RealignCols();
    } else if (AEvent->type() == QEvent::MouseButtonDblClick &&
               (AWatched == panObjectDiff || AWatched == hdrObjectDiff)) {
      panObjectDiffDblClick();
      Handled = true;
    } else if (AEvent->type() == QEvent::MouseButtonPress && AWatched == lbAnomalies->viewport()) {
      const QListWidgetItem* Item = lbAnomalies->itemAt(static_cast<QMouseEvent*>(AEvent)->position().toPoint());
      if (Item != nullptr && Item == lbAnomalies->currentItem())
        lbAnomaliesClick();
    }
  });
  return Handled || QMainWindow::eventFilter(AWatched, AEvent);
}

void TfrmDbPublish::panMainResize() {
  const qint32 TopMargin = panMain->layout()->contentsMargins().top();
  panLocal->setFixedHeight((panMain->contentsRect().height() - 3 * TopMargin) / 2);
}

void TfrmDbPublish::ApplyStyle(IGuiStyle* AStyle) {
  AStyle->StyleForm(this);
  AStyle->StyleTopPanel(panTop);
  AStyle->StyleHeaderPanel(panStandardDDLHeader);
  AStyle->StyleHeaderPanel(panLocalDDLHeader);
  AStyle->StyleHeaderLabel(hdrLocalDDL);
  AStyle->StyleHeaderLabel(hdrStandardDDL);
  for (const auto& [HeaderPanel, HeaderLabel] : {std::pair<QWidget*, QWidget*>{panObjectTypesHeader, hdrObjectTypes},
                                                 {panObjectDiff, hdrObjectDiff},
                                                 {panSourceDiff, hdrSourceDiff}}) {
    AStyle->StyleHeaderPanel(HeaderPanel);
    AStyle->StyleHeaderLabel(HeaderLabel);
  }
}

void TfrmDbPublish::actCancelRunExecute() {
  if (!Running())
    return;
  FCancelRequested = true;
  FRun->Cancel();
  lblProgress->setText(QStringLiteral("Cancelling..."));
}

// One bar over the whole run: the objects compared out of all the run takes part in.
void TfrmDbPublish::ShowRunProgress(qint32 ACompared, qint32 ATotal) {
  if (ATotal > 0)
    pbProgress->setValue(ACompared * 100 / ATotal);
}

void TfrmDbPublish::SetProgressState(TProgressState AState) {
  FProgressState = AState;
  QPalette Colours = pbProgress->style()->standardPalette();
  if (AState == psError)
    Colours.setColor(QPalette::Highlight, QColor(0xD0, 0x30, 0x30));
  pbProgress->setPalette(Colours);
}

QString TfrmDbPublish::RunFailure() const { return lblFailure->text(); }

void TfrmDbPublish::ShowError(const QString& AMessage) {
  SetProgressState(psError);
  lblProgress->setText(AMessage);
  lblFailure->setText(AMessage);
  lblFailure->setToolTip(AMessage);
  lblFailure->show();
  // The message is data, never a format: a "%d" in it must not break the log.
  FLog->SilentError(QStringLiteral("%s"), {AMessage});
}

void TfrmDbPublish::actCompareExecute() {
  if (Running() || !ConfirmDropEdits())
    return;
  ClearPanes();
  {
    const QSignalBlocker Quiet(lbAnomalies);
    lbAnomalies->clear();
  }
  FListedRoutines.clear();
  FOutcome = TCompareOutcome();
  lblFailure->clear();
  lblFailure->hide();
  lblFindings->clear();
  pbProgress->setValue(0);
  SetProgressState(psNormal);
  FCancelRequested = false;
  TCompareRequest Request;
  for (qint32 Row = 0; Row < CheckKinds().size(); ++Row)
    if (CheckListBox1->item(Row)->checkState() == Qt::Checked)
      Request.Kinds |= CheckKinds()[Row].Flag;
  Request.TargetName = QStringLiteral("%1.%2").arg(FSession->Info().Server, FSession->Info().DatabaseName);
  Request.BaselinePath = FBaseline;
  ShowRunning(true);
  FRun->Start(*FSession, [this, Request] { FPendingOutcome = FSession->RunCompare(Request); });
  const auto Connection = std::make_shared<QMetaObject::Connection>();
  *Connection = connect(FRun, &TRunController::Finished, this, [this, Connection] {
    disconnect(*Connection);
    Guarded([this] { CompareFinished(); });
    emit RunFinished();
    if (FCloseWhenDone)
      close();
  });
}

void TfrmDbPublish::CompareFinished() {
  FOutcome = std::move(FPendingOutcome);
  FPendingOutcome = TCompareOutcome();
  const TCompareRunStatus& Status = FOutcome.RunStatus;
  if (FCancelRequested && !Status.Complete())
    FLog->SilentWarning(QStringLiteral("%s"), {RunStatusText()});
  else if (!Status.Complete())
    ShowError(FOutcome.Result.Error);
  else
    pbProgress->setValue(100);
  FRepairedCount = 0;
  ListOutcome();
  FilterAnomalies();
  ShowRunning(false);
  ShowRunOutcome();
}

void TfrmDbPublish::ShowRunning(bool ARunning) {
  btnPublish->setVisible(!ARunning);
  btnCancelRun->setVisible(ARunning);
  for (QWidget* Control : std::initializer_list<QWidget*>{CheckBox1, CheckListBox1, btnBaseline, edtFilter, btnTickAll,
                                                          btnTickNone, lbAnomalies})
    Control->setEnabled(!ARunning);
  actCancelRun->setEnabled(ARunning);
  if (ARunning) {
    for (QAction* Action : {actConnect, actCompare, actSynchonize, actPostChange, actExportReport})
      Action->setEnabled(false);
    return;
  }
  bool AnyTickable = false;
  for (qint32 I = 0; I < lbAnomalies->count(); ++I)
    AnyTickable = AnyTickable || lbAnomalies->item(I)->flags().testFlag(Qt::ItemIsUserCheckable);
  actSynchonize->setEnabled(AnyTickable);
  actExportReport->setEnabled(!FOutcome.Result.Name.isEmpty());
  UpdateApproveAction();
  ShowConnectionState();
}

QListWidgetItem* TfrmDbPublish::AddRow(const QString& AText, TListedRow AKind, qsizetype AIndex, bool ATickable) {
  auto* Item = new QListWidgetItem(AText, lbAnomalies);
  Item->setData(RowKindRole, AKind);
  Item->setData(RowIndexRole, QVariant::fromValue(AIndex));
  // A long name is read in full from its tip.
  Item->setToolTip(AText);
  if (ATickable) {
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(Qt::Unchecked);
    return Item;
  }
  // Nothing to repair: listed without a tick, and set in italics, the group reads apart from
  // the anomalies above it.
  Item->setFlags(Item->flags() & ~Qt::ItemIsUserCheckable);
  QFont Slanted = lbAnomalies->font();
  Slanted.setItalic(true);
  Item->setFont(Slanted);
  return Item;
}

void TfrmDbPublish::ListOutcome() {
  const QSignalBlocker Quiet(lbAnomalies);
  for (qsizetype I = 0; I < FOutcome.Result.Anomalies.size(); ++I) {
    const TAnomalyRecord& Anomaly = FOutcome.Result.Anomalies[I];
    AddRow(KindTag(Anomaly.Kind) + Anomaly.FullName, lrAnomaly, I, true)->setData(AnomalyNameRole, Anomaly.FullName);
  }
  const QList<TFinding>& Findings = FOutcome.RunStatus.Findings();
  for (qsizetype I = 0; I < Findings.size(); ++I)
    AddRow(QStringLiteral("%1 %2 (%3)")
               .arg(Findings[I].Kind.toUpper(), Findings[I].FullName, FindingStatusText(Findings[I].Status)),
           lrFinding, I, false);
  // Drift is listed without a tick, like a finding: a baseline is no gold standard to repair to.
  const QList<TDriftItem>& Drift = FOutcome.Drift.Items;
  for (qsizetype I = 0; I < Drift.size(); ++I)
    AddRow(QStringLiteral("DRIFT %1 %2 (%3)")
               .arg(DriftKindName(Drift[I].Kind).leftJustified(8), Drift[I].FullName, DriftChangeName(Drift[I].Change)),
           lrDrift, I, false);
}

TDatabaseObject* TfrmDbPublish::ObjectOf(const QListWidgetItem* AItem) const {
  if (AItem == nullptr)
    return nullptr;
  const qsizetype Index = AItem->data(RowIndexRole).value<qsizetype>();
  switch (AItem->data(RowKindRole).toInt()) {
    case lrAnomaly:
      return FOutcome.AnomalyObjects.value(Index);
    case lrFinding:
      return FOutcome.RunStatus.Findings().value(Index).Object;
    case lrRoutine:
      return FListedRoutines.value(Index);
    default:
      return nullptr;
  }
}

void TfrmDbPublish::ExportReport(const QString& AFileName) {
  const QByteArray Report = RenderReport(TReportFormat::Html, {FOutcome.Result}, false);
  // An old report is replaced only by a complete new one.
  QSaveFile File(AFileName);
  if (!File.open(QIODevice::WriteOnly) || File.write(Report) != Report.size() || !File.commit())
    throw Exception(Format(QStringLiteral("Cannot write the report to \"%s\". %s"), {AFileName, File.errorString()}));
}

void TfrmDbPublish::actExportReportExecute() {
  const QString FileName = QFileDialog::getSaveFileName(
      this, QStringLiteral("Export report"),
      QDir::home().filePath(QStringLiteral("%1.%2.html").arg(FSession->Info().Server, FSession->Info().DatabaseName)),
      QStringLiteral("HTML pages (*.html)"));
  if (!FileName.isEmpty())
    ExportReport(FileName);
}

// The count of anomalies (and of those repaired since), or how far a run that stopped came;
// the findings as their own group below the anomalies, with what was compared per kind.
QString TfrmDbPublish::RunStatusText() const {
  const TCompareRunStatus& Status = FOutcome.RunStatus;
  if (!Status.Complete() && FCancelRequested)
    return Format(QStringLiteral("Cancelled after %d of %d objects"), {Status.Compared(), Status.Total()});
  if (!Status.Complete())
    return Status.StoppedText();
  QString Text = Format(QStringLiteral("Found %d anomalies"), {static_cast<qint32>(FOutcome.Result.Anomalies.size())});
  if (FRepairedCount > 0)
    Text += Format(QStringLiteral(", %d repaired"), {FRepairedCount});
  return Text;
}

void TfrmDbPublish::ShowRunOutcome() {
  const TCompareRunStatus& Status = FOutcome.RunStatus;
  lblProgress->setText(RunStatusText());
  QStringList Lines;
  if (!Status.FindingsText().isEmpty())
    Lines.append(Status.FindingsText());
  // The drift lines say what became of the kinds the gold standard does not hold.
  if (!Status.Kinds().isEmpty())
    Lines.append(Status.ComparedText(FOutcome.Drift.Lines.isEmpty()));
  Lines.append(FOutcome.Drift.Lines);
  lblFindings->setText(Lines.join(u'\n'));
}

void TfrmDbPublish::ShowDriftItem(qsizetype AIndex) {
  ClearPanes();
  const TDriftItem& Drift = FOutcome.Drift.Items.at(AIndex);
  {
    const QSignalBlocker Quiet(memLocal);
    memLocal->setText(Drift.TargetText);
  }
  FShownLocalText = Drift.TargetText;
  memOfficial->setText(Drift.BaselineText);
  ShowDifferences(Drift.BaselineText, Format(QStringLiteral("Baseline %s"), {QFileInfo(FBaseline).fileName()}));
  fDiffLegend->SetSideNames(QStringLiteral("baseline"), QStringLiteral("local"));
}

void TfrmDbPublish::btnBaselineClick() {
  const QString FileName = QFileDialog::getOpenFileName(
      this, QStringLiteral("Baseline snapshot"), FBaseline.isEmpty() ? QDir::homePath() : QFileInfo(FBaseline).path(),
      QStringLiteral("Snapshots (*.xml)"));
  SetBaseline(FileName);
}

void TfrmDbPublish::SetBaseline(const QString& AFileName) {
  FBaseline = AFileName;
  if (GlobalSettings != nullptr)
    GlobalSettings->WriteString(scopeUser, BaselineSection, BaselineKey, FBaseline);
  ShowBaselineChoice();
}

void TfrmDbPublish::ShowBaselineChoice() {
  lblBaseline->setText(FBaseline.isEmpty()
                           ? QStringLiteral("No baseline: schemata, tables and referential constraints need one")
                           : QStringLiteral("Baseline: ") + QFileInfo(FBaseline).fileName());
  lblBaseline->setToolTip(FBaseline);
  // The kinds only a baseline compares look unavailable without one, but stay tickable: the
  // run then says they need a baseline.
  for (qint32 Row = 0; Row < CheckKinds().size(); ++Row) {
    if (CheckKinds()[Row].BaselineKinds.isEmpty())
      continue;
    QListWidgetItem* Item = CheckListBox1->item(Row);
    Item->setForeground(FBaseline.isEmpty() ? palette().brush(QPalette::Disabled, QPalette::Text)
                                            : palette().brush(QPalette::Active, QPalette::Text));
    Item->setToolTip(FBaseline.isEmpty() ? QStringLiteral("Needs a baseline snapshot (Baseline\u2026): the gold "
                                                          "standard does not hold this kind")
                                         : QStringLiteral("Compared with the baseline ") + FBaseline);
  }
}

void TfrmDbPublish::UpdateCompareEnabled() {
  bool AnyTicked = false;
  for (qint32 I = 0; I < CheckListBox1->count(); ++I)
    AnyTicked = AnyTicked || CheckListBox1->item(I)->checkState() == Qt::Checked;
  actCompare->setEnabled(AnyTicked && !Running() && Connected());
}

void TfrmDbPublish::CheckBox1Click() {
  const Qt::CheckState State = CheckBox1->isChecked() ? Qt::Checked : Qt::Unchecked;
  for (qint32 I = 0; I < CheckListBox1->count(); ++I)
    CheckListBox1->item(I)->setCheckState(State);
}

void TfrmDbPublish::FilterAnomalies() {
  const QString Filter = edtFilter->text().trimmed();
  for (qint32 I = 0; I < lbAnomalies->count(); ++I) {
    QListWidgetItem* Item = lbAnomalies->item(I);
    Item->setHidden(!Item->text().contains(Filter, Qt::CaseInsensitive));
  }
}

void TfrmDbPublish::TickVisibleAnomalies(Qt::CheckState AState) {
  for (qint32 I = 0; I < lbAnomalies->count(); ++I)
    if (QListWidgetItem* Item = lbAnomalies->item(I); !Item->isHidden() && Item->flags().testFlag(Qt::ItemIsUserCheckable))
      Item->setCheckState(AState);
}

void TfrmDbPublish::btnTickAllClick() { TickVisibleAnomalies(Qt::Checked); }

void TfrmDbPublish::btnTickNoneClick() { TickVisibleAnomalies(Qt::Unchecked); }

TDatabaseObject* TfrmDbPublish::SelectedObject() const {
  const QListWidgetItem* Item = lbAnomalies->currentItem();
  return ObjectOf(Item);
}

void TfrmDbPublish::HighlightShownObject() {
  const QSignalBlocker Quiet(lbAnomalies);
  for (qint32 I = 0; I < lbAnomalies->count(); ++I)
    if (ObjectOf(lbAnomalies->item(I)) == FShownObject) {
      lbAnomalies->setCurrentRow(I);
      return;
    }
  lbAnomalies->setCurrentItem(nullptr);
}

bool TfrmDbPublish::ConfirmDropEdits() {
  if (FShownObject == nullptr || memLocal->text() == FShownLocalText)
    return true;
  return FLog->LogYesNo(Format(QStringLiteral("The local text of %s has edits that are not stored. Drop them?"),
                               {FShownObject->FullName()}),
                        ltWarning, false);
}

void TfrmDbPublish::lbAnomaliesClick() {
  if (!ConfirmDropEdits()) {
    HighlightShownObject();
    return;
  }
  if (const QListWidgetItem* Item = lbAnomalies->currentItem();
      Item != nullptr && Item->data(RowKindRole).toInt() == lrDrift) {
    ShowDriftItem(Item->data(RowIndexRole).value<qsizetype>());
    return;
  }
  ShowObject(SelectedObject());
  // A routine missing locally has no object: its gold text is all there is to show.
  if (const QListWidgetItem* Item = lbAnomalies->currentItem(); Item != nullptr && SelectedObject() == nullptr) {
    memOfficial->setText(FOutcome.RunStatus.Findings().value(Item->data(RowIndexRole).value<qsizetype>()).GoldText);
    ShowDifferences(memOfficial->text(), DatabaseGoldCaption());
  }
}

void TfrmDbPublish::ClearPanes() {
  FShownObject = nullptr;
  fCurrentSource = nullptr;
  fVersionSourceCode->clear();
  tabsetVersions->Clear();
  {
    // Code fills the editors: that is no edit of the user's.
    const QSignalBlocker Quiet(memLocal);
    memLocal->clear();
  }
  FShownLocalText.clear();
  memOfficial->clear();
  fDiffLegend->SetSideNames(QStringLiteral("gold"), QStringLiteral("local"));
  fDiffGrid->SetLeftHeader(QStringLiteral("Gold standard definition"));
  fDiffGrid->SetRightHeader(QStringLiteral("Local object definition"));
  fDiffGrid->SetLeft(QString());
  fDiffGrid->SetRight(QString());
  UpdateApproveAction();
}

QString TfrmDbPublish::DatabaseGoldCaption() const {
  return Format(QStringLiteral("Gold standard of version %d"), {FSession->Info().Version});
}

void TfrmDbPublish::ShowDifferences(const QString& AGoldText, const QString& AGoldCaption) {
  fDiffGrid->SetLeftHeader(AGoldCaption);
  fDiffGrid->SetRightHeader(Format(QStringLiteral("Local, %s on %s"), {FSession->Info().DatabaseName, FSession->Info().Server}));
  fDiffGrid->SetLeft(AGoldText);
  fDiffGrid->SetRight(memLocal->text());
  fDiffGrid->Compare();
}

void TfrmDbPublish::ShowObject(TDatabaseObject* AObject) {
  ClearPanes();
  FShownObject = AObject;
  if (AObject == nullptr)
    return;
  fCurrentSource = dynamic_cast<ICodedObject*>(AObject);
  QString Local;
  QString Gold;
  if (const auto* Index = dynamic_cast<const TDatabaseIndex*>(AObject)) {
    // The gold standard only knows whether the index is unique, and it differs in just that.
    Local = UniquenessCaption(Index->Unique());
    Gold = UniquenessCaption(!Index->Unique());
  } else if (fCurrentSource != nullptr) {
    Local = fCurrentSource->DDL();
    Gold = fCurrentSource->GetStandardDefinition();
  }
  {
    const QSignalBlocker Quiet(memLocal);
    memLocal->setText(Local);
  }
  FShownLocalText = Local;
  memOfficial->setText(Gold);
  ShowDifferences(Gold, DatabaseGoldCaption());
  if (auto* Routine = dynamic_cast<TDatabaseRoutine*>(AObject))
    LoadRoutineVersions(Routine);
}

void TfrmDbPublish::LoadRoutineVersions(TDatabaseRoutine* ARoutine) {
  fVersionSourceCode->clear();
  tabsetVersions->Clear();
  const TXmlDocument Page =
      LoadXmlDocument(RoutineVersionsPageAddress(ARoutine->RoutineSchema(), ARoutine->RoutineName()));
  for (const TXmlNode* Node : TNodeList(Page, QStringLiteral("DbRoutine"))) {
    const TXmlNode* Version = Node->ChildElement(QStringLiteral("DbVersion"));
    const TXmlNode* Source = Node->ChildElement(QStringLiteral("SourceCode"));
    const QString VersionText = Version != nullptr ? Version->Text() : QString();
    tabsetVersions->addTab(VersionText);
    fVersionSourceCode->insert(VersionText, Source != nullptr ? Source->Text() : QString());
  }
  tabsetVersions->SetTabIndex(-1);
}

void TfrmDbPublish::tabsetVersionsClick() {
  const qint32 Index = tabsetVersions->TabIndex();
  if (Index >= 0) {
    const QString Version = tabsetVersions->tabText(Index);
    memOfficial->setText(fVersionSourceCode->value(Version));
    ShowDifferences(memOfficial->text(), Format(QStringLiteral("Gold standard of version %s"), {Version}));
    actPostChange->setToolTip(Format(QStringLiteral("Save local version as gold standard for %s"), {Version}));
  }
  UpdateApproveAction();
}

void TfrmDbPublish::UpdateApproveAction() {
  actPostChange->setEnabled(dynamic_cast<TDatabaseRoutine*>(FShownObject) != nullptr &&
                            tabsetVersions->TabIndex() >= 0 && !SameTextAscii(memLocal->text(), memOfficial->text()));
}

void TfrmDbPublish::actPostChangeExecute() {
  const qint32 Index = tabsetVersions->TabIndex();
  if (Index < 0) {
    FLog->Event(QStringLiteral("Select a version on the tabs."), ltWarning);
    return;
  }
  auto* Routine = dynamic_cast<TDatabaseRoutine*>(FShownObject);
  if (Routine == nullptr) {
    FLog->Event(QStringLiteral("Select a routine to the left."), ltWarning);
    return;
  }
  const QString VersionText = tabsetVersions->tabText(Index);
  const qint32 Version = StrToInt(VersionText);
  const QString Local = memLocal->text();
  TfrmApproval Question(
      Format(QStringLiteral("Store the local text of %s as the gold standard of version %d? It replaces the gold "
                            "text that version holds."),
             {Routine->FullName(), Version}),
      Format(QStringLiteral("Gold standard of version %d"), {Version}), fVersionSourceCode->value(VersionText), Local,
      this);
  if (Question.exec() != QDialog::Accepted)
    return;
  const std::unique_ptr<OstrelServiceSoap> Service = GetServiceProxy();
  Service->SaveDbRoutine(Routine->RoutineSchema(), Routine->RoutineName(), Routine->RoutineType(), Local, Version);
  // Stored: the text is no longer an edit that would be lost.
  FShownLocalText = Local;
  FLog->Event(QStringLiteral("Stored the local text of %s as the gold standard of version %d."),
              {Routine->FullName(), Version}, ltMessage);
  // What the service holds now, not what the window believes it holds.
  LoadRoutineVersions(Routine);
  const qint32 Stored = [this, &VersionText] {
    for (qint32 I = 0; I < tabsetVersions->count(); ++I)
      if (tabsetVersions->tabText(I) == VersionText)
        return I;
    return -1;
  }();
  tabsetVersions->SetTabIndex(Stored);
  tabsetVersionsClick();
}

void TfrmDbPublish::btnSynchronizeClick() {
  if (Running())
    return;
  QList<TDatabaseObject*> Objects;
  QList<QListWidgetItem*> Ticked;
  for (qint32 I = 0; I < lbAnomalies->count(); ++I) {
    QListWidgetItem* Item = lbAnomalies->item(I);
    if (Item->flags().testFlag(Qt::ItemIsUserCheckable) && Item->checkState() == Qt::Checked && ObjectOf(Item) != nullptr) {
      Objects.append(ObjectOf(Item));
      Ticked.append(Item);
    }
  }
  if (Ticked.isEmpty()) {
    FLog->Event(QStringLiteral("Tick the objects to repair."), ltWarning);
    return;
  }
  TfrmRepair Preview(Objects, [this](const TRepairScript& AScript) { return RunRepair(AScript); }, this);
  Preview.exec();
  if (!Preview.Ran())
    return;
  const QList<TRepairResult>& Results = Preview.Results();
  bool ShownRepaired = false;
  for (qsizetype I = 0; I < Ticked.size() && I < Results.size(); ++I) {
    if (Results[I].Outcome != TRepairOutcome::Repaired)
      continue;
    ShownRepaired = ShownRepaired || ObjectOf(Ticked[I]) == FShownObject;
    const QSignalBlocker Quiet(lbAnomalies);
    delete Ticked[I];
    ++FRepairedCount;
  }
  if (ShownRepaired)
    ShowObject(nullptr);
  HighlightShownObject();
  actSynchonize->setEnabled(lbAnomalies->count() > 0);
  ShowRunOutcome();
  ShowConnectionState();
}

QList<TRepairResult> TfrmDbPublish::RunRepair(const TRepairScript& AScript) {
  QList<TRepairResult> Results;
  // The dialog that asked for the repair stays modal while the batches go on the worker.
  QEventLoop Repairing;
  const QMetaObject::Connection Recording = connect(FRun, &TRunController::Repaired, this, &TfrmDbPublish::RecordRepair);
  const QMetaObject::Connection Ending = connect(FRun, &TRunController::Finished, &Repairing, &QEventLoop::quit);
  ShowRunning(true);
  FRun->Start(*FSession, [this, &AScript, &Results] { Results = FSession->Repair(AScript); });
  Repairing.exec();
  disconnect(Recording);
  disconnect(Ending);
  ShowRunning(false);
  if (FCloseWhenDone)
    QTimer::singleShot(0, this, &QWidget::close);
  return Results;
}

void TfrmDbPublish::RecordRepair(const TRepairRecord& ARecord) {
  if (ARecord.Outcome != RepairOutcomeText(TRepairOutcome::Repaired) &&
      ARecord.Outcome != RepairOutcomeText(TRepairOutcome::Failed))
    return;
  TTargetResult& Result = FOutcome.Result;
  Result.RepairApplied = true;
  const auto Earlier = std::find_if(Result.Repairs.begin(), Result.Repairs.end(), [&](const TRepairRecord& R) {
    return R.FullName == ARecord.FullName && R.Kind == ARecord.Kind;
  });
  if (Earlier != Result.Repairs.end())
    *Earlier = ARecord;
  else
    Result.Repairs.append(ARecord);
}

void TfrmDbPublish::panObjectDiffDblClick() {
  if (Running())
    return;
  const QSignalBlocker Quiet(lbAnomalies);
  for (TDatabaseObject* Routine : FSession->Model().Routines()->Values()) {
    AddRow(KindTag(QStringLiteral("routine")) + Routine->FullName(), lrRoutine, FListedRoutines.size(), true)
        ->setData(AnomalyNameRole, Routine->FullName());
    FListedRoutines.append(Routine);
  }
}

}  // namespace quillon
