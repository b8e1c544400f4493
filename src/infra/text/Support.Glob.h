// Shell-style wildcard matching of object names, ignoring letter case.
#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

// True when AText matches the shell-style APattern as a whole: "*" stands for any run of
// characters (none included), "?" for exactly one; every other character stands for itself,
// compared ignoring letter case. Object names may hold brackets, so "[" has no meaning here.
bool GlobMatches(const QString& APattern, const QString& AText);

// The --include/--exclude choice of objects by "schema.name": an object is taken when no
// include pattern is given or one of them matches, and none of the exclude patterns matches.
class TNameFilter {
public:
  TNameFilter() = default;
  TNameFilter(QStringList AIncludes, QStringList AExcludes)
      : FIncludes(std::move(AIncludes)), FExcludes(std::move(AExcludes)) {}

  bool Accepts(const QString& AName) const;
  bool IsEmpty() const { return FIncludes.isEmpty() && FExcludes.isEmpty(); }

private:
  QStringList FIncludes;
  QStringList FExcludes;
};

}  // namespace quillon
