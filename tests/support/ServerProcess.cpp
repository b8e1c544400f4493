#include "support/ServerProcess.h"

#include <stdexcept>

namespace quillon::test {

TServerProcess::TServerProcess(const QString& AScript, const QStringList& AArguments) {
  FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  FProcess.start(QStringLiteral("python3"), QStringList{AScript} + AArguments);
  if (!FProcess.waitForStarted(10000))
    throw std::runtime_error("cannot start python3 " + AScript.toStdString());
  while (!FProcess.canReadLine())
    if (!FProcess.waitForReadyRead(20000))
      throw std::runtime_error(AScript.toStdString() + " printed no port");
  bool Ok = false;
  FPort = FProcess.readLine().trimmed().toUShort(&Ok);
  if (!Ok)
    throw std::runtime_error(AScript.toStdString() + " printed no port");
}

QString TServerProcess::Command(const QString& ALine, int ATimeoutMs) {
  FProcess.write((ALine + u'\n').toUtf8());
  if (!FProcess.waitForBytesWritten(ATimeoutMs))
    throw std::runtime_error("cannot send a command to the test server");
  while (!FProcess.canReadLine())
    if (!FProcess.waitForReadyRead(ATimeoutMs))
      throw std::runtime_error("the test server did not answer " + ALine.toStdString());
  return QString::fromUtf8(FProcess.readLine()).trimmed();
}

TServerProcess::~TServerProcess() {
  FProcess.closeWriteChannel();
  if (!FProcess.waitForFinished(5000)) {
    FProcess.kill();
    FProcess.waitForFinished(5000);
  }
}

}  // namespace quillon::test
