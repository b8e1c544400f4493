// The T-SQL source editor, with keyword highlighting and line numbers.
#include "gui/Component.SqlEditor.h"

#include "diff/Diff.Display.h"
#include "gui/Gui.Fonts.h"
#include "infra/text/Support.Format.h"

#include <Qsci/qscilexersql.h>

#include <QFontMetrics>

namespace quillon {

namespace {

// The SQL lexer with the words of Transact-SQL in place of the generic ones.
class TTransactSqlLexer : public QsciLexerSQL {
public:
  using QsciLexerSQL::QsciLexerSQL;

  const char* keywords(int ASet) const override {
    if (ASet == 1)
      return "add all alter and any as asc authorization backup begin between break browse bulk by "
             "cascade case check checkpoint close clustered coalesce collate column commit compute "
             "constraint contains continue convert create cross current current_date current_time "
             "current_timestamp current_user cursor database dbcc deallocate declare default delete deny "
             "desc distinct distributed double drop else end errlvl escape except exec execute exists "
             "exit external fetch file fillfactor for foreign freetext from full function goto grant "
             "group having holdlock identity identity_insert identitycol if in index inner insert "
             "intersect into is join key kill left like lineno merge national nocheck nocount "
             "nonclustered not null nullif of off offsets on open option or order outer output over "
             "percent pivot plan primary print proc procedure public raiserror read readtext "
             "reconfigure references replication restore restrict return returns revert revoke right "
             "rollback rowcount rowguidcol rule save schema select session_user set setuser shutdown "
             "some statistics system_user table tablesample textsize then throw to top tran "
             "transaction trigger truncate try catch union unique unpivot update updatetext use user "
             "values varying view waitfor when where while with writetext xact_abort "
             "bigint binary bit char date datetime datetime2 datetimeoffset decimal float image int "
             "money nchar ntext numeric nvarchar real smalldatetime smallint smallmoney sql_variant "
             "text time timestamp tinyint uniqueidentifier varbinary varchar xml max";
    return QsciLexerSQL::keywords(ASet);
  }
};

}  // namespace

TSqlEditor::TSqlEditor(QWidget* AParent) : QsciScintilla(AParent) {
  auto* Lexer = new TTransactSqlLexer(this);
  const QFont Code = UiFont(FaceCourierNew, 10);
  Lexer->setDefaultFont(Code);
  Lexer->setFont(Code);
  setLexer(Lexer);
  setEolMode(QsciScintilla::EolWindows);
  setUtf8(true);
  setFrameShape(QFrame::NoFrame);
  // A horizontal scroll bar only when a line is wider than the editor.
  SendScintilla(SCI_SETSCROLLWIDTH, 1);
  SendScintilla(SCI_SETSCROLLWIDTHTRACKING, true);
  setMarginType(0, QsciScintilla::NumberMargin);
  setMarginLineNumbers(0, true);
  setMarginsBackgroundColor(QColor(0xF0, 0xF0, 0xF0));
  setMarginsForegroundColor(QColor(0x80, 0x80, 0x80));
  for (int Margin = 1; Margin < margins(); ++Margin)
    setMarginWidth(Margin, 0);
  connect(this, &QsciScintilla::linesChanged, this, &TSqlEditor::FitLineNumberMargin);
  SetLineNumbers(FMarginPadding, 8, FGutterWidth);
  ShowHiddenCharactersAsMarkers();
  markerDefine(QsciScintilla::Background, HiddenLineMarker);
  setMarkerBackgroundColor(QColor(0xFF, 0xF0, 0xB8), HiddenLineMarker);
  connect(this, &QsciScintilla::textChanged, this, &TSqlEditor::MarkHiddenLines);
}

void TSqlEditor::MarkHiddenLines() {
  markerDeleteAll(HiddenLineMarker);
  const QStringList Lines = SplitTextLines(text());
  for (qsizetype Line = 0; Line < Lines.size(); ++Line)
    if (HasHiddenCharacters(Lines.at(Line)))
      markerAdd(static_cast<int>(Line), HiddenLineMarker);
}

QList<qint32> TSqlEditor::HiddenLines() const {
  QList<qint32> Lines;
  for (int Line = markerFindNext(0, 1 << HiddenLineMarker); Line >= 0; Line = markerFindNext(Line + 1, 1 << HiddenLineMarker))
    Lines.append(Line);
  return Lines;
}

void TSqlEditor::ShowHiddenCharactersAsMarkers() {
  // The editor draws a representation in a box of its own in place of the character, so a
  // bidirectional control is seen and never reorders the line. NUL, CR and LF keep the editor's
  // own handling (a mnemonic box, line ends); lone surrogates cannot be written in UTF-8.
  for (char32_t Code = 1; Code <= 0xFFFF; ++Code) {
    if (Code == u'\r' || Code == u'\n' || QChar::isSurrogate(Code) || !IsHiddenCharacter(Code))
      continue;
    const QByteArray Character = QString(QChar(static_cast<char16_t>(Code))).toUtf8();
    const QByteArray Marker = HiddenCharacterMarker(Code).mid(1).chopped(1).toUtf8();
    SendScintilla(SCI_SETREPRESENTATION, Character.constData(), Marker.constData());
  }
}

void TSqlEditor::SetLineNumbers(qint32 AMarginPadding, qint32 APointSize, qint32 AGutterWidth) {
  FMarginPadding = AMarginPadding;
  FGutterWidth = AGutterWidth;
  FNumbersFont = UiFont(FaceCourierNew, APointSize);
  setMarginsFont(FNumbersFont);
  FitLineNumberMargin();
}

void TSqlEditor::FitLineNumberMargin() {
  const QString Widest = QString(QString::number(std::max(lines(), 1)).size(), u'9');
  setMarginWidth(0, std::max(FGutterWidth, QFontMetrics(FNumbersFont).horizontalAdvance(Widest) + FMarginPadding));
}

}  // namespace quillon
