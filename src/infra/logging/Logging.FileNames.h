// Where the program keeps files beside the executable, such as its log.
#pragma once

#include <QString>

namespace quillon {

// Where this program keeps files that belong beside the executable, such as its log.
class TLogFileNaming {
public:
  TLogFileNaming() = delete;

  // The executable's folder with ASubfolderName and a trailing separator appended. The folder
  // is not created: its absence is how an installation says "no log file, please".
  static QString GetSubfolder(const QString& ASubfolderName);
  // The executable's file name without folder and extension.
  static QString GetExeName();
  // <exe folder>/LOGS/<exe name>-<user name><AExtension>; installed, the user's state folder in
  // place of <exe folder>/LOGS/.
  static QString GetStdFileName(const QString& AExtension);
};

}  // namespace quillon
