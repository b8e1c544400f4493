// The program's main window: connection, the kinds and the baseline to compare, the anomaly
// list and the repair of its ticked objects; runs and source panes are its parts'.
#include "gui/MainQuillon.h"

#include "gui/Gui.RunController.h"
#include "gui/Gui.Settings.h"
#include "gui/Interfaces.Progress.h"
#include "gui/MainWindow.AnomalyModel.h"
#include "gui/MainWindow.Handlers.h"
#include "gui/MainWindow.SourcePanes.h"
#include "gui/VclForm.Login.h"
#include "gui/VclForm.Progress.h"
#include "gui/VclForm.Repair.h"
#include "gold/Compare.RunStatus.h"
#include "gold/Describer.h"
#include "repair/Repair.Script.h"
#include "database/Database.ConnectionString.h"
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "infra/settings/Interfaces.Settings.h"
#include "infra/settings/Utils.Params.h"
#include "infra/text/Support.Format.h"
#include "report/Report.Render.h"
#include "model/Routines.h"
#include "session/Session.Kinds.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>

namespace quillon {

namespace {

// The baseline snapshot is kept in the settings under this section and key.
const char* const BaselineSection = "Baseline";
const char* const BaselineKey = "File";

// The settings keep the width of the left column as the splitter's "Position".
const char* const SplitterPosition = "Position";
constexpr qint32 DefaultLeftWidth = 273;

// The server's answers to a login it refuses: wrong name or password, untrusted domain,
// disabled or locked login, expired password.
bool LoginRefused(const EOdbcError& AError) {
  static const QList<qint32> Refusals{18456, 18452, 18470, 18486, 18487, 18488};
  return std::any_of(AError.Diagnostics().cbegin(), AError.Diagnostics().cend(),
                     [](const TOdbcDiagnostic& ADiagnostic) { return Refusals.contains(ADiagnostic.NativeError); });
}

}  // namespace

TfrmDbPublish::TfrmDbPublish(QWidget* AParent) : QMainWindow(AParent), FLog(GlobalLog) {
  setObjectName(QStringLiteral("frmDbPublish"));
  CreateControls(this);
  FormCreate();
}

TfrmDbPublish::~TfrmDbPublish() { FormDestroy(); }

void TfrmDbPublish::FormCreate() {
  FRun = std::make_unique<TRunController>();
  FSession = std::make_unique<TCheckSession>(FLog, FRun.get());
  FLoginDialog = new TfrmLogin(this);
  FSession->Database().SetLoginDialog(FLoginDialog);
  FRunPanel = std::make_unique<TRunPanel>(*this, *FSession, *FRun, FLog);
  FSourcePanes = std::make_unique<TSourcePanes>(*this, *FSession, FLog, this);
  FAnomalies = std::make_unique<TAnomalyListModel>(FRunPanel->Outcome());
  lstAnomalies->setModel(FAnomalies.get());
  ConnectControls();
  fGuiSettings = std::make_unique<TGuiSettings>(this, GlobalSettings, FLog);
  fGuiSettings->LoadMainForm();
  if (GlobalSettings != nullptr)
    FBaseline = GlobalSettings->ReadString(scopeUser, BaselineSection, BaselineKey, QString());
  ShowBaselineChoice();
  splMain->setProperty(SplitterPosition, DefaultLeftWidth);
  fGuiSettings->LoadPosition(splMain, QString());
  const qint32 LeftWidth = splMain->property(SplitterPosition).toInt();
  splMain->setSizes({LeftWidth, std::max(width() - LeftWidth, 1)});
  SetConnectionString(ConnectionStringFromParams(TParamList::CreateFromCommandLine()));
  if (GlobalGuiStyle != nullptr)
    GlobalGuiStyle->RegisterClient(this);
  ShowConnectionState();
}

void TfrmDbPublish::ConnectControls() {
  connect(actConnect, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actConnectExecute));
  connect(actSynchronize, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::btnSynchronizeClick));
  connect(actCompare, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actCompareExecute));
  connect(actExportReport, &QAction::triggered, this, GuardedSlot(this, &TfrmDbPublish::actExportReportExecute));
  connect(FRunPanel.get(), &TRunPanel::Finished, this, &TfrmDbPublish::CompareFinished);
  connect(chkAllKinds, &QCheckBox::clicked, this, GuardedSlot(this, &TfrmDbPublish::chkAllKindsClick));
  connect(btnBaseline, &QPushButton::clicked, this, GuardedSlot(this, &TfrmDbPublish::btnBaselineClick));
  connect(lstKinds, &QListWidget::itemChanged, this, GuardedSlot(this, &TfrmDbPublish::UpdateCompareEnabled));
  connect(edtFilter, &QLineEdit::textChanged, this, GuardedSlot(this, &TfrmDbPublish::FilterAnomalies));
  connect(btnTickAll, &QPushButton::clicked, this, [this] { TickVisibleAnomalies(true); });
  connect(btnTickNone, &QPushButton::clicked, this, [this] { TickVisibleAnomalies(false); });
  // Only the user's choice shows an object: code that changes the list blocks the signals of
  // its selection.
  connect(lstAnomalies->selectionModel(), &QItemSelectionModel::currentChanged, this,
          GuardedSlot(this, &TfrmDbPublish::lstAnomaliesClick));
  // A click on the row already highlighted shows it again (a versions page that failed is
  // asked again); a click on another row is handled as a change of the current row.
  lstAnomalies->viewport()->installEventFilter(this);
  auto* TickAll = new QAction(lstAnomalies);
  TickAll->setShortcut(QKeySequence::SelectAll);
  TickAll->setShortcutContext(Qt::WidgetShortcut);
  lstAnomalies->addAction(TickAll);
  connect(TickAll, &QAction::triggered, this, [this] { TickVisibleAnomalies(true); });
  panObjectDiff->installEventFilter(this);
  hdrObjectDiff->installEventFilter(this);
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
  for (QObject* Sender : std::initializer_list<QObject*>{lstAnomalies->selectionModel(), edtFilter, lstKinds})
    Sender->disconnect(this);
  if (GlobalGuiStyle != nullptr)
    GlobalGuiStyle->UnregisterClient(this);
  fGuiSettings->SaveMainForm();
  splMain->setProperty(SplitterPosition, splMain->sizes().value(0));
  fGuiSettings->SavePosition(splMain, QString());
  // A run still going ends first, then the parts that show it, then the connection, before its
  // login dialog, which Qt frees with the window's children.
  FRun.reset();
  FSourcePanes.reset();
  FAnomalies.reset();
  FRunPanel.reset();
  FSession.reset();
}

void TfrmDbPublish::showEvent(QShowEvent* AEvent) {
  QMainWindow::showEvent(AEvent);
  if (FFormShown)
    return;
  FFormShown = true;
  // From the message loop, so that the window is on screen first.
  QTimer::singleShot(0, this, GuardedSlot(this, &TfrmDbPublish::actConnectExecute));
}

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

ICodedObject* TfrmDbPublish::CurrentSource() const { return FSourcePanes->CurrentSource(); }

TDatabaseObject* TfrmDbPublish::ShownObject() const { return FSourcePanes->ShownObject(); }

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
    FRunPanel->Cancel();
  });
}

bool TfrmDbPublish::eventFilter(QObject* AWatched, QEvent* AEvent) {
  bool Handled = false;
  Guarded([&] {
    if (AEvent->type() == QEvent::MouseButtonDblClick && (AWatched == panObjectDiff || AWatched == hdrObjectDiff)) {
      panObjectDiffDblClick();
      Handled = true;
    } else if (AEvent->type() == QEvent::MouseButtonPress && AWatched == lstAnomalies->viewport()) {
      const QModelIndex Pressed = lstAnomalies->indexAt(static_cast<QMouseEvent*>(AEvent)->position().toPoint());
      if (Pressed.isValid() && Pressed == lstAnomalies->currentIndex())
        lstAnomaliesClick();
    }
  });
  return Handled || QMainWindow::eventFilter(AWatched, AEvent);
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
    QListWidgetItem* Item = lstKinds->item(Row);
    Item->setForeground(FBaseline.isEmpty() ? palette().brush(QPalette::Disabled, QPalette::Text)
                                            : palette().brush(QPalette::Active, QPalette::Text));
    Item->setToolTip(FBaseline.isEmpty() ? QStringLiteral("Needs a baseline snapshot (Baseline\u2026): the gold "
                                                          "standard does not hold this kind")
                                         : QStringLiteral("Compared with the baseline ") + FBaseline);
  }
}

void TfrmDbPublish::UpdateCompareEnabled() {
  bool AnyTicked = false;
  for (qint32 I = 0; I < lstKinds->count(); ++I)
    AnyTicked = AnyTicked || lstKinds->item(I)->checkState() == Qt::Checked;
  actCompare->setEnabled(AnyTicked && !Running() && Connected());
}

void TfrmDbPublish::chkAllKindsClick() {
  const Qt::CheckState State = chkAllKinds->isChecked() ? Qt::Checked : Qt::Unchecked;
  for (qint32 I = 0; I < lstKinds->count(); ++I)
    lstKinds->item(I)->setCheckState(State);
}

void TfrmDbPublish::actCompareExecute() {
  if (Running() || !FSourcePanes->ConfirmDropEdits())
    return;
  FSourcePanes->Clear();
  {
    const QSignalBlocker Quiet(lstAnomalies->selectionModel());
    FAnomalies->Clear();
  }
  TCompareRequest Request;
  for (qint32 Row = 0; Row < CheckKinds().size(); ++Row)
    if (lstKinds->item(Row)->checkState() == Qt::Checked)
      Request.Kinds |= CheckKinds()[Row].Flag;
  Request.TargetName = QStringLiteral("%1.%2").arg(FSession->Info().Server, FSession->Info().DatabaseName);
  Request.BaselinePath = FBaseline;
  ShowRunning(true);
  FRunPanel->Start(Request);
}

void TfrmDbPublish::CompareFinished() {
  Guarded([this] {
    {
      const QSignalBlocker Quiet(lstAnomalies->selectionModel());
      FAnomalies->ListOutcome();
    }
    FilterAnomalies();
    ShowRunning(false);
    FRunPanel->ShowOutcome();
  });
  emit RunFinished();
  if (FCloseWhenDone)
    close();
}

void TfrmDbPublish::ShowRunning(bool ARunning) {
  btnPublish->setVisible(!ARunning);
  btnCancelRun->setVisible(ARunning);
  for (QWidget* Control : std::initializer_list<QWidget*>{chkAllKinds, lstKinds, btnBaseline, edtFilter, btnTickAll,
                                                          btnTickNone, lstAnomalies})
    Control->setEnabled(!ARunning);
  actCancelRun->setEnabled(ARunning);
  if (ARunning) {
    for (QAction* Action : {actConnect, actCompare, actSynchronize, actPostChange, actExportReport})
      Action->setEnabled(false);
    return;
  }
  actSynchronize->setEnabled(FAnomalies->AnyTickable());
  actExportReport->setEnabled(!FRunPanel->Outcome().Result.Name.isEmpty());
  FSourcePanes->UpdateApproveAction();
  ShowConnectionState();
}

void TfrmDbPublish::ExportReport(const QString& AFileName) {
  const QByteArray Report = RenderReport(TReportFormat::Html, {FRunPanel->Outcome().Result}, false);
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

void TfrmDbPublish::FilterAnomalies() {
  const QString Filter = edtFilter->text().trimmed();
  for (int Row = 0; Row < FAnomalies->rowCount(); ++Row)
    lstAnomalies->setRowHidden(Row, !FAnomalies->TextOf(Row).contains(Filter, Qt::CaseInsensitive));
}

void TfrmDbPublish::TickVisibleAnomalies(bool ATicked) {
  for (int Row = 0; Row < FAnomalies->rowCount(); ++Row)
    if (!lstAnomalies->isRowHidden(Row))
      FAnomalies->SetTicked(Row, ATicked);
}

TDatabaseObject* TfrmDbPublish::SelectedObject() const {
  const QModelIndex Current = lstAnomalies->currentIndex();
  return Current.isValid() ? FAnomalies->ObjectAt(Current.row()) : nullptr;
}

void TfrmDbPublish::HighlightShownObject() {
  const QSignalBlocker Quiet(lstAnomalies->selectionModel());
  lstAnomalies->setCurrentIndex(FAnomalies->index(FAnomalies->RowOf(FSourcePanes->ShownObject())));
}

void TfrmDbPublish::lstAnomaliesClick() {
  if (!FSourcePanes->ConfirmDropEdits()) {
    HighlightShownObject();
    return;
  }
  const QModelIndex Current = lstAnomalies->currentIndex();
  if (!Current.isValid()) {
    FSourcePanes->ShowObject(nullptr);
    return;
  }
  const TAnomalyListModel::TRow& Row = FAnomalies->RowAt(Current.row());
  const TCompareOutcome& Outcome = FRunPanel->Outcome();
  if (Row.Kind == TAnomalyListModel::rkDrift) {
    FSourcePanes->ShowDrift(Outcome.Drift.Items.at(Row.Index), FBaseline);
    return;
  }
  // A routine missing locally has no object: its gold text is all there is to show.
  if (TDatabaseObject* Object = FAnomalies->ObjectAt(Current.row()))
    FSourcePanes->ShowObject(Object);
  else
    FSourcePanes->ShowGoldOnly(Outcome.RunStatus.Findings().value(Row.Index).GoldText);
}

void TfrmDbPublish::btnSynchronizeClick() {
  if (Running())
    return;
  QList<TDatabaseObject*> Objects;
  QList<int> TickedRows;
  for (int Row = 0; Row < FAnomalies->rowCount(); ++Row)
    if (TDatabaseObject* Object = FAnomalies->ObjectAt(Row); FAnomalies->RowAt(Row).Ticked && Object != nullptr) {
      Objects.append(Object);
      TickedRows.append(Row);
    }
  if (TickedRows.isEmpty()) {
    FLog->Event(QStringLiteral("Tick the objects to repair."), ltWarning);
    return;
  }
  TfrmRepair Preview(
      Objects,
      [this](const TRepairScript& AScript) {
        // The dialog that asked for the repair stays modal while the batches go on the worker.
        ShowRunning(true);
        QList<TRepairResult> Results = FRunPanel->Repair(AScript);
        ShowRunning(false);
        if (FCloseWhenDone)
          QTimer::singleShot(0, this, &QWidget::close);
        return Results;
      },
      this);
  Preview.exec();
  if (!Preview.Ran())
    return;
  const QList<TRepairResult>& Results = Preview.Results();
  bool ShownRepaired = false;
  QList<int> RepairedRows;
  for (qsizetype I = 0; I < TickedRows.size() && I < Results.size(); ++I) {
    if (Results[I].Outcome != TRepairOutcome::Repaired)
      continue;
    ShownRepaired = ShownRepaired || Objects[I] == FSourcePanes->ShownObject();
    RepairedRows.append(TickedRows[I]);
  }
  {
    const QSignalBlocker Quiet(lstAnomalies->selectionModel());
    FAnomalies->RemoveRows(RepairedRows);
  }
  FRunPanel->CountRepaired(static_cast<qint32>(RepairedRows.size()));
  if (ShownRepaired)
    FSourcePanes->ShowObject(nullptr);
  HighlightShownObject();
  actSynchronize->setEnabled(FAnomalies->rowCount() > 0);
  FRunPanel->ShowOutcome();
  ShowConnectionState();
}

void TfrmDbPublish::panObjectDiffDblClick() {
  if (Running())
    return;
  FAnomalies->AddRoutines(FSession->Model().Routines()->Values());
}

}  // namespace quillon
