// The main window against the TDS test server and the gold-standard test service: the fixture
// and helpers its tests share.
#pragma once

#include "gui/Component.SqlEditor.h"
#include "gui/Component.VersionTabSet.h"
#include "gui/MainQuillon.h"
#include "gui/MainWindow.AnomalyModel.h"
#include "gui/VclForm.Approval.h"
#include "gui/VclForm.Repair.h"
#include "model/Xml.NodeList.h"
#include "database/Database.Simple.h"
#include "gui/VclForm.Login.h"
#include "gui/Component.DiffGrid.h"
#include "infra/platform/Support.Paths.h"
#include "model/DatabaseObjects.h"
#include "service/OstrelService.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"
#include "support/GoldService.h"
#include "support/GuiApplicationTest.h"
#include "support/MemorySettings.h"
#include "support/ModalAnswer.h"
#include "support/TdsServer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QDeadlineTimer>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillon::window_test {

using test::TGoldService;
using test::TTdsServer;

// The anomalies a run over every kind lists for the catalogue fixture against its gold
// standard, in the order of the comparison; the ignore list drops [dbo].[GetDatabaseInfo] (a
// check constraint and a routine) and the view [dbo].[FnEventTimeToNum].
const QStringList AllAnomalies{QStringLiteral("[dbo].[CK_Diff]"),
                               QStringLiteral("[dbo].[V_Diff]"),
                               QStringLiteral("[sales].[V_Blank]"),
                               QStringLiteral("[dbo].[P_Diff]"),
                               QStringLiteral("[dbo].[OrderLines].[IX_Diff]"),
                               QStringLiteral("[dbo].[Orders].[IX_Unknown]")};

const QString LocalPDiff = QStringLiteral("CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 2");
const QString Connected = QStringLiteral("Server: GOLDTEST   Database: Tellwick\nLogin: quillon   Version: 12");
const QString NotConnected = QStringLiteral("Not connected");

// A copy of the catalogue fixture in AFolder with AFrom replaced by ATo; its file name.
inline QString EditedFixture(const QTemporaryDir& AFolder, const QByteArray& AFrom, const QByteArray& ATo) {
  QFile Original(QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml"));
  EXPECT_TRUE(Original.open(QIODevice::ReadOnly));
  const QByteArray Text = Original.readAll();
  EXPECT_TRUE(Text.contains(AFrom));
  const QString Result = AFolder.filePath(QStringLiteral("catalogue.xml"));
  QFile Copy(Result);
  EXPECT_TRUE(Copy.open(QIODevice::WriteOnly));
  Copy.write(QByteArray(Text).replace(AFrom, ATo));
  return Result;
}

// The main window against the TDS test server serving the catalogue fixture and the gold
// service seeded with its gold standard, logged in through the login dialog.
class MainWindowTest : public test::TGuiApplicationTest {
protected:
  static void SetUpTestSuite() {
    Service = std::make_unique<TGoldService>(QStringLiteral("compare_gold.json"));
    Service->Install();
  }
  static void TearDownTestSuite() { Service.reset(); }
  void SetUp() override { Service->Reset(); }

  enum TLogin { lgKnown, lgWrongPassword, lgCancel };

  // Shows the window, which connects at once and answers the login dialog as ALogin says.
  void Start(TLogin ALogin = lgKnown, const std::function<void(TfrmLogin&)>& AOnLogin = {}) {
    Start(Tds, ALogin, AOnLogin);
  }
  void Start(TTdsServer& AServer, TLogin ALogin = lgKnown, const std::function<void(TfrmLogin&)>& AOnLogin = {}) {
    Window = std::make_unique<TfrmDbPublish>();
    // The window's designed size, whatever the size of the test's screen.
    Window->resize(1121, 833);
    Window->SetConnectionString(AServer.ConnectionString(QStringLiteral("Tellwick")));
    bool Answered = false;
    test::AnswerNextModal<TfrmLogin>([&Answered, ALogin, AOnLogin](TfrmLogin& ADialog) {
      if (AOnLogin)
        AOnLogin(ADialog);
      ADialog.edtUsername->setText(QStringLiteral("quillon"));
      ADialog.edtPassword->setText(ALogin == lgWrongPassword ? QStringLiteral("wrong") : QStringLiteral("pw"));
      QTest::mouseClick(ALogin == lgCancel ? ADialog.btnCancel : ADialog.btnOk, Qt::LeftButton);
      Answered = true;
    });
    Window->show();
    // FormShow runs from the message loop and has ended when the dialog's answer is seen.
    ASSERT_TRUE(QTest::qWaitFor([&Answered] { return Answered; }, 15000));
  }

  void TickAllKinds() {
    QTest::mouseClick(Window->chkAllKinds, Qt::LeftButton);
    ASSERT_TRUE(Window->chkAllKinds->isChecked());
    ASSERT_EQ(Window->lstKinds->item(6)->checkState(), Qt::Checked);
  }
  // Starts a compare run as the user does, and waits for it to end on its worker.
  void Compare() {
    QTest::mouseClick(Window->btnPublish, Qt::LeftButton);
    WaitForRunEnd();
  }
  void WaitForRunEnd() {
    QDeadlineTimer Deadline(std::chrono::minutes(2));
    while (Window->Running() && !Deadline.hasExpired())
      QTest::qWait(5);
    ASSERT_FALSE(Window->Running()) << "the run did not end";
    // What the run's end shows is painted too.
    QTest::qWait(1);
  }

  // The names of the items that can be ticked for repair: the anomalies (the items show their
  // kinds in front of them).
  QStringList Anomalies() const { return Items(true); }
  // The items without a tick: what the run found besides anomalies.
  QStringList Findings() const { return Items(false); }
  QStringList Items(bool ATickable) const {
    QStringList Result;
    for (int I = 0; I < List()->rowCount(); ++I) {
      const QModelIndex Row = List()->index(I, 0);
      if (Row.flags().testFlag(Qt::ItemIsUserCheckable) == ATickable)
        Result.append(ATickable ? Row.data(TAnomalyListModel::NameRole).toString() : Row.data().toString());
    }
    return Result;
  }
  QAbstractItemModel* List() const { return Window->lstAnomalies->model(); }
  // The row of an anomaly by its name, or of a finding by its text.
  QModelIndex Anomaly(const QString& AName) const {
    for (int I = 0; I < List()->rowCount(); ++I) {
      const QModelIndex Row = List()->index(I, 0);
      if (Row.data(TAnomalyListModel::NameRole).toString() == AName || Row.data().toString() == AName)
        return Row;
    }
    ADD_FAILURE() << AName.toStdString();
    return {};
  }
  QString Text(const QString& AName) const { return Anomaly(AName).data().toString(); }
  Qt::CheckState TickOf(const QString& AName) const {
    return Anomaly(AName).data(Qt::CheckStateRole).value<Qt::CheckState>();
  }
  bool Hidden(const QString& AName) const { return Window->lstAnomalies->isRowHidden(Anomaly(AName).row()); }
  void Select(const QString& AName) {
    QTest::mouseClick(Window->lstAnomalies->viewport(), Qt::LeftButton, {},
                      Window->lstAnomalies->visualRect(Anomaly(AName)).center());
  }
  void Tick(const QString& AName) { List()->setData(Anomaly(AName), Qt::Checked, Qt::CheckStateRole); }
  QStringList VersionTabs() const {
    QStringList Result;
    for (int I = 0; I < Window->tabsetVersions->count(); ++I)
      Result.append(Window->tabsetVersions->tabText(I));
    return Result;
  }
  void ClickVersion(const QString& AVersion) {
    const int Index = VersionTabs().indexOf(AVersion);
    ASSERT_GE(Index, 0) << AVersion.toStdString();
    QTest::mouseClick(Window->tabsetVersions, Qt::LeftButton, {}, Window->tabsetVersions->tabRect(Index).center());
  }
  QStringList BoxTexts() const {
    QStringList Result;
    for (const test::TRecordingPresenter::TBox& Box : Log.Presenter.Boxes)
      Result.append(Box.Text);
    return Result;
  }
  QStringList SentStatements(const QString& APrefix) { return SentStatements(Tds, APrefix); }
  static QStringList SentStatements(TTdsServer& AServer, const QString& APrefix) {
    QStringList Result;
    for (const TTdsServer::TStatement& Statement : AServer.Statements())
      if (Statement.Sql.trimmed().startsWith(APrefix, Qt::CaseInsensitive))
        Result.append(Statement.Sql.trimmed());
    return Result;
  }

  // Clicks Repair and answers its preview: AOnPreview sees it before Run, AOnResults after;
  // without ARun the preview is cancelled.
  void Repair(bool ARun = true, const std::function<void(TfrmRepair&)>& AOnPreview = {},
              const std::function<void(TfrmRepair&)>& AOnResults = {}) {
    bool Answered = false;
    test::AnswerNextModal<TfrmRepair>([&](TfrmRepair& ADialog) {
      if (AOnPreview)
        AOnPreview(ADialog);
      if (ARun) {
        QTest::mouseClick(ADialog.btnRun, Qt::LeftButton);
        if (AOnResults)
          AOnResults(ADialog);
      }
      QTest::mouseClick(ADialog.btnCancel, Qt::LeftButton);
      Answered = true;
    });
    QTest::mouseClick(Window->btnSynchronize, Qt::LeftButton);
    EXPECT_TRUE(Answered);
  }
  // The rows of the repair dialog: "name | kind | status".
  static QStringList RepairRows(const TfrmRepair& ADialog) {
    QStringList Result;
    for (int I = 0; I < ADialog.lvObjects->topLevelItemCount(); ++I) {
      const QTreeWidgetItem* Item = ADialog.lvObjects->topLevelItem(I);
      Result.append(QStringList{Item->text(0), Item->text(1), Item->text(2)}.join(QStringLiteral(" | ")));
    }
    return Result;
  }
  // Clicks Approve and answers its question; returns the question asked.
  QString Approve(bool AYes, const std::function<void(TfrmApproval&)>& AOnQuestion = {}) {
    QString Question;
    test::AnswerNextModal<TfrmApproval>([&](TfrmApproval& ADialog) {
      Question = ADialog.lblQuestion->text();
      if (AOnQuestion)
        AOnQuestion(ADialog);
      QTest::mouseClick(AYes ? ADialog.btnYes : ADialog.btnNo, Qt::LeftButton);
    });
    QTest::mouseClick(Window->btnPostChange, Qt::LeftButton);
    return Question;
  }

  static inline std::unique_ptr<TGoldService> Service;
  TTdsServer Tds{QStringLiteral("compare_catalogue.xml"), {QStringLiteral("quillon:pw")}};
  std::unique_ptr<TfrmDbPublish> Window;
};

}  // namespace quillon::window_test
