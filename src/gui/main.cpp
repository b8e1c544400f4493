// The window program's entry point.
#include "gui/Gui.Program.h"
#include "gui/MainQuillon.h"

int main(int argc, char* argv[]) {
  quillon::TProgramGlobals Globals(argc, argv);
  // A failure before the message loop runs is reported like any other; the globals still shut
  // down in order, so the log file is written.
  try {
    quillon::TfrmDbPublish Window;
    Window.show();
    return Globals.Application().exec();
  } catch (...) {
    quillon::HandleException();
    return 1;
  }
}
