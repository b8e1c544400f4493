#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("Ulmora Quillon"));
  QMainWindow Window;
  Window.setWindowTitle(QStringLiteral("Ulmora Quillon"));
  Window.show();
  return Application.exec();
}
