// The user's account name and the machine's host name.
#include "infra/platform/Win.User.h"

#include <pwd.h>
#include <unistd.h>

#include <array>

namespace quillon {

namespace {
// The names were read into 253-character buffers where the system was designed.
constexpr qsizetype MaxNameLength = 253;
}  // namespace

QString GetWindowsUserName() {
  std::array<char, 1024> Buffer{};
  passwd Entry{};
  passwd* Found = nullptr;
  if (getpwuid_r(geteuid(), &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found && Found->pw_name)
    return QString::fromLocal8Bit(Found->pw_name).left(MaxNameLength);
  const QByteArray FromEnvironment = qgetenv("USER");
  return QString::fromLocal8Bit(FromEnvironment).left(MaxNameLength);
}

QString GetWindowsComputerName() {
  std::array<char, 256> Buffer{};
  if (gethostname(Buffer.data(), Buffer.size() - 1) != 0)
    return QString();
  QString Name = QString::fromLocal8Bit(Buffer.data());
  const qsizetype Point = Name.indexOf(u'.');
  if (Point >= 0)
    Name.truncate(Point);
  return Name.left(MaxNameLength);
}

}  // namespace quillon
