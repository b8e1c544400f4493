// The application object and the default error handler of the window program.
#pragma once

#include <QApplication>

namespace quillon {

// The default error handler: reports the exception being handled (call it from a catch block)
// with a message box and in the log. A silent abort (EAbort, the cancelled login among them)
// is dropped without a word.
void HandleException();

// The application object. An exception that escapes an event handler goes to HandleException
// and the message loop carries on, so no failure of a handler ends the program, and the log
// file is written at its normal end.
class TApplication : public QApplication {
public:
  TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* AReceiver, QEvent* AEvent) override;
};

}  // namespace quillon
