// The command line's program: parses the options, runs the command and delivers its reports and
// exit code.
#pragma once

#include <QStringList>

namespace quillon::cli {

// Runs the command line (the arguments after the program's name) and returns the exit code:
// 0 no anomaly, 1 anomalies, 2 an error, reported as one line on standard error. Needs the
// application object.
int RunCommandLine(const QStringList& AArguments);

}  // namespace quillon::cli
