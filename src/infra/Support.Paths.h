#pragma once

#include <QString>

namespace quillon {

// Full path of the running program, read from /proc/self/exe.
QString ExePath();
// Folder of the running program, with a trailing separator.
QString ExeFolder();
// The program's file name without folder and without extension.
QString ExeName();
// The file beside the program named like it, with AExtension (".ini") in place of its own.
QString ExeSiblingFileName(const QString& AExtension);
// The folder where the program keeps what it remembers between runs (the publish run's routine
// checksums), with a trailing separator: the program's own folder.
QString ProgramStateFolder();
// Appends the platform's path separator unless APath already ends with one.
QString IncludeTrailingPathDelimiter(const QString& APath);

}  // namespace quillon
