// The log's message boxes on screen.
#include "gui/Logging.MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>

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
  // Without a parent, Qt centres the dialog on the screen rather than over some window.
  QMessageBox Box;
  Box.setWindowTitle(QGuiApplication::applicationDisplayName());
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
