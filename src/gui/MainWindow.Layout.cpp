// Builds the main window's controls: the top strip, the left column with the kinds, the compare
// panel and the anomaly list, and the pages of source code and differences.
#include "gui/MainWindow.Layout.h"

#include "gui/Component.DiffGrid.h"
#include "gui/Component.DiffLegend.h"
#include "gui/Component.SqlEditor.h"
#include "gui/Component.VersionTabSet.h"
#include "gui/Gui.Fonts.h"
#include "session/Session.Kinds.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

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

QAction* Action(const QString& AName, const QString& ACaption, const QString& AToolTip, QMainWindow* AWindow) {
  auto* Result = new QAction(ACaption, AWindow);
  Result->setObjectName(AName);
  Result->setToolTip(AToolTip);
  return Result;
}

QLabel* WrappedLabel(const QString& AName, QWidget* AParent) {
  auto* Result = new QLabel(AParent);
  Result->setObjectName(AName);
  Result->setWordWrap(true);
  Result->setIndent(4);
  Result->setTextFormat(Qt::PlainText);
  return Result;
}

}  // namespace

void TMainWindowLayout::CreateControls(QMainWindow* AWindow) {
  AWindow->setWindowTitle(QStringLiteral("Ulmora Quillon"));
  AWindow->setFont(UiFont(FaceTahoma, 8));
  AWindow->resize(1121, 833);
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    AWindow->move(Screen->availableGeometry().center() - AWindow->rect().center());
  CreateActions(AWindow);

  auto* Client = new QWidget(AWindow);
  AWindow->setCentralWidget(Client);
  auto* ClientLayout = StackLayout(Client, 0);
  ClientLayout->addWidget(CreateTopStrip(Client));

  // Its name, like the window's, is part of the settings key its position is stored under.
  splMain = new QSplitter(Qt::Horizontal, Client);
  splMain->setObjectName(QStringLiteral("splMain"));
  splMain->setContentsMargins(4, 4, 4, 4);
  splMain->setChildrenCollapsible(false);
  splMain->addWidget(CreateLeftColumn(Client));

  tabsDetail = new QTabWidget(Client);
  tabsDetail->setObjectName(QStringLiteral("tabsDetail"));
  tabsDetail->addTab(CreateSourcePage(Client), QStringLiteral("Source code"));
  tabsDetail->addTab(CreateDiffPage(Client), QStringLiteral("Differences"));
  tabsDetail->setCurrentWidget(tbsDiffViewer);
  splMain->addWidget(tabsDetail);
  splMain->setStretchFactor(1, 1);
  ClientLayout->addWidget(splMain, 1);
}

void TMainWindowLayout::CreateActions(QMainWindow* AWindow) {
  QStyle* Style = AWindow->style();
  actPostChange = Action(QStringLiteral("actPostChange"), QStringLiteral("Approve local"),
                         QStringLiteral("Approve local version as gold standard"), AWindow);
  actPostChange->setIcon(Style->standardIcon(QStyle::SP_DialogApplyButton));
  actSynchronize = Action(QStringLiteral("actSynchronize"), QStringLiteral("Repair selected objects"),
                         QStringLiteral("Synchronize selected objects with gold standard"), AWindow);
  actSynchronize->setEnabled(false);
  actSynchronize->setIcon(Style->standardIcon(QStyle::SP_VistaShield));
  actCompare = Action(QStringLiteral("actCompare"), QStringLiteral("Compare selected object classes"),
                      QStringLiteral("Compares selected database objects to gold standard"), AWindow);
  actCancelRun = Action(QStringLiteral("actCancelRun"), QStringLiteral("Cancel"),
                        QStringLiteral("Stop the comparison after the current object (Escape)"), AWindow);
  actCancelRun->setIcon(Style->standardIcon(QStyle::SP_BrowserStop));
  actCancelRun->setShortcut(QKeySequence(Qt::Key_Escape));
  actCancelRun->setEnabled(false);
  AWindow->addAction(actCancelRun);
  actConnect = Action(QStringLiteral("actConnect"), QStringLiteral("Connect"),
                      QStringLiteral("Connect to the database (Ctrl+L)"), AWindow);
  actConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  AWindow->addAction(actConnect);
  actExportReport = Action(QStringLiteral("actExportReport"), QStringLiteral("Export report\u2026"),
                           QStringLiteral("Writes the HTML report of the last compare run"), AWindow);
  actExportReport->setIcon(Style->standardIcon(QStyle::SP_DialogSaveButton));
  actExportReport->setEnabled(false);
}

QWidget* TMainWindowLayout::CreateTopStrip(QWidget* AParent) {
  panTop = Panel(QStringLiteral("panTop"), AParent);
  panTop->setFixedHeight(41);
  panTop->setAutoFillBackground(true);
  QPalette White = panTop->palette();
  White.setColor(QPalette::Window, Qt::white);
  panTop->setPalette(White);
  imgLogo = new QLabel(panTop);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setPixmap(HeaderPicture());
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
  TopLayout->addWidget(imgLogo);
  TopLayout->addWidget(lblMainHeader);
  TopLayout->addStretch();
  TopLayout->addWidget(lblConnection);
  TopLayout->addWidget(btnConnect);
  return panTop;
}

QWidget* TMainWindowLayout::CreateLeftColumn(QWidget* AParent) {
  auto* Column = new QWidget(AParent);
  Column->setObjectName(QStringLiteral("panLeft"));
  Column->setMinimumWidth(220);
  auto* Layout = StackLayout(Column, 4);

  panSelectObjects = Panel(QStringLiteral("panSelectObjects"), Column);
  auto* SelectLayout = StackLayout(panSelectObjects, 2);
  panObjectTypesHeader = HeaderPanel(QStringLiteral("panObjectTypesHeader"), hdrObjectTypes,
                                     QStringLiteral("hdrObjectTypes"), QStringLiteral("Select objects to compare"),
                                     panSelectObjects);
  SelectLayout->addWidget(panObjectTypesHeader);
  chkAllKinds = new QCheckBox(QStringLiteral("Select all"), panSelectObjects);
  chkAllKinds->setObjectName(QStringLiteral("chkAllKinds"));
  auto* SelectAllRow = new QHBoxLayout;
  SelectAllRow->setContentsMargins(6, 2, 4, 0);
  SelectAllRow->addWidget(chkAllKinds);
  SelectAllRow->addStretch();
  btnBaseline = new QPushButton(QStringLiteral("Baseline\u2026"), panSelectObjects);
  btnBaseline->setObjectName(QStringLiteral("btnBaseline"));
  SelectAllRow->addWidget(btnBaseline);
  SelectLayout->addLayout(SelectAllRow);
  lstKinds = new QListWidget(panSelectObjects);
  lstKinds->setObjectName(QStringLiteral("lstKinds"));
  lstKinds->setFont(UiFont(FaceSegoeUi, 9));
  for (const TCheckKind& Kind : CheckKinds()) {
    auto* Item = new QListWidgetItem(Kind.Caption, lstKinds);
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(Qt::Unchecked);
  }
  lstKinds->setSpacing(1);
  lstKinds->setFixedHeight((lstKinds->sizeHintForRow(0) + 2) * CheckKinds().size() +
                                2 * lstKinds->frameWidth() + 4);
  SelectLayout->addWidget(lstKinds);
  lblBaseline = WrappedLabel(QStringLiteral("lblBaseline"), panSelectObjects);
  SelectLayout->addWidget(lblBaseline);
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
  lblFindings = WrappedLabel(QStringLiteral("lblFindings"), panCompare);
  CompareLayout->addWidget(lblFindings);
  lblFailure = WrappedLabel(QStringLiteral("lblFailure"), panCompare);
  lblFailure->setStyleSheet(QStringLiteral("color: #B00020;"));
  lblFailure->hide();
  CompareLayout->addWidget(lblFailure);
  Layout->addWidget(panCompare);

  panAnomalies = Panel(QStringLiteral("panAnomalies"), Column);
  auto* AnomalyLayout = StackLayout(panAnomalies, 0);
  panObjectDiff = HeaderPanel(QStringLiteral("panObjectDiff"), hdrObjectDiff, QStringLiteral("hdrObjectDiff"),
                              QStringLiteral("Objects with discrepancies"), panAnomalies);
  AnomalyLayout->addWidget(panObjectDiff);
  edtFilter = new QLineEdit(panAnomalies);
  edtFilter->setObjectName(QStringLiteral("edtFilter"));
  edtFilter->setPlaceholderText(QStringLiteral("Filter"));
  edtFilter->setClearButtonEnabled(true);
  btnTickAll = new QPushButton(QStringLiteral("Tick all"), panAnomalies);
  btnTickAll->setObjectName(QStringLiteral("btnTickAll"));
  btnTickAll->setToolTip(QStringLiteral("Tick every listed object (Ctrl+A)"));
  btnTickNone = new QPushButton(QStringLiteral("Tick none"), panAnomalies);
  btnTickNone->setObjectName(QStringLiteral("btnTickNone"));
  auto* ListTools = new QHBoxLayout;
  ListTools->setContentsMargins(0, 2, 0, 2);
  ListTools->setSpacing(2);
  ListTools->addWidget(edtFilter, 1);
  ListTools->addWidget(btnTickAll);
  ListTools->addWidget(btnTickNone);
  AnomalyLayout->addLayout(ListTools);
  lstAnomalies = new QListView(panAnomalies);
  lstAnomalies->setObjectName(QStringLiteral("lstAnomalies"));
  lstAnomalies->setFont(UiFont(FaceCourierNew, 9));
  AnomalyLayout->addWidget(lstAnomalies, 1);
  Layout->addWidget(panAnomalies, 1);

  btnSynchronize = ActionButton(QStringLiteral("btnSynchronize"), actSynchronize, Column);
  Layout->addWidget(btnSynchronize);
  return Column;
}

QWidget* TMainWindowLayout::CreateSourcePage(QWidget* AParent) {
  tbsSourceCode = new QWidget(AParent);
  tbsSourceCode->setObjectName(QStringLiteral("tbsSourceCode"));
  auto* PageLayout = StackLayout(tbsSourceCode, 0);
  panMain = new QWidget(tbsSourceCode);
  panMain->setObjectName(QStringLiteral("panMain"));
  PageLayout->addWidget(panMain);

  panLocal = Panel(QStringLiteral("panLocal"), panMain);
  panLocal->setContentsMargins(0, 0, 0, 0);
  auto* LocalLayout = StackLayout(panLocal, 0);
  panLocalDDLHeader = HeaderPanel(QStringLiteral("panLocalDDLHeader"), hdrLocalDDL, QStringLiteral("hdrLocalDDL"),
                                  QStringLiteral("Local DDL"), panLocal);
  LocalLayout->addWidget(panLocalDDLHeader);
  tbLocalDDL = new QToolBar(panLocal);
  tbLocalDDL->setObjectName(QStringLiteral("tbLocalDDL"));
  tbLocalDDL->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  tbLocalDDL->setIconSize(QSize(16, 16));
  tbLocalDDL->addAction(actPostChange);
  btnPostChange = qobject_cast<QToolButton*>(tbLocalDDL->widgetForAction(actPostChange));
  btnPostChange->setObjectName(QStringLiteral("btnPostChange"));
  LocalLayout->addWidget(tbLocalDDL);
  memLocal = new TSqlEditor(panLocal);
  memLocal->setObjectName(QStringLiteral("memLocal"));
  memLocal->SetLineNumbers(14, 8, 28);
  LocalLayout->addWidget(memLocal, 1);

  panStandard = Panel(QStringLiteral("panStandard"), panMain);
  auto* StandardLayout = StackLayout(panStandard, 0);
  panStandardDDLHeader = HeaderPanel(QStringLiteral("panStandardDDLHeader"), hdrStandardDDL,
                                     QStringLiteral("hdrStandardDDL"), QStringLiteral("Official DDL"), panStandard);
  StandardLayout->addWidget(panStandardDDLHeader);
  memOfficial = new TSqlEditor(panStandard);
  memOfficial->setObjectName(QStringLiteral("memOfficial"));
  memOfficial->setReadOnly(true);
  mnuOfficialDDL = new QMenu(memOfficial);
  mnuOfficialDDL->setObjectName(QStringLiteral("mnuOfficialDDL"));
  mnuOfficialDDL->addAction(actPostChange);
  memOfficial->setContextMenuPolicy(Qt::CustomContextMenu);
  StandardLayout->addWidget(memOfficial, 1);
  tabsetVersions = new TVersionTabSet(panStandard);
  tabsetVersions->setObjectName(QStringLiteral("tabsetVersions"));
  tabsetVersions->Clear();
  StandardLayout->addWidget(tabsetVersions);

  auto* Split = StackLayout(panMain, 4, QMargins(0, 4, 0, 4));
  Split->addWidget(panLocal);
  Split->addWidget(panStandard, 1);
  return tbsSourceCode;
}

QWidget* TMainWindowLayout::CreateDiffPage(QWidget* AParent) {
  tbsDiffViewer = new QWidget(AParent);
  tbsDiffViewer->setObjectName(QStringLiteral("tbsDiffViewer"));
  auto* Layout = StackLayout(tbsDiffViewer, 0, QMargins(0, 4, 0, 0));
  panSourceDiff = HeaderPanel(QStringLiteral("panSourceDiff"), hdrSourceDiff, QStringLiteral("hdrSourceDiff"),
                              QStringLiteral("Diff viewer"), tbsDiffViewer);
  Layout->addWidget(panSourceDiff);
  panDiffViewer = Panel(QStringLiteral("panDiffViewer"), tbsDiffViewer);
  Layout->addWidget(panDiffViewer, 1);

  grdDiff = new TDiffGrid(panDiffViewer);
  grdDiff->setObjectName(QStringLiteral("grdDiff"));
  grdDiff->setFrameShape(QFrame::NoFrame);
  // The buttons in a tool bar and the legend beside it, where a narrow window cuts the legend
  // short instead of hiding it behind the bar's overflow button.
  auto* DiffStrip = new QWidget(panDiffViewer);
  auto* StripLayout = new QHBoxLayout(DiffStrip);
  StripLayout->setContentsMargins(0, 0, 0, 0);
  auto* DiffBar = new QToolBar(DiffStrip);
  DiffBar->setObjectName(QStringLiteral("tbDiffNavigation"));
  DiffBar->setIconSize(QSize(16, 16));
  DiffBar->addAction(grdDiff->PreviousChangeAction());
  DiffBar->addAction(grdDiff->NextChangeAction());
  DiffBar->addAction(actExportReport);
  lgdDiff = new TDiffLegend(DiffStrip);
  lgdDiff->setObjectName(QStringLiteral("lgdDiff"));
  lgdDiff->SetSideNames(QStringLiteral("gold"), QStringLiteral("local"));
  DiffBar->setMinimumWidth(DiffBar->sizeHint().width());
  lgdDiff->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  StripLayout->addWidget(DiffBar);
  StripLayout->addWidget(lgdDiff, 1);
  auto* DiffLayout = StackLayout(panDiffViewer, 0);
  DiffLayout->addWidget(DiffStrip);
  DiffLayout->addWidget(grdDiff);
  return tbsDiffViewer;
}

}  // namespace quillon
