// The dialog that asks whether a local routine text becomes the gold standard of a version.
#include "gui/VclForm.Approval.h"

#include "gui/Component.DiffGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

TfrmApproval::TfrmApproval(const QString& AQuestion, const QString& AGoldCaption, const QString& AGoldText,
                           const QString& ALocalText, QWidget* AOwner)
    : QDialog(AOwner) {
  setObjectName(QStringLiteral("frmApproval"));
  setWindowTitle(QStringLiteral("Approve local text"));
  resize(860, 520);

  auto* Icon = new QLabel(this);
  Icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  lblQuestion = new QLabel(AQuestion, this);
  lblQuestion->setObjectName(QStringLiteral("lblQuestion"));
  lblQuestion->setWordWrap(true);
  lblQuestion->setTextFormat(Qt::PlainText);

  grdDiff = new TDiffGrid(this);
  grdDiff->setObjectName(QStringLiteral("grdDiff"));
  grdDiff->SetLeftHeader(AGoldCaption);
  grdDiff->SetRightHeader(QStringLiteral("Local text (to be stored)"));
  grdDiff->SetLeft(AGoldText);
  grdDiff->SetRight(ALocalText);
  grdDiff->Compare();

  btnYes = new QPushButton(QStringLiteral("Store as gold standard"), this);
  btnYes->setObjectName(QStringLiteral("btnYes"));
  btnNo = new QPushButton(QStringLiteral("Cancel"), this);
  btnNo->setObjectName(QStringLiteral("btnNo"));
  btnNo->setDefault(true);
  connect(btnYes, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnNo, &QPushButton::clicked, this, &QDialog::reject);

  auto* Top = new QHBoxLayout;
  Top->addWidget(Icon, 0, Qt::AlignTop);
  Top->addWidget(lblQuestion, 1);
  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(btnYes);
  Buttons->addWidget(btnNo);
  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Top);
  Layout->addWidget(grdDiff, 1);
  Layout->addLayout(Buttons);
}

}  // namespace quillon
