#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

namespace quillon::cli {

// Writes AData to AFileName through a temporary file in the same folder that replaces it only
// once complete, so a reader never sees half a report and an interrupted run leaves the old
// file (or none). Raises Exception naming the file and the reason when it cannot be written.
void WriteFileAtomically(const QString& AFileName, const QByteArray& AData);

// Ctrl+C, SIGTERM and SIGHUP end the program at once with exit code 2 and one line on
// standard error, after removing the temporary file of a report being written and giving the
// terminal back its echo when a password prompt had switched it off.
void InstallInterruptHandler();

// The terminal settings an interrupt restores on AFd while a prompt runs without echo; a
// negative AFd clears them.
void SetTerminalToRestore(int AFd, const termios* ASettings);

}  // namespace quillon::cli
