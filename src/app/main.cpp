#include "app/Gui.Program.h"

#include <QMainWindow>

int main(int argc, char* argv[]) {
  quillon::TProgramGlobals Globals(argc, argv);
  QMainWindow Window;
  Window.setWindowTitle(QGuiApplication::applicationDisplayName());
  Window.show();
  return Globals.Application().exec();
}
