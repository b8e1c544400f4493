// How every report writes a name from the database: the one set of rules that text, JUnit and
// HTML share (JSON keeps names as data, untouched).
#pragma once

#include <QString>
#include <QStringView>

namespace quillon {

// An object's name as a reader must see it: a bracketed name ("[dbo].[a]b]", as the model
// joins its parts) written again with every "]" inside brackets doubled ("[dbo].[a]]b]"), and
// every hidden character shown as its marker so that it cannot reverse or rewrite the line.
// The model joins the parts with "].[" without quoting them, so a part that itself holds "].["
// reads as two parts here. A name without brackets ("dbo.Orders.Id") only gets the markers.
QString ReportName(QStringView AFullName);

// Any other name a report shows (a target, server, database or file) with its hidden
// characters as markers.
QString ReportText(QStringView AText);

// ReportName, escaped for HTML.
QString HtmlName(QStringView AFullName);

}  // namespace quillon
