// Writing reports and standard output safely, and the handling of interrupts (SIGINT, SIGTERM,
// SIGHUP).
#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

namespace quillon::cli {

// Writes AData to AFileName through a temporary file in the same folder that replaces it only
// once complete, so a reader never sees half a report and an interrupted run leaves the old
// file (or none). Raises Exception naming the file and the reason when it cannot be written.
void WriteFileAtomically(const QString& AFileName, const QByteArray& AData);

// Raises Exception, before anything connects, when a report cannot go to AFileName: a folder,
// a folder that does not exist or cannot be written. "-" is standard output.
void CheckReportDestination(const QString& AFileName);

// Raises Exception "AWhat: the folder ... does not exist" (or cannot be written).
void CheckFolderWritable(const QString& AFolder, const QString& AWhat);

// Writes a report: "-" to standard output; a FIFO, a device or a /dev/stdout-like path in
// place; a regular file (also a symlink's target, the link kept) through WriteFileAtomically.
void WriteReport(const QString& AFileName, const QByteArray& AData);

// Writes to standard output; raises Exception when it cannot (a full disk, a closed pipe).
void WriteStdOut(const QByteArray& AData);

// A regular report file the interrupt handler removes: the run that would have replaced it
// did not finish, and a report of an earlier run must not pass for this one's.
void RemoveOnInterrupt(const QString& AFileName);

// Whether a progress line is open on the terminal, so that the interrupt message starts a line
// of its own.
void SetProgressLineOpen(bool AOpen);

// Ctrl+C, SIGTERM and SIGHUP end the program at once with exit code 128 + the signal (130,
// 143, 129) and one line on standard error, after removing the temporary file of a report
// being written and the reports the run would have replaced, and giving the terminal back its
// echo when a password prompt had switched it off.
void InstallInterruptHandler();

// From now on an interrupt does not end the program: the signal is passed on through the pipe
// whose reading end is returned (ReadInterrupt reads it), so that the reports can still be
// written with what finished and the rest marked cancelled; EndInterrupted then ends the
// program. A second signal ends it at once, as without deferral.
int DeferInterrupts();
void StopDeferringInterrupts();
// The signal passed on; call when the pipe of DeferInterrupts is readable.
int ReadInterrupt();
// Ends an interrupted run once its reports are written: removes a temporary file being
// written, restores the terminal, says "interrupted" and exits with 128 + ASignal.
[[noreturn]] void EndInterrupted(int ASignal);

// The terminal settings an interrupt restores on AFd while a prompt runs without echo; a
// negative AFd clears them.
void SetTerminalToRestore(int AFd, const termios* ASettings);

}  // namespace quillon::cli
