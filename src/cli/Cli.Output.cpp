#include "cli/Cli.Output.h"

#include "infra/Support.Exceptions.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillon::cli {

namespace {

// What the signal handler may touch: plain memory, set before the temporary file exists and
// cleared after it is gone.
char PendingFile[4096];
volatile sig_atomic_t HasPendingFile = 0;
termios TerminalSettings;
volatile sig_atomic_t TerminalFd = -1;

extern "C" void OnInterrupt(int) {
  if (HasPendingFile)
    unlink(PendingFile);
  if (TerminalFd >= 0)
    tcsetattr(TerminalFd, TCSANOW, &TerminalSettings);
  static const char Message[] = "quillon-cli: interrupted\n";
  [[maybe_unused]] const ssize_t Written = write(STDERR_FILENO, Message, sizeof Message - 1);
  _exit(2);
}

Exception WriteError(const QString& AFileName, int AErrno) {
  return Exception(QStringLiteral("cannot write the report %1: %2")
                       .arg(AFileName, QString::fromLocal8Bit(std::strerror(AErrno))));
}

bool WriteAll(int AFd, const QByteArray& AData) {
  const char* Next = AData.constData();
  qsizetype Left = AData.size();
  while (Left > 0) {
    const ssize_t Written = write(AFd, Next, static_cast<size_t>(Left));
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written <= 0)
      return false;
    Next += Written;
    Left -= Written;
  }
  return fsync(AFd) == 0;
}

}  // namespace

void WriteFileAtomically(const QString& AFileName, const QByteArray& AData) {
  const QFileInfo Target(AFileName);
  const QByteArray TempName =
      QFile::encodeName(Target.absolutePath() + QStringLiteral("/.%1.%2.part").arg(Target.fileName()).arg(getpid()));
  if (static_cast<size_t>(TempName.size()) >= sizeof PendingFile)
    throw Exception(QStringLiteral("cannot write the report %1: the path is too long").arg(AFileName));
  std::memcpy(PendingFile, TempName.constData(), static_cast<size_t>(TempName.size()) + 1);
  HasPendingFile = 1;
  const int Fd = open(PendingFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (Fd < 0) {
    HasPendingFile = 0;
    throw WriteError(AFileName, errno);
  }
  const bool Written = WriteAll(Fd, AData);
  const int WriteErrno = errno;
  close(Fd);
  if (!Written || rename(PendingFile, QFile::encodeName(Target.absoluteFilePath()).constData()) != 0) {
    const int Reason = Written ? errno : WriteErrno;
    unlink(PendingFile);
    HasPendingFile = 0;
    throw WriteError(AFileName, Reason);
  }
  HasPendingFile = 0;
}

void SetTerminalToRestore(int AFd, const termios* ASettings) {
  TerminalFd = -1;
  if (AFd < 0)
    return;
  TerminalSettings = *ASettings;
  TerminalFd = AFd;
}

void InstallInterruptHandler() {
  struct sigaction Action {};
  Action.sa_handler = OnInterrupt;
  sigemptyset(&Action.sa_mask);
  for (int Signal : {SIGINT, SIGTERM, SIGHUP})
    sigaction(Signal, &Action, nullptr);
}

}  // namespace quillon::cli
