// The T-SQL source editor, with keyword highlighting and line numbers.
#pragma once

#include <Qsci/qsciscintilla.h>

namespace quillon {

// A T-SQL source editor: keyword highlighting, line numbers in a margin and CR LF line ends,
// as the server keeps its module texts.
class TSqlEditor : public QsciScintilla {
  Q_OBJECT

public:
  explicit TSqlEditor(QWidget* AParent = nullptr);

  // The line-number margin is at least AGutterWidth pixels wide and keeps AMarginPadding pixels
  // beside the widest line number, in APointSize points.
  void SetLineNumbers(qint32 AMarginPadding, qint32 APointSize, qint32 AGutterWidth);
  // The lines (from 0) that hold a hidden character, which the editor shades.
  QList<qint32> HiddenLines() const;

private:
  static constexpr int HiddenLineMarker = 0;

  void FitLineNumberMargin();
  void MarkHiddenLines();
  void ShowHiddenCharactersAsMarkers();

  qint32 FMarginPadding = 14;
  qint32 FGutterWidth = 28;
  QFont FNumbersFont;
};

}  // namespace quillon
