// The repair dialog: each object's T-SQL before it runs, and each object's result after.
#include "gui/VclForm.Repair.h"

#include "gui/Component.SqlEditor.h"
#include "gui/Gui.Application.h"
#include "infra/text/Support.Format.h"
#include "model/Tables.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {

enum TColumn { colObject, colKind, colStatus };

QPushButton* Button(const QString& AName, const QString& ACaption, QWidget* AParent) {
  auto* Result = new QPushButton(ACaption, AParent);
  Result->setObjectName(AName);
  Result->setAutoDefault(false);
  return Result;
}

}  // namespace

TfrmRepair::TfrmRepair(const QList<TDatabaseObject*>& AObjects, TRunner ARunner, QWidget* AOwner)
    : QDialog(AOwner), FObjects(AObjects), FRunner(std::move(ARunner)) {
  setObjectName(QStringLiteral("frmRepair"));
  setWindowTitle(QStringLiteral("Repair selected objects"));
  resize(900, 640);

  for (TDatabaseObject* Object : FObjects)
    if (auto* View = dynamic_cast<TDatabaseView*>(Object); View != nullptr && View->Indexed()) {
      View->AllowIndexLoss(false);
      FIndexedViews.append(View);
    }

  lblSummary = new QLabel(this);
  lblSummary->setObjectName(QStringLiteral("lblSummary"));
  lblSummary->setWordWrap(true);

  chkAllowIndexLoss = new QCheckBox(
      FIndexedViews.size() == 1
          ? QStringLiteral("Alter the indexed view too: this drops all its indexes, which must then be made again")
          : Format(QStringLiteral("Alter the %d indexed views too: this drops all their indexes, which must then be "
                                  "made again"),
                   {static_cast<qint32>(FIndexedViews.size())}),
      this);
  chkAllowIndexLoss->setObjectName(QStringLiteral("chkAllowIndexLoss"));
  chkAllowIndexLoss->setVisible(!FIndexedViews.isEmpty());
  connect(chkAllowIndexLoss, &QCheckBox::toggled, this, &TfrmRepair::chkAllowIndexLossClick);

  lvObjects = new QTreeWidget(this);
  lvObjects->setObjectName(QStringLiteral("lvObjects"));
  lvObjects->setRootIsDecorated(false);
  lvObjects->setHeaderLabels({QStringLiteral("Object"), QStringLiteral("Kind"), QStringLiteral("Status")});
  lvObjects->header()->setSectionResizeMode(colObject, QHeaderView::ResizeToContents);
  lvObjects->header()->setSectionResizeMode(colKind, QHeaderView::ResizeToContents);

  memScript = new TSqlEditor(this);
  memScript->setObjectName(QStringLiteral("memScript"));
  memScript->setReadOnly(true);

  auto* Split = new QSplitter(Qt::Vertical, this);
  Split->addWidget(lvObjects);
  Split->addWidget(memScript);
  Split->setStretchFactor(1, 2);

  btnSaveScript = Button(QStringLiteral("btnSaveScript"), QStringLiteral("Save script..."), this);
  btnCopy = Button(QStringLiteral("btnCopy"), QStringLiteral("Copy"), this);
  btnRun = Button(QStringLiteral("btnRun"), QStringLiteral("Run"), this);
  btnCancel = Button(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), this);
  connect(btnSaveScript, &QPushButton::clicked, this, &TfrmRepair::btnSaveScriptClick);
  connect(btnCopy, &QPushButton::clicked, this, &TfrmRepair::btnCopyClick);
  connect(btnRun, &QPushButton::clicked, this, &TfrmRepair::btnRunClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(btnSaveScript);
  Buttons->addWidget(btnCopy);
  Buttons->addStretch();
  Buttons->addWidget(btnRun);
  Buttons->addWidget(btnCancel);
  auto* Layout = new QVBoxLayout(this);
  Layout->addWidget(lblSummary);
  Layout->addWidget(chkAllowIndexLoss);
  Layout->addWidget(Split, 1);
  Layout->addLayout(Buttons);
  Plan();
}

TfrmRepair::~TfrmRepair() {
  for (TDatabaseView* View : FIndexedViews)
    View->AllowIndexLoss(false);
}

void TfrmRepair::Plan() {
  FScript = TRepairScript();
  for (TDatabaseObject* Object : FObjects)
    FScript.Add(Object);
  const qint32 Repairable = FScript.RepairableCount();
  const qint32 Refused = static_cast<qint32>(FScript.Steps().size()) - Repairable;
  lblSummary->setText(
      Format(QStringLiteral("Run sends the script below to the server: %d object(s) will be altered, one batch "
                            "each, in this order; it stops at the first failure. %d object(s) cannot be repaired."),
             {Repairable, Refused}));
  lvObjects->clear();
  for (const TRepairStep& Step : FScript.Steps()) {
    auto* Item = new QTreeWidgetItem(lvObjects, {Step.ObjectName, Step.Kind,
                                                 Step.Repairable() ? QStringLiteral("will be altered")
                                                                   : QStringLiteral("cannot be repaired: ") + Step.Refusal});
    Item->setToolTip(colStatus, Item->text(colStatus));
  }
  memScript->setText(FScript.Text());
  btnRun->setEnabled(Repairable > 0);
}

void TfrmRepair::chkAllowIndexLossClick() {
  for (TDatabaseView* View : FIndexedViews)
    View->AllowIndexLoss(chkAllowIndexLoss->isChecked());
  Plan();
}

void TfrmRepair::SaveScriptTo(const QString& AFileName) {
  try {
    FScript.SaveToFile(AFileName);
  } catch (...) {
    HandleException();
  }
}

void TfrmRepair::btnSaveScriptClick() {
  QFileDialog Ask(this, QStringLiteral("Save repair script"), QString(), QStringLiteral("T-SQL script (*.sql)"));
  Ask.setObjectName(QStringLiteral("dlgSaveScript"));
  Ask.setAcceptMode(QFileDialog::AcceptSave);
  Ask.setDefaultSuffix(QStringLiteral("sql"));
  Ask.setOption(QFileDialog::DontUseNativeDialog);
  if (Ask.exec() == QDialog::Accepted && !Ask.selectedFiles().isEmpty())
    SaveScriptTo(Ask.selectedFiles().first());
}

void TfrmRepair::btnCopyClick() { QGuiApplication::clipboard()->setText(FScript.Text()); }

void TfrmRepair::btnRunClick() {
  btnRun->setEnabled(false);
  chkAllowIndexLoss->setEnabled(false);
  try {
    FResults = FRunner(FScript);
  } catch (...) {
    btnRun->setEnabled(true);
    chkAllowIndexLoss->setEnabled(true);
    HandleException();
    return;
  }
  FRan = true;
  ShowResults();
}

void TfrmRepair::ShowResults() {
  qint32 Repaired = 0;
  for (qsizetype I = 0; I < FResults.size() && I < lvObjects->topLevelItemCount(); ++I) {
    const TRepairResult& Result = FResults[I];
    QTreeWidgetItem* Item = lvObjects->topLevelItem(static_cast<int>(I));
    QString Text = RepairOutcomeText(Result.Outcome);
    if (!Result.Message.isEmpty())
      Text += QStringLiteral(": ") + Result.Message;
    Item->setText(colStatus, Text);
    Item->setToolTip(colStatus, Text);
    if (Result.Outcome == TRepairOutcome::Failed)
      Item->setForeground(colStatus, QColor(0xB0, 0x00, 0x20));
    if (Result.Outcome == TRepairOutcome::Repaired)
      ++Repaired;
  }
  lblSummary->setText(Format(QStringLiteral("%d of %d object(s) repaired."),
                             {Repaired, static_cast<qint32>(FResults.size())}));
  btnRun->hide();
  btnCancel->setText(QStringLiteral("Close"));
  btnCancel->setDefault(true);
}

}  // namespace quillon
