// The log every component writes to: levels, ILog and the process-wide GlobalLog.
#include "infra/logging/Logging.Interfaces.h"

#include <cxxabi.h>
#include <cstdlib>
#include <memory>

namespace quillon {

QString QualifiedClassNameOf(const std::type_info& AType) {
  int Status = 0;
  std::unique_ptr<char, decltype(&std::free)> Demangled(
      abi::__cxa_demangle(AType.name(), nullptr, nullptr, &Status), &std::free);
  QString Name = QString::fromLatin1(Status == 0 && Demangled ? Demangled.get() : AType.name());
  return Name.replace(QStringLiteral("::"), QStringLiteral("."));
}

QString ClassNameOf(const std::type_info& AType) {
  const QString Qualified = QualifiedClassNameOf(AType);
  return Qualified.mid(Qualified.lastIndexOf(u'.') + 1);
}

}  // namespace quillon
