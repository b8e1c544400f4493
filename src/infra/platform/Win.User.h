// The user's account name and the machine's host name.
#pragma once

#include <QString>

namespace quillon {

// The account name of the user running the process.
QString GetWindowsUserName();
// The machine's short host name (up to the first point).
QString GetWindowsComputerName();

}  // namespace quillon
