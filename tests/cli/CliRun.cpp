// Running quillon-cli for the command-line tests, and the files they read and write.
#include "CliRun.h"

#include "JsonReportSchema.h"

#include <QFile>
#include <QJsonArray>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::cli_test {

TCliRun RunCli(const QStringList& AArguments, const QString& APassword) {
  QProcess Process;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.remove(QStringLiteral("QUILLON_PASSWORD"));
  if (!APassword.isNull())
    Environment.insert(QStringLiteral("QUILLON_PASSWORD"), APassword);
  Process.setProcessEnvironment(Environment);
  Process.start(QStringLiteral(QUILLON_CLI), AArguments);
  Process.closeWriteChannel();
  EXPECT_TRUE(Process.waitForFinished(120000)) << AArguments.join(u' ').toStdString();
  return TCliRun{Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1,
                 Process.readAllStandardOutput(), Process.readAllStandardError()};
}

TCliRun RunOnTerminal(const QStringList& AArguments, const QString& AAnswer) {
  QProcess Process;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QUILLON_PASSWORD"), Password);
  Environment.insert(QStringLiteral("ANSWER"), AAnswer);
  Process.setProcessEnvironment(Environment);
  Process.start(QStringLiteral("python3"),
                QStringList{QStringLiteral("-c"),
                            QStringLiteral("import os, pty, select, sys\n"
                                           "pid, fd = pty.fork()\n"
                                           "if pid == 0:\n"
                                           "    os.execv(sys.argv[1], sys.argv[1:])\n"
                                           "seen, answered = b'', False\n"
                                           "while select.select([fd], [], [], 60)[0]:\n"
                                           "    try:\n"
                                           "        data = os.read(fd, 4096)\n"
                                           "    except OSError:\n"
                                           "        break\n"
                                           "    if not data:\n"
                                           "        break\n"
                                           "    seen += data\n"
                                           "    if not answered and b'[y/N]' in seen:\n"
                                           "        os.write(fd, os.environ['ANSWER'].encode() + b'\\n')\n"
                                           "        answered = True\n"
                                           "sys.stdout.buffer.write(seen)\n"
                                           "sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))\n"),
                            QStringLiteral(QUILLON_CLI)} +
                    AArguments);
  EXPECT_TRUE(Process.waitForFinished(120000));
  return TCliRun{Process.exitCode(), Process.readAllStandardOutput(), Process.readAllStandardError()};
}

void StartCli(QProcess& AProcess, const QStringList& AArguments) {
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QUILLON_PASSWORD"), Password);
  AProcess.setProcessEnvironment(Environment);
  AProcess.start(QStringLiteral(QUILLON_CLI), AArguments);
}

QList<pid_t> ChildrenOf(qint64 APid) {
  QList<pid_t> Children;
  for (const QByteArray& Pid : ReadFile(QStringLiteral("/proc/%1/task/%1/children").arg(APid)).split(' '))
    if (!Pid.trimmed().isEmpty())
      Children.append(static_cast<pid_t>(Pid.trimmed().toInt()));
  return Children;
}

QByteArray ReadFile(const QString& AFileName) {
  QFile File(AFileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

QString WriteFile(const QTemporaryDir& ADir, const QString& AName, const QByteArray& AData) {
  const QString FileName = ADir.filePath(AName);
  QFile File(FileName);
  EXPECT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(AData);
  return FileName;
}

quint16 ClosedPort() {
  const int Socket = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
  socklen_t Length = sizeof Address;
  getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length);
  close(Socket);
  return ntohs(Address.sin_port);
}

QJsonObject SingleTarget(const QByteArray& AReport) {
  const QJsonArray Targets = test::ValidJsonReport(AReport)[QStringLiteral("targets")].toArray();
  EXPECT_EQ(Targets.size(), 1) << AReport.toStdString();
  return Targets.at(0).toObject();
}

QSet<QString> AnomaliesOf(const QJsonObject& AReport) {
  QSet<QString> Names;
  for (const QJsonValue& Anomaly : AReport.value(QStringLiteral("anomalies")).toArray())
    Names.insert(Anomaly[QStringLiteral("kind")].toString() + u' ' + Anomaly[QStringLiteral("fullName")].toString());
  return Names;
}

}  // namespace quillon::cli_test
