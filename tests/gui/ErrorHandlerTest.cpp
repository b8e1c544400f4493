#include "database/Database.Interfaces.h"
#include "support/GuiApplicationTest.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace quillon {
namespace {

using ErrorHandlerTest = test::TGuiApplicationTest;

// What escapes a handler reaches the default error handler, and the message loop goes on.
TEST_F(ErrorHandlerTest, AFailingHandlerIsReportedOnceAndASilentAbortNotAtAll) {
  const struct {
    const char* Name;
    std::function<void()> Raise;
    const char* Reported;
  } Cases[] = {{"exception", [] { throw Exception(QStringLiteral("100%d broken")); }, "100%d broken"},
               {"standard exception", [] { throw std::runtime_error("out of range"); }, "out of range"},
               {"cancelled login", [] { throw ELoginCancelled(); }, nullptr}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Log.Presenter.Boxes.clear();
    Log.Entries.clear();
    QTimer::singleShot(0, Case.Raise);
    QTimer::singleShot(10, &Application, &QCoreApplication::quit);
    EXPECT_EQ(Application.exec(), 0);
    QStringList Boxes;
    for (const auto& Box : Log.Presenter.Boxes)
      Boxes.append(Box.Text);
    const QStringList Expected = Case.Reported ? QStringList{QString::fromUtf8(Case.Reported)} : QStringList();
    EXPECT_EQ(Boxes, Expected);
    EXPECT_EQ(Log.Texts(test::TLogEntry::SilentError), Expected);
  }
}

}  // namespace
}  // namespace quillon
