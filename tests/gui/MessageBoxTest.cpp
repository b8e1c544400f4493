#include "gui/Logging.MessageBox.h"
#include "support/ProgramArguments.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace quillon {
namespace {

class MessageBoxTest : public ::testing::Test {
protected:
  test::TProgramArguments Arguments;
  QApplication Application{Arguments.Argc, Arguments.Argv.data()};
};

struct TShownBox {
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons Buttons;
  QString Title;
  QString Text;
  Qt::TextFormat Format = Qt::AutoText;
  QPoint CentreOffset;
};

// Answers the next modal box by clicking AButton, or with Escape, after noting what it shows.
void AnswerNextBox(TShownBox& AShown, std::optional<QMessageBox::StandardButton> AButton) {
  QTimer::singleShot(0, [&AShown, AButton] {
    auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!Box) {
      ADD_FAILURE() << "no message box";
      return;
    }
    AShown = {Box->icon(), Box->standardButtons(), Box->windowTitle(), Box->text(), Box->textFormat(),
              Box->frameGeometry().center() - Box->screen()->availableGeometry().center()};
    if (AButton)
      Box->button(*AButton)->click();
    else
      QTest::keyClick(Box, Qt::Key_Escape);
  });
}

TEST_F(MessageBoxTest, ShowsTheKindAndButtonsAndReturnsTheAnswer) {
  struct TCase {
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
    std::optional<QMessageBox::StandardButton> Click;  // nullopt: Escape
    QMessageBox::Icon Icon;
    QMessageBox::StandardButtons Shown;
    qint32 Result;
  };
  const TCase Cases[] = {
      {mtInformation, mbOK, QMessageBox::Ok, QMessageBox::Information, QMessageBox::Ok, mrOk},
      {mtWarning, mbYes | mbNo | mbCancel, QMessageBox::Yes, QMessageBox::Warning,
       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, mrYes},
      {mtError, mbYes | mbNo, QMessageBox::No, QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No, mrNo},
      {mtWarning, mbYes | mbNo | mbCancel, std::nullopt, QMessageBox::Warning,
       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, mrCancel},
      {mtInformation, mbYes | mbNo, std::nullopt, QMessageBox::Information, QMessageBox::Yes | QMessageBox::No, mrNo},
  };
  Application.setApplicationDisplayName(QStringLiteral("Ulmora Quillon"));
  TMessageBoxPresenter Presenter;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "type " << Case.Type << ", buttons " << Case.Buttons);
    TShownBox Shown;
    AnswerNextBox(Shown, Case.Click);
    EXPECT_EQ(Presenter.ShowMessageBox(QStringLiteral("<b>Found</b>\n2 anomalies"), Case.Type, Case.Buttons), Case.Result);
    EXPECT_EQ(Shown.Icon, Case.Icon);
    EXPECT_EQ(Shown.Buttons, Case.Shown);
    EXPECT_EQ(Shown.Title, QStringLiteral("Ulmora Quillon"));
    EXPECT_EQ(Shown.Text, QStringLiteral("<b>Found</b>\n2 anomalies"));
    EXPECT_EQ(Shown.Format, Qt::PlainText);
    EXPECT_LE(Shown.CentreOffset.manhattanLength(), 2) << Shown.CentreOffset.x() << "," << Shown.CentreOffset.y();
  }
}

}  // namespace
}  // namespace quillon
