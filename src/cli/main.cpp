#include "cli/Cli.Program.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
  QCoreApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("quillon-cli"));
  Application.setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  return quillon::cli::RunCommandLine(Application.arguments().mid(1));
}
