// The log's message boxes on screen.
#include "gui/Logging.MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace quillon {

namespace {

QMessageBox::Icon IconOf(TMsgDlgType AType) {
  switch (AType) {
    case mtWarning:
      return QMessageBox::Warning;
    case mtError:
      return QMessageBox::Critical;
    default:
      return QMessageBox::Information;
  }
}

struct TButtonMapping {
  TMsgDlgBtn Button;
  QMessageBox::StandardButton Standard;
  TModalResult Result;
};

const TButtonMapping ButtonMappings[] = {
    {mbYes, QMessageBox::Yes, mrYes},
    {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},
    {mbCancel, QMessageBox::Cancel, mrCancel},
};

}  // namespace

qint32 TMessageBoxPresenter::ShowMessageBox(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons) {
  // A box is the window thread's: a check on the worker waits for the user's answer there.
  if (QThread::currentThread() != qApp->thread()) {
    qint32 Answer = 0;
    QMetaObject::invokeMethod(
        qApp, [&] { Answer = ShowMessageBox(AText, AType, AButtons); }, Qt::BlockingQueuedConnection);
    return Answer;
  }
  // Without a parent, Qt centres the dialog on the screen rather than over some window.
  QMessageBox Box;
  Box.setWindowTitle(QApplication::applicationDisplayName());
  Box.setIcon(IconOf(AType));
  Box.setTextFormat(Qt::PlainText);
  Box.setText(AText);
  QMessageBox::StandardButtons Buttons;
  for (const TButtonMapping& Mapping : ButtonMappings)
    if (AButtons & Mapping.Button)
      Buttons |= Mapping.Standard;
  Box.setStandardButtons(Buttons);
  const int Pressed = Box.exec();
  for (const TButtonMapping& Mapping : ButtonMappings)
    if (Pressed == Mapping.Standard)
      return Mapping.Result;
  return (AButtons & mbCancel) ? mrCancel : mrNo;
}

}  // namespace quillon
