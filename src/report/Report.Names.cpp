// The rules for names in the reports: brackets quoted again, hidden characters as markers.
#include "report/Report.Names.h"

#include "diff/Diff.Display.h"

#include <QStringList>

namespace quillon {

namespace {

bool IsBracketed(QStringView AName) {
  return AName.size() >= 2 && AName.startsWith(u'[') && AName.endsWith(u']');
}

}  // namespace

QString ReportName(QStringView AFullName) {
  if (!IsBracketed(AFullName))
    return ShowHiddenCharacters(AFullName);
  const QString Separator = QStringLiteral("].[");
  QStringList Parts = AFullName.mid(1, AFullName.size() - 2).toString().split(Separator);
  for (QString& Part : Parts)
    Part.replace(u']', QStringLiteral("]]"));
  return ShowHiddenCharacters(u'[' + Parts.join(Separator) + u']');
}

QString ReportText(QStringView AText) { return ShowHiddenCharacters(AText); }

QString HtmlName(QStringView AFullName) { return ReportName(AFullName).toHtmlEscaped(); }

}  // namespace quillon
