// The running program's path and folder, files beside it, and the user's configuration and
// state folders.
#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

// Full path of the running program, read from /proc/self/exe.
QString ExePath();
// Folder of the running program, with a trailing separator.
QString ExeFolder();
// The program's file name without folder and without extension.
QString ExeName();
// The file beside the program named like it, with AExtension (".ini") in place of its own.
QString ExeSiblingFileName(const QString& AExtension);
// Appends the platform's path separator unless APath already ends with one.
QString IncludeTrailingPathDelimiter(const QString& APath);

// Where the program keeps its files. Run from a build tree (a CMakeCache.txt in the program's
// folder or above it) or with a file named "portable" beside it, everything stays beside the
// program; installed, files go where Linux keeps them: the XDG base directories of the user
// and /etc/quillon for the whole machine.
bool RunsInstalled();
// The decision for a program in AExeFolder, for tests.
bool RunsInstalledFrom(const QString& AExeFolder);

// The user's home folder: $HOME, or the account's entry when HOME is not set.
QString HomeFolder();
// An XDG base directory: the variable's value when it is an absolute path that is not a file
// (a relative path or a file is ignored, as the XDG base-directory rules ask), else
// AHomeRelativeDefault below the home folder. No trailing separator; empty without a home.
QString XdgBaseFolder(const char* AVariable, const QString& AHomeRelativeDefault);

// The program's own folders in the user's XDG base directories, with a trailing separator
// (without any home folder, "/quillon/", where an ordinary account can write nothing).
QString UserConfigFolder();  // $XDG_CONFIG_HOME/quillon/
QString UserStateFolder();   // $XDG_STATE_HOME/quillon/
QString UserDataFolder();    // $XDG_DATA_HOME/quillon/
// The machine-wide settings folder of an installed program.
QString MachineConfigFolder();
// Where the program keeps what it remembers between runs (the log, the publish checksums):
// beside the program in a build tree, the user's state folder when installed.
QString ProgramStateFolder();

// The first of AFolders that holds a file named AName, joined with the name; the first folder's
// when none does.
QString FirstExistingFile(const QString& AName, const QStringList& AFolders);

// Creates AFolder with its parents. On failure tells the user on standard error which folder
// could not be made and what it was for (APurpose, "the log"), and answers false.
bool ForceUserFolder(const QString& AFolder, const QString& APurpose);

}  // namespace quillon
