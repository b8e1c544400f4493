// Writing reports and standard output safely, and the handling of interrupts (SIGINT, SIGTERM,
// SIGHUP).
#include "cli/Cli.Output.h"

#include "infra/platform/Support.Exceptions.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::cli {

namespace {

// What the signal handler may touch: plain memory, set before the temporary file exists and
// cleared after it is gone.
char PendingFile[4096];
volatile sig_atomic_t HasPendingFile = 0;
termios TerminalSettings;
volatile sig_atomic_t TerminalFd = -1;
volatile sig_atomic_t ProgressLineOpen = 0;
constexpr int MaxStaleReports = 16;
char StaleReports[MaxStaleReports][4096];
volatile sig_atomic_t StaleReportCount = 0;

// While interrupts are deferred, the handler only passes the signal on through this pipe; the
// program then writes its cancelled reports and ends by EndInterrupted.
int InterruptPipe[2] = {-1, -1};
volatile sig_atomic_t DeferringInterrupts = 0;
volatile sig_atomic_t InterruptPassedOn = 0;

// Async-signal-safe: what an interrupted run leaves behind, and its line on standard error.
void CleanUpAfterInterrupt(bool ARemoveStaleReports) {
  if (HasPendingFile)
    unlink(PendingFile);
  if (ARemoveStaleReports)
    for (int i = 0; i < StaleReportCount; ++i)
      unlink(StaleReports[i]);
  if (TerminalFd >= 0)
    tcsetattr(TerminalFd, TCSANOW, &TerminalSettings);
  static const char Message[] = "\nquillon-cli: interrupted\n";
  const int Skip = ProgressLineOpen ? 0 : 1;
  [[maybe_unused]] const ssize_t Written = write(STDERR_FILENO, Message + Skip, sizeof Message - 1 - Skip);
}

extern "C" void OnInterrupt(int ASignal) {
  // A second signal while the first is being handled ends the program at once.
  if (DeferringInterrupts && !InterruptPassedOn) {
    InterruptPassedOn = 1;
    const char Signal = static_cast<char>(ASignal);
    if (write(InterruptPipe[1], &Signal, 1) == 1)
      return;
  }
  CleanUpAfterInterrupt(true);
  _exit(128 + ASignal);
}

Exception ReportError(const QString& AFileName, const QString& AReason) {
  return Exception(QStringLiteral("cannot write the report %1: %2").arg(AFileName, AReason));
}

bool IsSystemPath(const QByteArray& APath) { return APath.startsWith("/dev/") || APath.startsWith("/proc/"); }

// Where a report really goes. A path that names (or links to) anything but a regular file, or
// passes through /dev or /proc (/dev/stdout, /proc/self/fd/1), is written in place: replacing
// it would turn a device into a file, or write to a file nobody reads. Otherwise the symlinks
// are followed by hand, so that the rename replaces the link's target and keeps the link.
struct TReportTarget {
  QByteArray Path;
  bool InPlace = false;
};

TReportTarget ResolveReportTarget(const QString& AFileName) {
  TReportTarget Target{QFile::encodeName(QFileInfo(AFileName).absoluteFilePath()), false};
  struct stat Info {};
  if (stat(Target.Path.constData(), &Info) == 0) {
    if (S_ISDIR(Info.st_mode))
      throw ReportError(AFileName, QStringLiteral("it is a folder"));
    if (!S_ISREG(Info.st_mode))
      return TReportTarget{Target.Path, true};
  }
  QByteArray Path = Target.Path;
  for (int Hops = 0; Hops < 40 && !IsSystemPath(Path); ++Hops) {
    struct stat LinkInfo {};
    if (lstat(Path.constData(), &LinkInfo) != 0 || !S_ISLNK(LinkInfo.st_mode))
      return TReportTarget{Path, false};
    char Buffer[4096];
    const ssize_t Length = readlink(Path.constData(), Buffer, sizeof Buffer);
    if (Length <= 0 || Length == sizeof Buffer)
      throw ReportError(AFileName, QStringLiteral("cannot read the symbolic link"));
    const QByteArray LinkText(Buffer, Length);
    Path = LinkText.startsWith('/') ? LinkText : Path.left(Path.lastIndexOf('/') + 1) + LinkText;
  }
  return TReportTarget{Target.Path, true};
}

Exception WriteError(const QString& AFileName, int AErrno) {
  return ReportError(AFileName, QString::fromLocal8Bit(std::strerror(AErrno)));
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
  // Devices and pipes cannot be synced (EINVAL); for them the write is all there is.
  return fsync(AFd) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace

void WriteFileAtomically(const QString& AFileName, const QByteArray& AData) {
  const QFileInfo Target(AFileName);
  const QByteArray TempName =
      QFile::encodeName(Target.absolutePath() + QStringLiteral("/.%1.%2.part").arg(Target.fileName()).arg(getpid()));
  if (static_cast<size_t>(TempName.size()) >= sizeof PendingFile)
    throw ReportError(AFileName, QStringLiteral("the path is too long"));
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

void CheckReportDestination(const QString& AFileName) {
  if (AFileName == QLatin1String("-"))
    return;
  const TReportTarget Target = ResolveReportTarget(AFileName);
  if (Target.InPlace) {
    if (access(Target.Path.constData(), W_OK) != 0)
      throw ReportError(AFileName, QString::fromLocal8Bit(std::strerror(errno)));
    return;
  }
  const QByteArray Folder = Target.Path.left(std::max<qsizetype>(Target.Path.lastIndexOf('/'), 1));
  CheckFolderWritable(QFile::decodeName(Folder), QStringLiteral("cannot write the report %1").arg(AFileName));
}

void CheckFolderWritable(const QString& AFolder, const QString& AWhat) {
  const QByteArray Folder = QFile::encodeName(AFolder);
  struct stat Info {};
  if (stat(Folder.constData(), &Info) != 0 || !S_ISDIR(Info.st_mode))
    throw Exception(QStringLiteral("%1: the folder %2 does not exist").arg(AWhat, AFolder));
  if (access(Folder.constData(), W_OK | X_OK) != 0)
    throw Exception(QStringLiteral("%1: the folder %2 cannot be written").arg(AWhat, AFolder));
}

void WriteReport(const QString& AFileName, const QByteArray& AData) {
  if (AFileName == QLatin1String("-"))
    return WriteStdOut(AData);
  const TReportTarget Target = ResolveReportTarget(AFileName);
  if (!Target.InPlace)
    return WriteFileAtomically(QFile::decodeName(Target.Path), AData);
  // Appending: a /dev/stdout that a shell opened with ">" holds what was written before.
  const int Fd = open(Target.Path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (Fd < 0)
    throw WriteError(AFileName, errno);
  const bool Written = WriteAll(Fd, AData);
  const int WriteErrno = errno;
  close(Fd);
  if (!Written)
    throw WriteError(AFileName, WriteErrno);
}

void WriteStdOut(const QByteArray& AData) {
  if (WriteAll(STDOUT_FILENO, AData))
    return;
  throw Exception(QStringLiteral("cannot write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void RemoveOnInterrupt(const QString& AFileName) {
  if (AFileName == QLatin1String("-") || StaleReportCount >= MaxStaleReports)
    return;
  const TReportTarget Target = ResolveReportTarget(AFileName);
  if (Target.InPlace || static_cast<size_t>(Target.Path.size()) >= sizeof StaleReports[0])
    return;
  std::memcpy(StaleReports[StaleReportCount], Target.Path.constData(), static_cast<size_t>(Target.Path.size()) + 1);
  StaleReportCount = StaleReportCount + 1;
}

void SetProgressLineOpen(bool AOpen) { ProgressLineOpen = AOpen ? 1 : 0; }

void SetTerminalToRestore(int AFd, const termios* ASettings) {
  TerminalFd = -1;
  if (AFd < 0)
    return;
  TerminalSettings = *ASettings;
  TerminalFd = AFd;
}

int DeferInterrupts() {
  if (InterruptPipe[0] < 0 && pipe2(InterruptPipe, O_CLOEXEC) != 0)
    throw Exception(QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
  DeferringInterrupts = 1;
  return InterruptPipe[0];
}

void StopDeferringInterrupts() { DeferringInterrupts = 0; }

int ReadInterrupt() {
  char Signal = 0;
  return read(InterruptPipe[0], &Signal, 1) == 1 ? Signal : SIGINT;
}

void EndInterrupted(int ASignal) {
  CleanUpAfterInterrupt(false);
  _exit(128 + ASignal);
}

void InstallInterruptHandler() {
  struct sigaction Action {};
  Action.sa_handler = OnInterrupt;
  sigemptyset(&Action.sa_mask);
  for (int Signal : {SIGINT, SIGTERM, SIGHUP})
    sigaction(Signal, &Action, nullptr);
}

}  // namespace quillon::cli
