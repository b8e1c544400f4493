// The side-by-side line diff of the HTML reports.
#pragma once

#include <QString>
#include <QStringView>

namespace quillon {

// The style rules of the side-by-side diff tables and their legend: line numbers as wide as
// their digits, code wrapped at the column's width between words (a token longer than the
// column may still break), the rows in the diff grid's colours and the changed tokens of a
// modified row in a stronger tone.
QString HtmlDiffStyle();
// The legend of those colours, the sides named as in "Only on the gold side".
QString HtmlDiffLegend(const QString& ALeftSide, const QString& ARightSide);
// Text escaped for HTML with every hidden character shown as its marker.
QString HtmlText(QStringView AText);
// Two texts side by side, aligned line by line, under the two captions.
QString HtmlSideBySideDiff(const QString& ALeft, const QString& ARight, const QString& ALeftCaption,
                           const QString& ARightCaption);

}  // namespace quillon
