#include "gui/Component.SqlEditor.h"
#include "support/GuiApplicationTest.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

class SqlEditor : public test::TGuiApplicationTest {};

// What the editor draws in place of a character, or empty when it draws the character.
QString Representation(TSqlEditor& AEditor, char16_t ACode) {
  const QByteArray Character = QString(QChar(ACode)).toUtf8();
  char Buffer[64] = {};
  AEditor.SendScintilla(QsciScintillaBase::SCI_GETREPRESENTATION, reinterpret_cast<unsigned long>(Character.constData()),
                        static_cast<void*>(Buffer));
  return QString::fromUtf8(Buffer);
}

TEST_F(SqlEditor, HiddenCharactersAreDrawnAsMarkersAndKeptInTheText) {
  TSqlEditor Editor;
  const QString Text = QStringLiteral("IF @IsAdmin = 1 \u202E -- }\u2066 ;BEGIN\r\nSELECT\u200B 1\u2028");
  Editor.setText(Text);
  EXPECT_EQ(Editor.text(), Text);
  for (const char16_t Code : {0x202E, 0x2066, 0x200B, 0x2028, 0x061C, 0xFEFF, 0x85})
    EXPECT_EQ(Representation(Editor, Code), QStringLiteral("U+%1").arg(static_cast<uint>(Code), 4, 16, QLatin1Char('0')).toUpper());
  EXPECT_EQ(Representation(Editor, u'a'), QString());
  EXPECT_EQ(Editor.HiddenLines(), (QList<qint32>{0, 1}));
  Editor.resize(600, 120);
  Editor.show();
  test::SaveScreenshot(Editor, QStringLiteral("sqleditor_bidi_control"));
  Editor.setText(QStringLiteral("SELECT 1\r\nSELECT \u200F2\r\n"));
  EXPECT_EQ(Editor.HiddenLines(), QList<qint32>{1});
}

}  // namespace
}  // namespace quillon
