// The main window's source panes: the local and gold texts of the object chosen in the list, a
// routine's gold-standard versions and their approval, and the Differences page.
#include "gui/MainWindow.SourcePanes.h"

#include "gui/Component.DiffGrid.h"
#include "gui/Component.DiffLegend.h"
#include "gui/Component.SqlEditor.h"
#include "gui/Component.VersionTabSet.h"
#include "gui/MainWindow.Handlers.h"
#include "gui/MainWindow.Layout.h"
#include "gui/VclForm.Approval.h"
#include "model/Xml.NodeList.h"
#include "drift/Drift.Engine.h"
#include "infra/text/Support.Format.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "service/OstrelService.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"
#include "session/Session.Check.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QSignalBlocker>

namespace quillon {

TSourcePanes::TSourcePanes(TMainWindowLayout& AControls, TCheckSession& ASession, ILog* ALog, QWidget* AWindow)
    : FControls(AControls), FSession(ASession), FLog(ALog), FWindow(AWindow) {
  connect(FControls.memLocal, &QsciScintilla::textChanged, this, GuardedSlot(this, &TSourcePanes::UpdateApproveAction));
  connect(FControls.tabsetVersions, &TVersionTabSet::Clicked, this, GuardedSlot(this, &TSourcePanes::VersionChosen));
  connect(FControls.actPostChange, &QAction::triggered, this, GuardedSlot(this, &TSourcePanes::Approve));
  connect(FControls.memOfficial, &QWidget::customContextMenuRequested, this, [this](const QPoint& APos) {
    Guarded([&] { FControls.mnuOfficialDDL->popup(FControls.memOfficial->mapToGlobal(APos)); });
  });
  FControls.panMain->installEventFilter(this);
  FControls.tbsDiffViewer->installEventFilter(this);
}

bool TSourcePanes::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AEvent->type() == QEvent::Resize)
    Guarded([&] {
      if (AWatched == FControls.panMain)
        SplitSourcePage();
      else if (AWatched == FControls.tbsDiffViewer)
        FControls.grdDiff->RealignCols();
    });
  return QObject::eventFilter(AWatched, AEvent);
}

void TSourcePanes::SplitSourcePage() {
  const qint32 TopMargin = FControls.panMain->layout()->contentsMargins().top();
  FControls.panLocal->setFixedHeight((FControls.panMain->contentsRect().height() - 3 * TopMargin) / 2);
}

void TSourcePanes::SetLocalText(const QString& AText) {
  {
    // Code fills the editor: that is no edit of the user's.
    const QSignalBlocker Quiet(FControls.memLocal);
    FControls.memLocal->setText(AText);
  }
  FShownLocalText = AText;
}

void TSourcePanes::Clear() {
  FShownObject = nullptr;
  FCurrentSource = nullptr;
  FVersionTexts.clear();
  FControls.tabsetVersions->Clear();
  SetLocalText(QString());
  FControls.memOfficial->clear();
  FControls.lgdDiff->SetSideNames(QStringLiteral("gold"), QStringLiteral("local"));
  FControls.grdDiff->SetLeftHeader(QStringLiteral("Gold standard definition"));
  FControls.grdDiff->SetRightHeader(QStringLiteral("Local object definition"));
  FControls.grdDiff->SetLeft(QString());
  FControls.grdDiff->SetRight(QString());
  UpdateApproveAction();
}

bool TSourcePanes::ConfirmDropEdits() {
  if (FShownObject == nullptr || FControls.memLocal->text() == FShownLocalText)
    return true;
  return FLog->LogYesNo(Format(QStringLiteral("The local text of %s has edits that are not stored. Drop them?"),
                               {FShownObject->FullName()}),
                        ltWarning, false);
}

QString TSourcePanes::DatabaseGoldCaption() const {
  return Format(QStringLiteral("Gold standard of version %d"), {FSession.Info().Version});
}

void TSourcePanes::ShowDifferences(const QString& AGoldText, const QString& AGoldCaption) {
  TDiffGrid* Grid = FControls.grdDiff;
  Grid->SetLeftHeader(AGoldCaption);
  const TDatabaseInfo& Info = FSession.Info();
  Grid->SetRightHeader(Format(QStringLiteral("Local, %s on %s"), {Info.DatabaseName, Info.Server}));
  Grid->SetLeft(AGoldText);
  Grid->SetRight(FControls.memLocal->text());
  Grid->Compare();
}

void TSourcePanes::ShowObject(TDatabaseObject* AObject) {
  Clear();
  FShownObject = AObject;
  if (AObject == nullptr)
    return;
  FCurrentSource = dynamic_cast<ICodedObject*>(AObject);
  QString Local;
  QString Gold;
  if (const auto* Index = dynamic_cast<const TDatabaseIndex*>(AObject)) {
    // The gold standard only knows whether the index is unique, and it differs in just that.
    Local = UniquenessCaption(Index->Unique());
    Gold = UniquenessCaption(!Index->Unique());
  } else if (FCurrentSource != nullptr) {
    Local = FCurrentSource->DDL();
    Gold = FCurrentSource->GetStandardDefinition();
  }
  SetLocalText(Local);
  FControls.memOfficial->setText(Gold);
  ShowDifferences(Gold, DatabaseGoldCaption());
  if (auto* Routine = dynamic_cast<TDatabaseRoutine*>(AObject))
    LoadRoutineVersions(Routine);
}

void TSourcePanes::ShowGoldOnly(const QString& AGoldText) {
  Clear();
  FControls.memOfficial->setText(AGoldText);
  ShowDifferences(AGoldText, DatabaseGoldCaption());
}

void TSourcePanes::ShowDrift(const TDriftItem& ADrift, const QString& ABaselineFile) {
  Clear();
  SetLocalText(ADrift.TargetText);
  FControls.memOfficial->setText(ADrift.BaselineText);
  ShowDifferences(ADrift.BaselineText, Format(QStringLiteral("Baseline %s"), {QFileInfo(ABaselineFile).fileName()}));
  FControls.lgdDiff->SetSideNames(QStringLiteral("baseline"), QStringLiteral("local"));
}

void TSourcePanes::LoadRoutineVersions(TDatabaseRoutine* ARoutine) {
  FVersionTexts.clear();
  FControls.tabsetVersions->Clear();
  const TXmlDocument Page =
      LoadXmlDocument(RoutineVersionsPageAddress(ARoutine->RoutineSchema(), ARoutine->RoutineName()));
  for (const TXmlNode* Node : TNodeList(Page, QStringLiteral("DbRoutine"))) {
    const TXmlNode* Version = Node->ChildElement(QStringLiteral("DbVersion"));
    const TXmlNode* Source = Node->ChildElement(QStringLiteral("SourceCode"));
    const QString VersionText = Version != nullptr ? Version->Text() : QString();
    FControls.tabsetVersions->addTab(VersionText);
    FVersionTexts.insert(VersionText, Source != nullptr ? Source->Text() : QString());
  }
  FControls.tabsetVersions->SetTabIndex(-1);
}

void TSourcePanes::VersionChosen() {
  const qint32 Index = FControls.tabsetVersions->TabIndex();
  if (Index >= 0) {
    const QString Version = FControls.tabsetVersions->tabText(Index);
    FControls.memOfficial->setText(FVersionTexts.value(Version));
    ShowDifferences(FControls.memOfficial->text(), Format(QStringLiteral("Gold standard of version %s"), {Version}));
    FControls.actPostChange->setToolTip(
        Format(QStringLiteral("Save local version as gold standard for %s"), {Version}));
  }
  UpdateApproveAction();
}

void TSourcePanes::UpdateApproveAction() {
  FControls.actPostChange->setEnabled(dynamic_cast<TDatabaseRoutine*>(FShownObject) != nullptr &&
                                      FControls.tabsetVersions->TabIndex() >= 0 &&
                                      !SameTextAscii(FControls.memLocal->text(), FControls.memOfficial->text()));
}

void TSourcePanes::Approve() {
  TVersionTabSet* Versions = FControls.tabsetVersions;
  const qint32 Index = Versions->TabIndex();
  if (Index < 0) {
    FLog->Event(QStringLiteral("Select a version on the tabs."), ltWarning);
    return;
  }
  auto* Routine = dynamic_cast<TDatabaseRoutine*>(FShownObject);
  if (Routine == nullptr) {
    FLog->Event(QStringLiteral("Select a routine to the left."), ltWarning);
    return;
  }
  const QString VersionText = Versions->tabText(Index);
  const qint32 Version = StrToInt(VersionText);
  const QString Local = FControls.memLocal->text();
  TfrmApproval Question(
      Format(QStringLiteral("Store the local text of %s as the gold standard of version %d? It replaces the gold "
                            "text that version holds."),
             {Routine->FullName(), Version}),
      Format(QStringLiteral("Gold standard of version %d"), {Version}), FVersionTexts.value(VersionText), Local,
      FWindow);
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
  qint32 Stored = -1;
  for (qint32 I = 0; I < Versions->count() && Stored < 0; ++I)
    if (Versions->tabText(I) == VersionText)
      Stored = I;
  Versions->SetTabIndex(Stored);
  VersionChosen();
}

}  // namespace quillon
