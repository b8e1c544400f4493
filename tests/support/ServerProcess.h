#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace quillon::test {

// A test server in Python: started with its arguments, it prints its port on its first line
// and ends when its standard input closes, which the destructor does (and kills it if it does
// not end in time). Its error output goes to the test's, so a traceback is seen.
class TServerProcess {
public:
  TServerProcess(const QString& AScript, const QStringList& AArguments);
  ~TServerProcess();
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  quint16 Port() const { return FPort; }
  qint64 ProcessId() const { return FProcess.processId(); }
  // Writes one command line to the server's standard input and returns the line it answers
  // (without its line end); raises std::runtime_error when no answer comes in time.
  QString Command(const QString& ALine, int ATimeoutMs = 10000);

private:
  QProcess FProcess;
  quint16 FPort = 0;
};

}  // namespace quillon::test
