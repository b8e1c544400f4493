// The small window on top that shows what a long activity is doing.
#include "gui/VclForm.Progress.h"

#include "gui/Gui.Fonts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace quillon {

TfrmProgress::TfrmProgress(QWidget* AOwner)
    : QWidget(AOwner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      lblHeader(new QLabel(QStringLiteral("Aktivitet"), this)),
      lblInfo(new QLabel(QStringLiteral("Aktiviteten er ikke startet"), this)),
      pbrSplash(new QProgressBar(this)) {
  setObjectName(QStringLiteral("frmProgress"));
  setFixedSize(320, 114);
  // Cream, with a thin edge since the window has no frame of its own.
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(QStringLiteral("#frmProgress { background: #FFF6DC; border: 1px solid #B8AE90; }"));

  lblHeader->setObjectName(QStringLiteral("lblHeader"));
  lblHeader->setFont(UiFont(FaceSegoeUi, 12));
  lblInfo->setObjectName(QStringLiteral("lblInfo"));
  lblInfo->setFont(UiFont(FaceSegoeUi, 8));
  lblInfo->setMinimumWidth(0);
  lblInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  pbrSplash->setObjectName(QStringLiteral("pbrSplash"));
  pbrSplash->setRange(0, 100);
  pbrSplash->setValue(0);
  pbrSplash->setTextVisible(false);
  pbrSplash->setFixedHeight(17);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(16, 12, 16, 14);
  Layout->setSpacing(6);
  Layout->addWidget(lblHeader);
  Layout->addWidget(lblInfo);
  Layout->addStretch();
  Layout->addWidget(pbrSplash);
}

QString TfrmProgress::GetInfo() { return lblInfo->text(); }

void TfrmProgress::SetInfo(const QString& Value) {
  if (!isVisible()) {
    CentreOnWindow();
    show();
  }
  if (Value == lblInfo->text())
    return;
  lblInfo->setText(Value);
  lblInfo->repaint();
}

void TfrmProgress::Done() {
  pbrSplash->setValue(100);
  SetInfo(QStringLiteral("Ingen aktivitet"));
  if (isVisible())
    hide();
}

void TfrmProgress::SetProgress(double value) {
  const qint32 Position = RoundHalfEven(value);
  if (Position == pbrSplash->value())
    return;
  pbrSplash->setValue(Position);
  pbrSplash->repaint();
  lblInfo->repaint();
}

void TfrmProgress::SetHeader(const QString& AName) { lblHeader->setText(AName); }

void TfrmProgress::CentreOnWindow() {
  const QWidget* Target = FCentreOn != nullptr ? FCentreOn : parentWidget();
  QRect Area;
  if (Target != nullptr && Target->isVisible())
    Area = Target->frameGeometry();
  else if (const QScreen* Screen = QGuiApplication::primaryScreen())
    Area = Screen->availableGeometry();
  if (Area.isValid())
    move(Area.center() - rect().center());
}

std::unique_ptr<TfrmProgress> CreateProgressWindow(QWidget* AOwner, const QString& AName) {
  auto Result = std::make_unique<TfrmProgress>(AOwner);
  Result->SetHeader(AName);
  return Result;
}

}  // namespace quillon
