#include "gui/VclForm.Login.h"
#include "support/GuiApplicationTest.h"
#include "support/ModalAnswer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using LoginDialogTest = test::TGuiApplicationTest;

void Type(QLineEdit* AEdit, const QString& AText) {
  AEdit->selectAll();
  if (AText.isEmpty())
    QTest::keyClick(AEdit, Qt::Key_Delete);
  else
    QTest::keyClicks(AEdit, AText);
}

TEST_F(LoginDialogTest, OkNeedsAUserNameAndAPasswordThatAreNotBlank) {
  TfrmLogin Dialog(nullptr);
  test::AnswerNextModal<TfrmLogin>([](TfrmLogin& AShown) {
    EXPECT_EQ(AShown.windowTitle(), QString::fromUtf8("Pålogging"));
    EXPECT_EQ(AShown.lblProgramName->text(), QStringLiteral("Ulmora Quillon"));
    EXPECT_EQ(AShown.size(), QSize(432, 250));
    // At the first opening nothing has changed yet, so OK keeps its designed state.
    EXPECT_TRUE(AShown.btnOk->isEnabled());
    const struct {
      const char* UserName;
      const char* Password;
      bool OkEnabled;
    } Steps[] = {{"admin", "", false}, {"admin", "pw", true}, {"", "pw", false},
                 {"   ", "pw", false}, {"admin", "  ", false}, {" admin ", " pw ", true}};
    for (const auto& Step : Steps) {
      SCOPED_TRACE(QStringLiteral("'%1' '%2'").arg(Step.UserName, Step.Password).toStdString());
      Type(AShown.edtUsername, QString::fromUtf8(Step.UserName));
      Type(AShown.edtPassword, QString::fromUtf8(Step.Password));
      EXPECT_EQ(AShown.btnOk->isEnabled(), Step.OkEnabled);
    }
    test::SaveScreenshot(AShown, QStringLiteral("login-dialog"));
    QTest::mouseClick(AShown.btnOk, Qt::LeftButton);
  });
  QString UserName;
  QString Password;
  ASSERT_TRUE(Dialog.Login(UserName, Password));
  EXPECT_EQ(UserName, QStringLiteral("admin"));
  EXPECT_EQ(Password, QStringLiteral("pw"));

  // The next opening clears both fields, which counts as a change: OK starts disabled. Avbryt
  // returns nothing of what was typed.
  test::AnswerNextModal<TfrmLogin>([](TfrmLogin& AShown) {
    EXPECT_EQ(AShown.edtUsername->text(), QString());
    EXPECT_FALSE(AShown.btnOk->isEnabled());
    Type(AShown.edtUsername, QStringLiteral("other"));
    QTest::mouseClick(AShown.btnCancel, Qt::LeftButton);
  });
  UserName.clear();
  Password.clear();
  EXPECT_FALSE(Dialog.Login(UserName, Password));
  EXPECT_EQ(UserName, QString());
}

}  // namespace
}  // namespace quillon
