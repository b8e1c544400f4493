#include "app/MainQuillon.h"

#include "app/Component.SqlEditor.h"
#include "app/Component.VersionTabSet.h"
#include "app/Interfaces.Progress.h"
#include "app/VclForm.Progress.h"
#include "compare/Compare.RunStatus.h"
#include "compare/Describer.h"
#include "compare/Sync.IgnoreList.h"
#include "compare/Xml.NodeList.h"
#include "database/Database.ConnectionString.h"
#include "database/Database.Simple.h"
#include "database/VclForm.Login.h"
#include "diff/Component.DiffGrid.h"
#include "infra/Gui.Fonts.h"
#include "infra/Gui.Settings.h"
#include "infra/Support.Format.h"
#include "infra/Support.Waiting.h"
#include "infra/Utils.Params.h"
#include "schema/Routines.h"
#include "service/OstrelService.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

// Swallows the user's input to one window for its lifetime, so that a compare run can let the
// window system's events through without the user starting anything meanwhile. Input to other
// windows (a message box the run shows) still arrives. AKeepResponsive also runs while a
// request waits for the service or the database, when the window's own thread makes it.
class TUserInputBlock : public QObject {
public:
  TUserInputBlock(QWidget* AWindow, const std::function<void()>& AKeepResponsive) : FWindow(AWindow) {
    qApp->installEventFilter(this);
    WhileWaiting = [AWindow, AKeepResponsive] {
      if (QThread::currentThread() == AWindow->thread())
        AKeepResponsive();
    };
  }
  ~TUserInputBlock() override {
    WhileWaiting = nullptr;
    qApp->removeEventFilter(this);
  }

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
    auto* Widget = qobject_cast<QWidget*>(AWatched);
    return Widget != nullptr && Widget->window() == FWindow && IsUserInput(AEvent->type());
  }

private:
  static bool IsUserInput(QEvent::Type AType) {
    switch (AType) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
        return true;
      default:
        return false;
    }
  }

  QWidget* FWindow;
};

namespace {

const QStringList ObjectKinds{QStringLiteral("Schemata"),          QStringLiteral("Tables"),
                              QStringLiteral("Views"),             QStringLiteral("Indices"),
                              QStringLiteral("Routines"),          QStringLiteral("Check constraints"),
                              QStringLiteral("Referential constraints")};

// How often a long run lets the window system's events through: often enough never to be
// taken for hung, seldom enough to cost nothing.
constexpr qint64 EventIntervalMs = 50;

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

void AddAnomalyItem(QListWidget* AList, const QString& AText, TDatabaseObject* AObject) {
  const QSignalBlocker Quiet(AList);
  QListWidgetItem* Item = AddCheckItem(AList, AText);
  Item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(AObject)));
  // The column is narrow: a long name is read in full from its tip.
  Item->setToolTip(AText);
}

TDatabaseObject* AttachedObject(const QListWidgetItem* AItem) {
  return reinterpret_cast<TDatabaseObject*>(AItem->data(Qt::UserRole).value<quintptr>());
}

// The gold text a finding's item carries (a routine missing locally has no local object).
constexpr int GoldTextRole = Qt::UserRole + 1;

// A finding is listed without a tick: there is nothing to repair.
void AddFindingItem(QListWidget* AList, const TFinding& AFinding) {
  const QString Text = QStringLiteral("%1 %2 (%3)")
                           .arg(AFinding.Kind.toUpper(), AFinding.FullName, FindingStatusText(AFinding.Status));
  auto* Item = new QListWidgetItem(Text, AList);
  Item->setFlags(Item->flags() & ~Qt::ItemIsUserCheckable);
  // Set in italics, the group reads apart from the anomalies above it.
  QFont Slanted = AList->font();
  Slanted.setItalic(true);
  Item->setFont(Slanted);
  Item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(AFinding.Object)));
  Item->setData(GoldTextRole, AFinding.GoldText);
  Item->setToolTip(Text);
}

}  // namespace

TfrmDbPublish::TfrmDbPublish(QWidget* AParent) : QMainWindow(AParent), FLog(GlobalLog) {
  setObjectName(QStringLiteral("frmDbPublish"));
  CreateControls();
  FormCreate();
}

TfrmDbPublish::~TfrmDbPublish() { FormDestroy(); }

void TfrmDbPublish::CreateControls() {
  setWindowTitle(QStringLiteral("Ulmora database publisher"));
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
  connect(actPostChange, &QAction::triggered, this, &TfrmDbPublish::actPostChangeExecute);
  connect(actSynchonize, &QAction::triggered, this, &TfrmDbPublish::btnSynchronizeClick);
  connect(actCompare, &QAction::triggered, this, &TfrmDbPublish::actCompareExecute);

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
  lblConnection = new QLabel(QStringLiteral("Connection"), panTop);
  lblConnection->setObjectName(QStringLiteral("lblConnection"));
  lblConnection->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* TopLayout = new QHBoxLayout(panTop);
  TopLayout->setContentsMargins(8, 0, 12, 0);
  TopLayout->setSpacing(8);
  TopLayout->addWidget(Image1);
  TopLayout->addWidget(lblMainHeader);
  TopLayout->addStretch();
  TopLayout->addWidget(lblConnection);
  ClientLayout->addWidget(panTop);

  auto* Body = new QHBoxLayout;
  Body->setContentsMargins(4, 4, 4, 4);
  Body->setSpacing(4);
  Body->addWidget(CreateLeftColumn());

  RzPageControl1 = new QTabWidget(Client);
  RzPageControl1->setObjectName(QStringLiteral("RzPageControl1"));
  RzPageControl1->addTab(CreateSourcePage(), QStringLiteral("Source code"));
  RzPageControl1->addTab(CreateDiffPage(), QStringLiteral("Differences"));
  RzPageControl1->setCurrentWidget(tbsDiffViewer);
  Body->addWidget(RzPageControl1, 1);
  ClientLayout->addLayout(Body, 1);
}

QWidget* TfrmDbPublish::CreateLeftColumn() {
  auto* Column = new QWidget(this);
  Column->setObjectName(QStringLiteral("panLeft"));
  Column->setFixedWidth(273);
  auto* Layout = StackLayout(Column, 4);

  panSelectObjects = Panel(QStringLiteral("panSelectObjects"), Column);
  auto* SelectLayout = StackLayout(panSelectObjects, 2);
  panObjectTypesHeader = HeaderPanel(QStringLiteral("panObjectTypesHeader"), hdrObjectTypes,
                                     QStringLiteral("hdrObjectTypes"), QStringLiteral("Select objects to compare"),
                                     panSelectObjects);
  SelectLayout->addWidget(panObjectTypesHeader);
  CheckBox1 = new QCheckBox(QStringLiteral("Select all"), panSelectObjects);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  connect(CheckBox1, &QCheckBox::clicked, this, &TfrmDbPublish::CheckBox1Click);
  auto* SelectAllRow = new QHBoxLayout;
  SelectAllRow->setContentsMargins(6, 2, 4, 0);
  SelectAllRow->addWidget(CheckBox1);
  SelectAllRow->addStretch();
  SelectLayout->addLayout(SelectAllRow);
  CheckListBox1 = CheckList(QStringLiteral("CheckListBox1"), UiFont(FaceSegoeUi, 9), panSelectObjects);
  for (const QString& Kind : ObjectKinds)
    AddCheckItem(CheckListBox1, Kind);
  CheckListBox1->setSpacing(1);
  CheckListBox1->setFixedHeight((CheckListBox1->sizeHintForRow(0) + 2) * ObjectKinds.size() +
                                2 * CheckListBox1->frameWidth() + 4);
  SelectLayout->addWidget(CheckListBox1);
  connect(CheckListBox1, &QListWidget::itemChanged, this, &TfrmDbPublish::UpdateCompareEnabled);
  UpdateCompareEnabled();
  Layout->addWidget(panSelectObjects);

  panCompare = Panel(QStringLiteral("panCompare"), Column);
  auto* CompareLayout = StackLayout(panCompare, 4);
  btnPublish = ActionButton(QStringLiteral("btnPublish"), actCompare, panCompare);
  CompareLayout->addWidget(btnPublish);
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
  lbAnomalies = CheckList(QStringLiteral("lbAnomalies"), UiFont(FaceCourierNew, 9), Panel3);
  // Only the user's choice shows an object: code that changes the list blocks its signals.
  connect(lbAnomalies, &QListWidget::currentItemChanged, this, &TfrmDbPublish::lbAnomaliesClick);
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
          [this](const QPoint& APos) { PopupMenu1->popup(memOfficial->mapToGlobal(APos)); });
  StandardLayout->addWidget(memOfficial, 1);
  tabsetVersions = new TVersionTabSet(panStandard);
  tabsetVersions->setObjectName(QStringLiteral("tabsetVersions"));
  connect(tabsetVersions, &TVersionTabSet::Clicked, this, &TfrmDbPublish::tabsetVersionsClick);
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
  fSourceDb = std::make_unique<TSimpleDatabase>(FLog);
  FLoginDialog = new TfrmLogin(this);
  fSourceDb->SetLoginDialog(FLoginDialog);
  fIgnoreList = std::make_unique<TDatabaseObjectIgnoreList>();
  fDescriptor = std::make_unique<TDatabaseDescriber>(fIgnoreList.get(), FLog);
  fDescriptor->SetProgress(this);
  actSynchonize->setEnabled(false);
  actSynchonize->setIcon(style()->standardIcon(QStyle::SP_VistaShield));
  fGuiSettings = std::make_unique<TGuiSettings>(this, GlobalSettings, FLog);
  fGuiSettings->LoadMainForm();
  memLocal->SetLineNumbers(14, 8, 28);
  fVersionSourceCode = std::make_unique<QHash<QString, QString>>();
  tabsetVersions->Clear();
  SetConnectionString(ConnectionStringFromParams(TParamList::CreateFromCommandLine()));
  fDiffGrid = new TDiffGrid(panDiffViewer);
  fDiffGrid->setObjectName(QStringLiteral("fDiffGrid"));
  fDiffGrid->setFrameShape(QFrame::NoFrame);
  StackLayout(panDiffViewer, 0)->addWidget(fDiffGrid);
  if (GlobalGuiStyle != nullptr)
    GlobalGuiStyle->RegisterClient(this);
}

void TfrmDbPublish::SetConnectionString(const QString& AValue) {
  FConnectionStringFailure.clear();
  try {
    fSourceDb->SetConnectionString(AValue);
  } catch (const Exception& E) {
    FConnectionStringFailure = E.Message();
  }
}

void TfrmDbPublish::FormDestroy() {
  // The controls outlive this object's own part: their last signals must not reach it.
  lbAnomalies->disconnect(this);
  tabsetVersions->disconnect(this);
  if (GlobalGuiStyle != nullptr)
    GlobalGuiStyle->UnregisterClient(this);
  fCurrentSource = nullptr;
  fVersionSourceCode.reset();
  fGuiSettings->SaveMainForm();
  fDescriptor.reset();
  fIgnoreList.reset();
  // The connection goes before its login dialog, which Qt frees with the window's children.
  fSourceDb.reset();
}

void TfrmDbPublish::showEvent(QShowEvent* AEvent) {
  QMainWindow::showEvent(AEvent);
  if (FFormShown)
    return;
  FFormShown = true;
  // From the message loop, so that the window is on screen first and a failure reaches the
  // default error handler like any other handler's.
  QTimer::singleShot(0, this, &TfrmDbPublish::FormShow);
}

void TfrmDbPublish::FormShow() {
  if (!FConnectionStringFailure.isEmpty())
    throw Exception(FConnectionStringFailure);
  const std::unique_ptr<TfrmProgress> Progress =
      CreateProgressWindow(nullptr, QStringLiteral("Connecting to database..."));
  Progress->SetCentreOn(this);
  Progress->SetInfo(Format(QStringLiteral("%s.%s"),
                           {fSourceDb->ConnectionParameters().Server(), fSourceDb->ConnectionParameters().Database()}));
  fSourceDb->Connect();
  fSourceServer = fSourceDb->ServerName();
  TDataSet* Info = fSourceDb->FastQuery(QStringLiteral("EXEC dbo.GetDatabaseInfo"));
  if (Info->Eof())
    throw Exception(QStringLiteral("dbo.GetDatabaseInfo returned no row"));
  fSourceDbVersion = VarToInt(GetFieldValue(*Info, QStringLiteral("DatabaseVersion")));
  fSourceDatabase = GetFieldText(*Info, QStringLiteral("DatabaseName"));
  Info->Close();
  lblConnection->setText(
      Format(QStringLiteral("Database: %s\nVersion: %d"), {fSourceDatabase, fSourceDbVersion}));
}

void TfrmDbPublish::closeEvent(QCloseEvent* AEvent) {
  // The run is on the stack below: the window must outlive it.
  if (Running())
    AEvent->ignore();
  else
    QMainWindow::closeEvent(AEvent);
}

bool TfrmDbPublish::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AEvent->type() == QEvent::Resize) {
    if (AWatched == panMain)
      panMainResize();
    else if (AWatched == tbsDiffViewer && fDiffGrid != nullptr)
      fDiffGrid->RealignCols();
  } else if (AEvent->type() == QEvent::MouseButtonDblClick && (AWatched == panObjectDiff || AWatched == hdrObjectDiff)) {
    panObjectDiffDblClick();
    return true;
  }
  return QMainWindow::eventFilter(AWatched, AEvent);
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

void TfrmDbPublish::ShowStatus(const QString& AText) {
  lblProgress->setText(AText);
  lblProgress->repaint();
  KeepResponsive();
}

void TfrmDbPublish::ShowProgress(double AFraction) {
  if (AFraction < 0)
    return;
  pbProgress->setValue(RoundHalfEven(AFraction * 100));
  pbProgress->repaint();
  KeepResponsive();
}

void TfrmDbPublish::ReportAnomaly(const QString& AText, TDatabaseObject* AObject) {
  if (AObject == nullptr)
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
  if (fDescriptor->IgnoreObject(AObject))
    return;
  AddAnomalyItem(lbAnomalies, AText, AObject);
}

void TfrmDbPublish::KeepResponsive() {
  if (!Running() || FSinceEventsProcessed.elapsed() < EventIntervalMs)
    return;
  QCoreApplication::processEvents();
  FSinceEventsProcessed.restart();
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
  fCurrentSource = nullptr;
  actCompare->setEnabled(false);
  actSynchonize->setEnabled(false);
  {
    const QSignalBlocker Quiet(lbAnomalies);
    lbAnomalies->clear();
  }
  lblFailure->clear();
  lblFailure->hide();
  lblFindings->clear();
  fDescriptor->RunStatus().Start({});
  {
    FInputBlock = std::make_unique<TUserInputBlock>(this, [this] { KeepResponsive(); });
    FSinceEventsProcessed.start();
    const auto Unblock = qScopeGuard([this] { FInputBlock.reset(); });
    try {
      bool* const Flags[] = {&fDescriptor->CompareSchemata,         &fDescriptor->CompareTables,
                             &fDescriptor->CompareViews,            &fDescriptor->CompareIndices,
                             &fDescriptor->CompareRoutines,         &fDescriptor->CompareCheckConstraints,
                             &fDescriptor->CompareForeignKeys};
      for (qint32 I = 0; I < ObjectKinds.size(); ++I)
        *Flags[I] = CheckListBox1->item(I)->checkState() == Qt::Checked;
      ShowStatus(QStringLiteral("Analyzing database..."));
      fDescriptor->Load(fSourceDb.get());
      fDescriptor->SaveToFile(fSourceServer, fSourceDatabase, fSourceDbVersion);
      SetProgressState(psNormal);
      fDescriptor->CompareToService(fSourceDatabase, fSourceDbVersion);
    } catch (const Exception& E) {
      // A failure before the comparison began stops the run as much as one during it.
      if (fDescriptor->RunStatus().Complete())
        fDescriptor->RunStatus().Stop(E.Message());
      ShowError(E.Message());
    }
  }
  const qint32 AnomalyCount = lbAnomalies->count();
  actSynchonize->setEnabled(AnomalyCount > 0);
  UpdateCompareEnabled();
  ShowRunOutcome(AnomalyCount);
}

void TfrmDbPublish::ShowRunOutcome(qint32 AAnomalyCount) {
  const TCompareRunStatus& Status = fDescriptor->RunStatus();
  lblProgress->setText(Status.Complete() ? Format(QStringLiteral("Found %d anomalies"), {AAnomalyCount})
                                         : Status.StoppedText());
  QStringList Lines;
  if (!Status.FindingsText().isEmpty())
    Lines.append(Status.FindingsText());
  if (!Status.Kinds().isEmpty())
    Lines.append(Status.ComparedText());
  lblFindings->setText(Lines.join(u'\n'));
  const QSignalBlocker Quiet(lbAnomalies);
  for (const TFinding& Finding : Status.Findings())
    AddFindingItem(lbAnomalies, Finding);
}

void TfrmDbPublish::UpdateCompareEnabled() {
  bool AnyTicked = false;
  for (qint32 I = 0; I < CheckListBox1->count(); ++I)
    AnyTicked = AnyTicked || CheckListBox1->item(I)->checkState() == Qt::Checked;
  actCompare->setEnabled(AnyTicked && !Running());
}

void TfrmDbPublish::CheckBox1Click() {
  const Qt::CheckState State = CheckBox1->isChecked() ? Qt::Checked : Qt::Unchecked;
  for (qint32 I = 0; I < CheckListBox1->count(); ++I)
    CheckListBox1->item(I)->setCheckState(State);
}

TDatabaseObject* TfrmDbPublish::SelectedObject() const {
  const QListWidgetItem* Item = lbAnomalies->currentItem();
  return Item != nullptr ? AttachedObject(Item) : nullptr;
}

void TfrmDbPublish::lbAnomaliesClick() {
  memLocal->clear();
  memOfficial->clear();
  if (TDatabaseObject* Object = SelectedObject())
    ShowObject(Object);
  else if (const QListWidgetItem* Item = lbAnomalies->currentItem())
    memOfficial->setText(Item->data(GoldTextRole).toString());
  tabsetVersionsClick();
}

void TfrmDbPublish::ShowObject(TDatabaseObject* AObject) {
  fVersionSourceCode->clear();
  tabsetVersions->Clear();
  fCurrentSource = dynamic_cast<ICodedObject*>(AObject);
  if (fCurrentSource != nullptr) {
    try {
      fDiffGrid->SetLeftHeader(QStringLiteral("Gold standard definition"));
      fDiffGrid->SetRightHeader(QStringLiteral("Local object definition"));
      fDiffGrid->SetLeft(fCurrentSource->GetStandardDefinition());
      fDiffGrid->SetRight(fCurrentSource->DDL());
      fDiffGrid->Compare();
      memLocal->setText(fCurrentSource->DDL());
      memOfficial->setText(fCurrentSource->GetStandardDefinition());
    } catch (const Exception& E) {
      FLog->Event(E.Message(), ltWarning);
    }
  }
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
  actPostChange->setEnabled(false);
  const qint32 Index = tabsetVersions->TabIndex();
  if (Index < 0)
    return;
  const QString Version = tabsetVersions->tabText(Index);
  memOfficial->setText(fVersionSourceCode->value(Version));
  actPostChange->setEnabled(!SameTextAscii(memLocal->text(), memOfficial->text()));
  actPostChange->setToolTip(Format(QStringLiteral("Save local version as gold standard for %s"), {Version}));
}

void TfrmDbPublish::actPostChangeExecute() {
  const qint32 Index = tabsetVersions->TabIndex();
  if (Index < 0) {
    FLog->Event(QStringLiteral("Select a version on the tabs."), ltWarning);
    return;
  }
  TDatabaseObject* Object = SelectedObject();
  if (Object == nullptr) {
    FLog->Event(QStringLiteral("Select an object to the left."), ltWarning);
    return;
  }
  const qint32 Version = StrToInt(tabsetVersions->tabText(Index));
  auto* Routine = dynamic_cast<TDatabaseRoutine*>(Object);
  if (Routine == nullptr)
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
  const std::unique_ptr<OstrelServiceSoap> Service = GetServiceProxy();
  Service->SaveDbRoutine(Routine->RoutineSchema(), Routine->RoutineName(), Routine->RoutineType(), memLocal->text(),
                         Version);
}

void TfrmDbPublish::btnSynchronizeClick() {
  const QSignalBlocker Quiet(lbAnomalies);
  qint32 I = 0;
  while (I < lbAnomalies->count()) {
    lbAnomalies->setCurrentRow(I);
    lbAnomalies->viewport()->repaint();
    QListWidgetItem* Item = lbAnomalies->item(I);
    auto* Alterable = dynamic_cast<IAlterObject*>(AttachedObject(Item));
    if (Item->checkState() == Qt::Checked && Alterable != nullptr) {
      Alterable->Alter(fSourceDb.get());
      delete lbAnomalies->takeItem(I);
    } else {
      ++I;
    }
  }
}

void TfrmDbPublish::panObjectDiffDblClick() {
  for (TDatabaseObject* Routine : fDescriptor->Routines()->Values())
    AddAnomalyItem(lbAnomalies, Routine->FullName(), Routine);
}

}  // namespace quillon
