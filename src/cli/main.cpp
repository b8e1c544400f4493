// quillon-cli's entry point.
#include "cli/Cli.Program.h"

#include <QCoreApplication>

#include <fcntl.h>

namespace {

// A standard stream the caller closed ("quillon-cli ... >&-") would be taken by the first file
// the program opens, and the report written into that file. A read-only /dev/null holds its
// place instead: writing to it fails, and the failure is reported.
void HoldClosedStandardStreams() {
  for (int Fd : {0, 1, 2})
    if (fcntl(Fd, F_GETFD) < 0)
      open("/dev/null", O_RDONLY);
}

}  // namespace

int main(int argc, char* argv[]) {
  HoldClosedStandardStreams();
  QCoreApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("quillon-cli"));
  Application.setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  return quillon::cli::RunCommandLine(Application.arguments().mid(1));
}
