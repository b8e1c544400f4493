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

namespace quillon {
namespace {

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
QString EditedFixture(const QTemporaryDir& AFolder, const QByteArray& AFrom, const QByteArray& ATo) {
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

TEST_F(MainWindowTest, StartUpConnectsThroughTheLoginDialogAndShowsDatabaseAndVersion) {
  Start(lgKnown, [](TfrmLogin& ADialog) { test::SaveScreenshot(ADialog, QStringLiteral("login-at-start-up")); });
  EXPECT_EQ(Window->lblConnection->text(), Connected);
  EXPECT_TRUE(Window->SourceDb().Connected());
  EXPECT_FALSE(Window->btnConnect->isVisible());
  EXPECT_EQ(Window->windowTitle(), Window->lblMainHeader->text());
  EXPECT_EQ(Window->lblProgress->text(), QStringLiteral("No activity"));
  EXPECT_FALSE(Window->btnPublish->isEnabled()) << "no kind is ticked yet";
  EXPECT_FALSE(Window->btnSynchronize->isEnabled());
  EXPECT_EQ(Window->tabsDetail->currentWidget(), Window->tbsDiffViewer);
  QStringList Kinds;
  for (int I = 0; I < Window->lstKinds->count(); ++I) {
    Kinds.append(Window->lstKinds->item(I)->text());
    EXPECT_EQ(Window->lstKinds->item(I)->checkState(), Qt::Unchecked);
  }
  EXPECT_EQ(Kinds, QStringList({"Schemata", "Tables", "Views", "Indices", "Routines", "Check constraints",
                                "Referential constraints"}));
  EXPECT_EQ(BoxTexts(), QStringList());
  EXPECT_FALSE(Window->memLocal->isReadOnly());
  EXPECT_TRUE(Window->memOfficial->isReadOnly());
  EXPECT_EQ(Window->mnuOfficialDDL->actions(), QList<QAction*>{Window->actPostChange});
  // The progress window of the connection is gone again.
  for (QWidget* TopLevel : QApplication::topLevelWidgets())
    EXPECT_FALSE(TopLevel->isVisible() && TopLevel->objectName() == u"frmProgress");
  test::SaveScreenshot(*Window, QStringLiteral("main-after-start-up"));
}

// A start-up that cannot connect leaves the window open and "Not connected" with Connect
// offered; the default error handler reports why, except for a cancelled login, which stays
// silent.
TEST_F(MainWindowTest, AFailedStartUpLeavesTheWindowOpenAndUnconnected) {
  const struct {
    const char* Name;
    TLogin Login;
    const char* FailingStatement;
    const char* VersionColumn;
    const char* Reported;
  } Cases[] = {{"login cancelled", lgCancel, "", "DatabaseVersion", nullptr},
               {"no dbo.GetDatabaseInfo", lgKnown, "GetDatabaseInfo", "DatabaseVersion", "GetDatabaseInfo"},
               {"no DatabaseVersion column", lgKnown, "", "SchemaVersion", "DatabaseVersion"}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Tds.Clear();
    Tds.NameInfoColumns(QString::fromUtf8(Case.VersionColumn), QStringLiteral("DatabaseName"));
    if (*Case.FailingStatement != 0)
      Tds.Fail(QString::fromUtf8(Case.FailingStatement));
    Log.Presenter.Boxes.clear();
    Start(Case.Login);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_EQ(Window->lblConnection->text(), NotConnected);
    EXPECT_FALSE(Window->SourceDb().Connected());
    EXPECT_TRUE(Window->btnConnect->isVisible());
    EXPECT_FALSE(Window->btnPublish->isEnabled());
    if (Case.Reported == nullptr) {
      EXPECT_EQ(BoxTexts(), QStringList());
      continue;
    }
    ASSERT_EQ(BoxTexts().size(), 1);
    EXPECT_TRUE(BoxTexts()[0].contains(QString::fromUtf8(Case.Reported))) << BoxTexts()[0].toStdString();
    EXPECT_TRUE(Log.Texts(test::TLogEntry::SilentError).contains(BoxTexts()[0]));
  }
}

// Answers the login dialogs to come, one step for each, in order; counts the dialogs seen.
class TLoginAnswers {
public:
  explicit TLoginAnswers(QList<std::function<void(TfrmLogin&)>> ASteps) : FSteps(std::move(ASteps)) { Next(); }
  int Seen = 0;

private:
  void Next() {
    if (FSteps.isEmpty())
      return;
    test::AnswerNextModal<TfrmLogin>([this](TfrmLogin& ADialog) {
      ++Seen;
      const std::function<void(TfrmLogin&)> Step = FSteps.takeFirst();
      Next();
      Step(ADialog);
    });
  }
  QList<std::function<void(TfrmLogin&)>> FSteps;
};

// A refused login is reported once, in the server's words, and the login dialog comes again
// with the user name filled in; a cancelled login leaves the window "Not connected" with
// Connect (Ctrl+L), which starts over, as often as it is cancelled.
TEST_F(MainWindowTest, ALoginCanBeRetriedAfterARefusalAndAfterACancel) {
  const auto Answer = [](const char* APassword) {
    return [APassword](TfrmLogin& ADialog) {
      EXPECT_EQ(ADialog.edtUsername->text(), QStringLiteral("quillon"));
      if (APassword == nullptr) {
        QTest::mouseClick(ADialog.btnCancel, Qt::LeftButton);
        return;
      }
      ADialog.edtPassword->setText(QString::fromUtf8(APassword));
      QTest::mouseClick(ADialog.btnOk, Qt::LeftButton);
    };
  };
  TLoginAnswers Logins({Answer("wrong"),
                        [&](TfrmLogin& ADialog) {
                          test::SaveScreenshot(ADialog, QStringLiteral("login-retry"));
                          Answer(nullptr)(ADialog);
                        },
                        Answer(nullptr), Answer("pw")});
  // The progress window stays on top: a box opened while it shows would be hidden beneath it.
  QStringList ProgressShownUnderBox;
  Log.Presenter.OnShow = [&ProgressShownUnderBox](const test::TRecordingPresenter::TBox& ABox) {
    for (QWidget* Widget : QApplication::topLevelWidgets())
      if (Widget->isVisible() && Widget->objectName() == QLatin1String("frmProgress"))
        ProgressShownUnderBox.append(ABox.Text);
  };
  Window = std::make_unique<TfrmDbPublish>();
  Window->resize(1121, 833);
  // The user name comes from the connection string, as User= or a data-link file gives it.
  Window->SetConnectionString(Tds.ConnectionString(QStringLiteral("Tellwick")) + QStringLiteral(";User ID=quillon"));
  // A kind is ticked: only the missing connection keeps Compare disabled.
  Window->lstKinds->item(2)->setCheckState(Qt::Checked);
  Window->show();
  ASSERT_TRUE(QTest::qWaitFor([&Logins] { return Logins.Seen == 2; }, 15000));
  ASSERT_TRUE(QTest::qWaitFor([this] { return Window->btnConnect->isVisible(); }, 5000));
  EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral("Login failed for user 'quillon'.")});
  EXPECT_EQ(ProgressShownUnderBox, QStringList());
  EXPECT_EQ(Window->lblConnection->text(), NotConnected);
  EXPECT_FALSE(Window->btnPublish->isEnabled());
  test::SaveScreenshot(*Window, QStringLiteral("main-not-connected"));

  EXPECT_EQ(Window->actConnect->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
  Window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
  QTest::keyClick(Window.get(), Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(Logins.Seen, 3);
  EXPECT_EQ(Window->lblConnection->text(), NotConnected);
  EXPECT_EQ(BoxTexts().size(), 1);

  QTest::mouseClick(Window->btnConnect, Qt::LeftButton);
  EXPECT_EQ(Logins.Seen, 4);
  EXPECT_EQ(Window->lblConnection->text(), Connected);
  EXPECT_FALSE(Window->btnConnect->isVisible());
  EXPECT_TRUE(Window->btnPublish->isEnabled());
  EXPECT_EQ(BoxTexts().size(), 1);
}

// Without Server= and Database= the window reads the data-link file beside the program's
// folder, which the tests do not have.
TEST_F(MainWindowTest, AMissingDataLinkFileIsReportedWhenConnectingAndTheWindowStaysOpen) {
  ASSERT_FALSE(QFile::exists(ExeFolder() + QStringLiteral("../Tellwick.UDL")));
  Window = std::make_unique<TfrmDbPublish>();
  Window->show();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Log.Presenter.Boxes.isEmpty(); }, 5000));
  EXPECT_TRUE(BoxTexts()[0].contains(QStringLiteral("Tellwick.UDL"))) << BoxTexts()[0].toStdString();
  EXPECT_TRUE(Window->isVisible());
  EXPECT_EQ(Window->lblConnection->text(), NotConnected);
}

TEST_F(MainWindowTest, SelectAllTicksAndUnticksEveryKind) {
  TfrmDbPublish Unshown;
  Unshown.lstKinds->item(2)->setCheckState(Qt::Checked);
  for (const Qt::CheckState Expected : {Qt::Checked, Qt::Unchecked}) {
    Unshown.chkAllKinds->click();
    for (int I = 0; I < Unshown.lstKinds->count(); ++I)
      EXPECT_EQ(Unshown.lstKinds->item(I)->checkState(), Expected) << I;
  }
}

// Notes each text a label shows on screen, once for every change.
class TPaintedTexts : public QObject {
public:
  explicit TPaintedTexts(QLabel* ALabel) : FLabel(ALabel) { ALabel->installEventFilter(this); }
  QStringList Texts;

protected:
  bool eventFilter(QObject*, QEvent* AEvent) override {
    if (AEvent->type() == QEvent::Paint && (Texts.isEmpty() || Texts.last() != FLabel->text()))
      Texts.append(FLabel->text());
    return false;
  }

private:
  QLabel* FLabel;
};

TEST_F(MainWindowTest, ACompareRunListsTheDifferingObjectsInOrderWithoutIgnoredOnes) {
  Start();
  TickAllKinds();
  TPaintedTexts Status(Window->lblProgress);
  Compare();
  // Each status of the run is painted, however quickly the next follows.
  EXPECT_EQ(Status.Texts.mid(Status.Texts.indexOf(QStringLiteral("Analyzing database..."))),
            QStringList({"Analyzing database...", "Comparing Tellwick to version 12",
                                       "Comparing 4 schemata...", "Comparing 4 check constraints...",
                                       "Comparing 5 views...", "Comparing 4 routines...",
                                       "Comparing 1 referential constraints...", "Found 6 anomalies"}));
  EXPECT_EQ(Anomalies(), AllAnomalies) << Log.Dump().toStdString();
  EXPECT_EQ(Findings(), QStringList({"CHECK [dbo].[CK_Unknown] (unknown to the gold standard)",
                                     "VIEW [dbo].[V_Unknown] (unknown to the gold standard)",
                                     "ROUTINE [dbo].[P_GoldOnly] (missing locally)",
                                     "ROUTINE [dbo].[F_Unknown] (unknown to the gold standard)"}));
  EXPECT_EQ(Window->lblProgress->text(), QStringLiteral("Found 6 anomalies"));
  EXPECT_EQ(Window->lblFindings->text(),
            QStringLiteral("3 unknown to the gold standard, 1 missing locally\n"
                           "Compared 3 checks, 4 views, 3 routines, 4 indexes\n"
                           "schemata, tables, referential constraints, privileges: need a baseline snapshot "
                           "(Baseline\u2026) to be compared"));
  EXPECT_EQ(Window->ProgressState(), TRunPanel::psNormal);
  EXPECT_EQ(Window->RunFailure(), QString());
  EXPECT_TRUE(Window->btnSynchronize->isEnabled());
  EXPECT_TRUE(Window->btnPublish->isEnabled());
  EXPECT_TRUE(QFile::exists(ExeFolder() + QStringLiteral("GOLDTEST.Tellwick.12.xml")));
  // The service records every difference, the ignored ones too.
  EXPECT_EQ(Service->Calls(QStringLiteral("SaveDbAnomaly")).size(), 9);
  test::SaveScreenshot(*Window, QStringLiteral("main-after-compare"));

  // A second run starts from an empty list.
  Compare();
  EXPECT_EQ(Anomalies(), AllAnomalies);

  // The run's report, as the command line writes it.
  ASSERT_TRUE(Window->actExportReport->isEnabled());
  QTemporaryDir Folder;
  const QString ReportFile = Folder.filePath(QStringLiteral("run.html"));
  Window->ExportReport(ReportFile);
  QFile Report(ReportFile);
  ASSERT_TRUE(Report.open(QIODevice::ReadOnly));
  const QString Html = QString::fromUtf8(Report.readAll());
  for (const char* Part : {"<h3 id=\"t1-a6\">", "<a href=\"#t1-a1\">", "Gold standard, version 12", "Local, Tellwick on ",
                           "SELECT <span class=\"chg\">20</span>", "<li>CHECK [dbo].[CK_Unknown]</li>",
                           "Only on the gold side"})
    EXPECT_TRUE(Html.contains(QLatin1String(Part))) << Part;
  EXPECT_FALSE(Html.contains(QStringLiteral("<h3 id=\"t1-a7\">")));
}

TEST_F(MainWindowTest, WithNothingTickedThereIsNothingToCompare) {
  Start();
  EXPECT_FALSE(Window->btnPublish->isEnabled());
  Compare();
  EXPECT_EQ(List()->rowCount(), 0);
  EXPECT_EQ(Window->lblProgress->text(), QStringLiteral("No activity"));
  EXPECT_FALSE(Window->btnSynchronize->isEnabled());
  EXPECT_EQ(Service->Calls().size(), 0);

  // A kind the gold standard does not hold says so, and that it waits for a baseline, rather
  // than reading as a clean result.
  Window->lstKinds->item(1)->setCheckState(Qt::Checked);
  ASSERT_TRUE(Window->btnPublish->isEnabled());
  Compare();
  EXPECT_EQ(Window->lblFindings->text(),
            QStringLiteral("Nothing compared with the gold standard\n"
                           "tables, privileges: need a baseline snapshot (Baseline\u2026) to be compared"));
  Window->lstKinds->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(Window->btnPublish->isEnabled());
}

TEST_F(MainWindowTest, ARunThatFailsAtTheThirdKindKeepsWhatWasFoundAndShowsTheFailure) {
  Start();
  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("fault"));
  TickAllKinds();
  Compare();
  EXPECT_EQ(Anomalies(), QStringList{QStringLiteral("[dbo].[CK_Diff]")});
  EXPECT_EQ(Findings(), QStringList{QStringLiteral("CHECK [dbo].[CK_Unknown] (unknown to the gold standard)")});
  EXPECT_EQ(Window->ProgressState(), TRunPanel::psError);
  EXPECT_TRUE(Window->lblProgress->text().startsWith(QStringLiteral("Stopped after 4 of 17 objects: ")))
      << Window->lblProgress->text().toStdString();
  EXPECT_TRUE(Window->lblProgress->text().contains(QStringLiteral("Injected failure in GetDbView")));
  EXPECT_TRUE(Window->RunFailure().contains(QStringLiteral("Injected failure in GetDbView")))
      << Window->RunFailure().toStdString();
  EXPECT_TRUE(Window->lblFailure->isVisible());
  EXPECT_TRUE(Log.Texts(test::TLogEntry::SilentError).contains(Window->RunFailure()));
  EXPECT_TRUE(Window->btnSynchronize->isEnabled());
  EXPECT_TRUE(Window->btnPublish->isEnabled());
  test::SaveScreenshot(*Window, QStringLiteral("main-after-failed-compare"));

  Service->Reset();
  Compare();
  EXPECT_EQ(Anomalies(), AllAnomalies);
  EXPECT_EQ(Window->ProgressState(), TRunPanel::psNormal);
  EXPECT_FALSE(Window->lblFailure->isVisible());
}

// A case-sensitive database with an encrypted view and routine, a view the gold standard lacks,
// routines only the gold standard has and two views whose names differ only in case.
TEST_F(MainWindowTest, FindingsAreListedAsTheirOwnGroupAndShowWhatExists) {
  TTdsServer FindingsDb(QStringLiteral("findings_catalogue.xml"), {QStringLiteral("quillon:pw")});
  const TGoldService FindingsGold(QStringLiteral("findings_gold.json"));
  FindingsGold.Install();
  const auto RestoreService = qScopeGuard([] { Service->Install(); });
  Start(FindingsDb);
  for (const int Kind : {2, 4})
    Window->lstKinds->item(Kind)->setCheckState(Qt::Checked);
  Compare();
  EXPECT_EQ(Anomalies(), QStringList({"[dbo].[ORDERS2]", "[dbo].[P_Changed]"})) << Log.Dump().toStdString();
  EXPECT_EQ(Findings(), QStringList({"VIEW [dbo].[V_LocalOnly] (unknown to the gold standard)",
                                     "VIEW [dbo].[V_Secret] (unreadable)", "ROUTINE [dbo].[P_GoldOnly] (missing locally)",
                                     "ROUTINE [dbo].[Отчёт [old] \"q\"] (missing locally)",
                                     "ROUTINE [dbo].[P_Crypt] (unreadable)"}));
  EXPECT_EQ(Window->lblProgress->text(), QStringLiteral("Found 2 anomalies"));
  EXPECT_EQ(Window->lblFindings->text(), QStringLiteral("1 unknown to the gold standard, 2 missing locally, 2 unreadable\n"
                                                        "Compared 3 views, 2 routines"));
  test::SaveScreenshot(*Window, QStringLiteral("main-with-findings"));

  Select(QStringLiteral("ROUTINE [dbo].[P_GoldOnly] (missing locally)"));
  EXPECT_EQ(Window->memLocal->text(), QString());
  EXPECT_EQ(Window->memOfficial->text(), QStringLiteral("CREATE PROCEDURE dbo.P_GoldOnly AS SELECT 0"));
  Select(QStringLiteral("VIEW [dbo].[V_Secret] (unreadable)"));
  EXPECT_EQ(Window->memLocal->text(), QString());
  EXPECT_EQ(Window->memOfficial->text(), QStringLiteral("CREATE VIEW dbo.V_Secret WITH ENCRYPTION AS SELECT 42 AS Answer"));
  Select(QStringLiteral("VIEW [dbo].[V_LocalOnly] (unknown to the gold standard)"));
  EXPECT_EQ(Window->memLocal->text(), QStringLiteral("CREATE VIEW dbo.V_LocalOnly AS SELECT 1 AS One"));

  QStringList Recorded;
  for (const TGoldService::TCall& Call : FindingsGold.Calls(QStringLiteral("SaveDbAnomaly")))
    Recorded.append(Call.Params.value(QStringLiteral("ObjectKey")).toString());
  EXPECT_EQ(Recorded, QStringList({"[dbo].[ORDERS2]", "[dbo].[P_Changed]"}));

  // Listed through the header, the encrypted routine can be ticked, but a repair refuses it
  // rather than replace it with the gold text unencrypted.
  QTest::mouseDClick(Window->hdrObjectDiff, Qt::LeftButton);
  FindingsDb.Forget();
  Tick(QStringLiteral("[dbo].[P_Crypt]"));
  QStringList Rows;
  Repair(true, [&Rows](TfrmRepair& ADialog) {
    Rows = RepairRows(ADialog);
    EXPECT_FALSE(ADialog.btnRun->isEnabled());
  });
  QStringList Sent;
  for (const TTdsServer::TStatement& Statement : FindingsDb.Statements())
    Sent.append(Statement.Sql);
  EXPECT_TRUE(Sent.filter(QStringLiteral("ALTER"), Qt::CaseInsensitive).isEmpty()) << Sent.join(u'\n').toStdString();
  EXPECT_EQ(BoxTexts(), QStringList());
  EXPECT_EQ(Rows, QStringList{QStringLiteral("[dbo].[P_Crypt] | Routine | cannot be repaired: PROCEDURE [dbo].[P_Crypt] "
                                             "cannot be repaired: its definition is unreadable (encrypted or no VIEW "
                                             "DEFINITION permission)")});
}

// A snapshot that cannot be written ends the run before any comparison. Its message names the
// file, whose name holds a percent sign here (the server's name has one): the message is shown
// and logged as it is.
TEST_F(MainWindowTest, ASnapshotThatCannotBeWrittenIsShownAndLoggedAsItIsAndNothingIsCompared) {
  QTemporaryDir Folder;
  TTdsServer Percent(EditedFixture(Folder, "Server=\"GOLDTEST\"", "Server=\"GOLD%dTEST\""),
                     {QStringLiteral("quillon:pw")});
  // A folder where the snapshot file should go.
  const QString Snapshot = ExeFolder() + QStringLiteral("GOLD%dTEST.Tellwick.12.xml");
  ASSERT_TRUE(QDir().mkpath(Snapshot));
  const auto RemoveSnapshotFolder = qScopeGuard([&Snapshot] { QDir(Snapshot).removeRecursively(); });

  Start(Percent);
  TickAllKinds();
  Compare();
  EXPECT_EQ(List()->rowCount(), 0);
  EXPECT_TRUE(Window->lblProgress->text().startsWith(QStringLiteral("Stopped after 0 of 0 objects: ")))
      << Window->lblProgress->text().toStdString();
  EXPECT_TRUE(Window->RunFailure().contains(QStringLiteral("GOLD%dTEST.Tellwick.12.xml")))
      << Window->RunFailure().toStdString();
  EXPECT_TRUE(Log.Texts(test::TLogEntry::SilentError).contains(Window->RunFailure())) << Log.Dump().toStdString();
  EXPECT_EQ(Service->Calls().size(), 0);
}

TEST_F(MainWindowTest, SelectingAnAnomalyFillsTheEditorsAndTheDiffGridAsItsKindAllows) {
  Start();
  TickAllKinds();
  Compare();

  Select(QStringLiteral("[dbo].[V_Diff]"));
  const QString LocalView = QStringLiteral("CREATE VIEW dbo.V_Diff AS SELECT Id, Qty FROM dbo.Orders");
  const QString GoldView = QStringLiteral("CREATE VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders");
  EXPECT_EQ(Window->memLocal->text(), LocalView);
  EXPECT_EQ(Window->memOfficial->text(), GoldView);
  EXPECT_EQ(VersionTabs(), QStringList());
  EXPECT_FALSE(Window->actPostChange->isEnabled());
  TDiffGrid* Grid = Window->DiffGrid();
  EXPECT_EQ(Grid->Cells(1, 0), QStringLiteral("Gold standard of version 12"));
  EXPECT_EQ(Grid->Cells(3, 0), QStringLiteral("Local, Tellwick on GOLDTEST"));
  EXPECT_EQ(Grid->Cells(1, 1), GoldView);
  EXPECT_EQ(Grid->Cells(3, 1), LocalView);

  // An index differs only in whether it is unique, which is all its panes show.
  Select(QStringLiteral("[dbo].[OrderLines].[IX_Diff]"));
  EXPECT_EQ(Window->memLocal->text(), QStringLiteral("NOT UNIQUE"));
  EXPECT_EQ(Window->memOfficial->text(), QStringLiteral("UNIQUE"));
  EXPECT_EQ(VersionTabs(), QStringList());
  EXPECT_EQ(Window->CurrentSource(), nullptr);
  EXPECT_EQ(Grid->Cells(1, 1), QStringLiteral("UNIQUE"));
  EXPECT_EQ(Grid->Cells(3, 1), QStringLiteral("NOT UNIQUE"));
  test::SaveScreenshot(*Window, QStringLiteral("main-index-anomaly"));

  // A new run shows nothing until something is chosen again.
  Select(QStringLiteral("[dbo].[V_Diff]"));
  Compare();
  EXPECT_EQ(Window->ShownObject(), nullptr);
  EXPECT_EQ(Window->memLocal->text(), QString());
  EXPECT_EQ(Window->memOfficial->text(), QString());
  EXPECT_EQ(Grid->Cells(1, 1), QString());
  EXPECT_EQ(Grid->Cells(3, 1), QString());
}

TEST_F(MainWindowTest, ARoutineShowsItsVersionsAndApprovalFollowsTheChosenVersionIgnoringCase) {
  const std::unique_ptr<OstrelServiceSoap> Seed = GetServiceProxy();
  Seed->SaveDbRoutine(QStringLiteral("dbo"), QStringLiteral("P_Diff"), QStringLiteral("PROCEDURE"),
                      QStringLiteral("create procedure DBO.p_diff as\r\nselect 2"), 510);
  Seed->SaveDbRoutine(QStringLiteral("dbo"), QStringLiteral("P_Diff"), QStringLiteral("PROCEDURE"),
                      QStringLiteral("CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 523"), 523);
  Start();
  TickAllKinds();
  Compare();

  Select(QStringLiteral("[dbo].[P_Diff]"));
  EXPECT_EQ(VersionTabs(), QStringList({"9", "510", "523"}));
  EXPECT_EQ(Window->tabsetVersions->TabIndex(), -1);
  EXPECT_FALSE(Window->actPostChange->isEnabled());
  EXPECT_EQ(Window->memLocal->text(), LocalPDiff);
  EXPECT_EQ(Window->memOfficial->text(), QStringLiteral("CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 20"));
  test::SaveScreenshot(*Window, QStringLiteral("main-routine-differences"));

  Window->tabsDetail->setCurrentWidget(Window->tbsSourceCode);
  ClickVersion(QStringLiteral("523"));
  EXPECT_EQ(Window->memOfficial->text(), QStringLiteral("CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 523"));
  EXPECT_TRUE(Window->actPostChange->isEnabled());
  EXPECT_EQ(Window->actPostChange->toolTip(), QStringLiteral("Save local version as gold standard for 523"));
  // The Differences tab compares the local text with the version chosen, and says which.
  EXPECT_EQ(Window->DiffGrid()->Cells(1, 0), QStringLiteral("Gold standard of version 523"));
  EXPECT_EQ(Window->DiffGrid()->Cells(1, 2), QStringLiteral("SELECT 523"));
  EXPECT_EQ(Window->DiffGrid()->Cells(3, 2), QStringLiteral("SELECT 2"));
  test::SaveScreenshot(*Window, QStringLiteral("main-routine-source-code"));
  // The two panes share the page's height evenly.
  EXPECT_EQ(Window->panLocal->height(), (Window->panMain->contentsRect().height() - 3 * 4) / 2);

  ClickVersion(QStringLiteral("510"));
  EXPECT_FALSE(Window->actPostChange->isEnabled());
}

TEST_F(MainWindowTest, AVersionsPageThatIsNotXmlIsReportedAndLeavesNoTabs) {
  Start();
  TickAllKinds();
  Compare();
  Service->Fail(QStringLiteral("GetDbRoutineVersions"), QStringLiteral("html"));
  Select(QStringLiteral("[dbo].[P_Diff]"));
  EXPECT_EQ(BoxTexts().size(), 1);
  EXPECT_EQ(VersionTabs(), QStringList());
  EXPECT_EQ(Window->memLocal->text(), LocalPDiff);
  EXPECT_EQ(Anomalies(), AllAnomalies);

  // Clicking the highlighted row again asks for the page again.
  Service->Reset();
  Select(QStringLiteral("[dbo].[P_Diff]"));
  EXPECT_EQ(VersionTabs(), QStringList{QStringLiteral("9")});
  EXPECT_EQ(BoxTexts().size(), 1);
}

TEST_F(MainWindowTest, ApprovingSendsTheEditedLocalTextAsTheChosenVersion) {
  Start();
  TickAllKinds();
  Compare();
  Window->tabsDetail->setCurrentWidget(Window->tbsSourceCode);

  // Without a chosen version approval only warns.
  Select(QStringLiteral("[dbo].[P_Diff]"));
  Window->actPostChange->setEnabled(true);
  Window->actPostChange->trigger();
  EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral("Select a version on the tabs.")});
  EXPECT_EQ(Service->Calls(QStringLiteral("SaveDbRoutine")).size(), 0);

  ClickVersion(QStringLiteral("9"));
  Window->memLocal->setFocus();
  QTest::keyClick(Window->memLocal, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(Window->memLocal, QStringLiteral(" -- approved"));
  const QString Edited = LocalPDiff + QStringLiteral(" -- approved");
  ASSERT_EQ(Window->memLocal->text(), Edited);

  // Declined: nothing is sent.
  Approve(false);
  EXPECT_EQ(Service->Calls(QStringLiteral("SaveDbRoutine")).size(), 0);
  EXPECT_TRUE(Window->actPostChange->isEnabled());

  const QString Question = Approve(true, [](TfrmApproval& ADialog) {
    EXPECT_EQ(ADialog.grdDiff->Cells(1, 0), QStringLiteral("Gold standard of version 9"));
    test::SaveScreenshot(ADialog, QStringLiteral("approval-question"));
  });
  EXPECT_EQ(Question, QStringLiteral("Store the local text of [dbo].[P_Diff] as the gold standard of version 9? It "
                                     "replaces the gold text that version holds."));
  EXPECT_EQ(BoxTexts().last(),
            QStringLiteral("Stored the local text of [dbo].[P_Diff] as the gold standard of version 9."));
  // The panes show what the service now holds, and there is nothing left to approve.
  EXPECT_EQ(VersionTabs(), QStringList{QStringLiteral("9")});
  EXPECT_EQ(Window->tabsetVersions->TabIndex(), 0);
  EXPECT_EQ(Window->memOfficial->text(), Edited);
  EXPECT_FALSE(Window->actPostChange->isEnabled());
  // Another object can be chosen without a question: the edit is stored.
  const qsizetype BoxesBefore = BoxTexts().size();
  Select(QStringLiteral("[dbo].[V_Diff]"));
  EXPECT_EQ(Window->memLocal->text(), QStringLiteral("CREATE VIEW dbo.V_Diff AS SELECT Id, Qty FROM dbo.Orders"));
  EXPECT_EQ(BoxTexts().size(), BoxesBefore);

  const QList<TGoldService::TCall> Saves = Service->Calls(QStringLiteral("SaveDbRoutine"));
  ASSERT_EQ(Saves.size(), 1);
  EXPECT_EQ(Saves[0].Params[QStringLiteral("RoutineType")].toString(), QStringLiteral("PROCEDURE"));
  const TXmlDocument Versions = LoadXmlDocument(RoutineVersionsPageAddress(QStringLiteral("dbo"), QStringLiteral("P_Diff")));
  QStringList Stored;
  for (const TXmlNode* Node : TNodeList(Versions, QStringLiteral("DbRoutine")))
    Stored.append(Node->ChildElement(QStringLiteral("DbVersion"))->Text() + u'=' +
                  Node->ChildElement(QStringLiteral("SourceCode"))->Text());
  EXPECT_EQ(Stored, QStringList{QStringLiteral("9=") + Edited});
}

// A repair walks the list; whatever row it leaves highlighted, approval stores the text on
// screen under the name of the routine it belongs to.
TEST_F(MainWindowTest, ApprovalAfterARepairStoresTheTextUnderTheNameOfTheRoutineOnScreen) {
  GetServiceProxy()->SaveDbRoutine(QStringLiteral("dbo"), QStringLiteral("P_Diff"), QStringLiteral("PROCEDURE"),
                                   QStringLiteral("CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 523"), 523);
  Start();
  TickAllKinds();
  Compare();
  // Every routine below the anomalies: the last row of the list is a routine, [dbo].[P_Equal].
  QTest::mouseDClick(Window->hdrObjectDiff, Qt::LeftButton);
  Window->tabsDetail->setCurrentWidget(Window->tbsSourceCode);
  Select(QStringLiteral("[dbo].[P_Diff]"));
  ClickVersion(QStringLiteral("523"));
  Tick(QStringLiteral("[dbo].[V_Diff]"));
  Repair();
  ASSERT_EQ(SentStatements(QStringLiteral("ALTER VIEW")).size(), 1);
  EXPECT_EQ(Window->lstAnomalies->currentIndex(), Anomaly(QStringLiteral("[dbo].[P_Diff]")));

  Approve(true);
  const QList<TGoldService::TCall> Saves = Service->Calls(QStringLiteral("SaveDbRoutine"));
  ASSERT_EQ(Saves.size(), 2);  // the seed and the approval
  EXPECT_EQ(Saves[1].Params[QStringLiteral("RoutineName")].toString(), QStringLiteral("P_Diff"));
  EXPECT_EQ(Saves[1].Params[QStringLiteral("SourceCode")].toString(), LocalPDiff);
  EXPECT_EQ(Saves[1].Params[QStringLiteral("DbVer")].toInt(), 523);
}

// Edits in the local editor are dropped only when the user agrees.
TEST_F(MainWindowTest, ChoosingAnotherObjectAsksBeforeDroppingLocalEdits) {
  Start();
  TickAllKinds();
  Compare();
  Window->tabsDetail->setCurrentWidget(Window->tbsSourceCode);
  Select(QStringLiteral("[dbo].[P_Diff]"));
  Window->memLocal->setFocus();
  QTest::keyClick(Window->memLocal, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(Window->memLocal, QStringLiteral(" -- mine"));
  const QString Edited = LocalPDiff + QStringLiteral(" -- mine");

  Log.Presenter.Answers = {mrNo};
  Select(QStringLiteral("[dbo].[V_Diff]"));
  EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral(
                            "The local text of [dbo].[P_Diff] has edits that are not stored. Drop them?")});
  EXPECT_EQ(Window->memLocal->text(), Edited);
  EXPECT_EQ(Window->lstAnomalies->currentIndex(), Anomaly(QStringLiteral("[dbo].[P_Diff]")));
  // A new run would drop them as well.
  Log.Presenter.Answers = {mrNo};
  Compare();
  EXPECT_EQ(Window->memLocal->text(), Edited);
  EXPECT_EQ(BoxTexts().size(), 2);

  Log.Presenter.Answers = {mrYes};
  Select(QStringLiteral("[dbo].[V_Diff]"));
  EXPECT_EQ(Window->memLocal->text(), QStringLiteral("CREATE VIEW dbo.V_Diff AS SELECT Id, Qty FROM dbo.Orders"));
  EXPECT_EQ(Window->lstAnomalies->currentIndex(), Anomaly(QStringLiteral("[dbo].[V_Diff]")));
  EXPECT_EQ(BoxTexts().size(), 3);
}

TEST_F(MainWindowTest, AVersionThatIsNotANumberIsReportedAndNothingIsApproved) {
  Start();
  TickAllKinds();
  Compare();
  Service->Fail(QStringLiteral("GetDbRoutineVersions"), QStringLiteral("textversion"));
  Select(QStringLiteral("[dbo].[P_Diff]"));
  ASSERT_EQ(VersionTabs(), QStringList{QStringLiteral("v9")});
  ClickVersion(QStringLiteral("v9"));
  ASSERT_TRUE(Window->actPostChange->isEnabled());
  QTest::mouseClick(Window->btnPostChange, Qt::LeftButton);
  ASSERT_EQ(BoxTexts().size(), 1);
  EXPECT_TRUE(BoxTexts()[0].contains(QStringLiteral("v9"))) << BoxTexts()[0].toStdString();
  EXPECT_EQ(Service->Calls(QStringLiteral("SaveDbRoutine")).size(), 0);
  EXPECT_EQ(Window->memLocal->text(), LocalPDiff);
}

TEST_F(MainWindowTest, RepairingTickedObjectsAltersThemAndTakesThemOffTheList) {
  Start();
  TickAllKinds();
  Compare();
  Tds.Forget();
  for (const char* Name : {"[dbo].[V_Diff]", "[dbo].[P_Diff]", "[dbo].[OrderLines].[IX_Diff]"})
    Tick(QString::fromUtf8(Name));
  Select(QStringLiteral("[dbo].[CK_Diff]"));
  const QString IndexRefusal = QStringLiteral("cannot be repaired: The gold standard only says whether the index is "
                                              "unique (it should be UNIQUE); recreate it by hand.");
  // Cancelled, the preview sends nothing.
  Repair(false, [](TfrmRepair& ADialog) { test::SaveScreenshot(ADialog, QStringLiteral("repair-preview")); });
  EXPECT_EQ(SentStatements(QStringLiteral("ALTER")), QStringList());
  EXPECT_EQ(Anomalies(), AllAnomalies);

  QString Script;
  Repair(
      true,
      [&](TfrmRepair& ADialog) {
        EXPECT_EQ(RepairRows(ADialog),
                  (QStringList{"[dbo].[V_Diff] | View | will be altered",
                               "[dbo].[P_Diff] | Routine | will be altered",
                               "[dbo].[OrderLines].[IX_Diff] | Index | " + IndexRefusal}));
        Script = ADialog.memScript->text();
        QTest::mouseClick(ADialog.btnCopy, Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), Script);
      },
      [&](TfrmRepair& ADialog) {
        EXPECT_EQ(RepairRows(ADialog), (QStringList{"[dbo].[V_Diff] | View | repaired",
                                                    "[dbo].[P_Diff] | Routine | repaired",
                                                    "[dbo].[OrderLines].[IX_Diff] | Index | " + IndexRefusal}));
        EXPECT_FALSE(ADialog.btnRun->isVisible());
        test::SaveScreenshot(ADialog, QStringLiteral("repair-results"));
      });
  EXPECT_TRUE(Script.contains(QStringLiteral("ALTER VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders\r\nGO\r\n")))
      << Script.toStdString();
  EXPECT_EQ(Window->lblProgress->text(), QStringLiteral("Found 6 anomalies, 2 repaired"));
  // The row highlighted before is still the one shown.
  EXPECT_EQ(Window->lstAnomalies->currentIndex(), Anomaly(QStringLiteral("[dbo].[CK_Diff]")));
  EXPECT_EQ(Window->memOfficial->text(), Window->ShownObject()->GetStandardDefinition());

  EXPECT_EQ(Anomalies(), QStringList({"[dbo].[CK_Diff]", "[sales].[V_Blank]", "[dbo].[OrderLines].[IX_Diff]",
                                      "[dbo].[Orders].[IX_Unknown]"}));
  // An index cannot be repaired: it stays, ticked.
  EXPECT_EQ(TickOf(QStringLiteral("[dbo].[OrderLines].[IX_Diff]")), Qt::Checked);
  EXPECT_EQ(SentStatements(QStringLiteral("ALTER")),
            QStringList({"ALTER VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders",
                         "ALTER PROCEDURE dbo.P_Diff AS\r\nSELECT 20"}));
  EXPECT_EQ(BoxTexts(), QStringList());

  // The server now holds the gold standard of both.
  Compare();
  EXPECT_EQ(Anomalies(), QStringList({"[dbo].[CK_Diff]", "[sales].[V_Blank]", "[dbo].[OrderLines].[IX_Diff]",
                                      "[dbo].[Orders].[IX_Unknown]"}));
}

// Altering an indexed view drops its indexes: the preview says so and leaves the view alone
// until that is ticked; the consent is asked again at the next repair.
TEST_F(MainWindowTest, AnIndexedViewIsAlteredOnlyWhenTheLossOfItsIndexesIsAllowed) {
  QTemporaryDir Folder;
  TTdsServer Indexed(EditedFixture(Folder, "TABLE_NAME=\"V_Diff\">", "TABLE_NAME=\"V_Diff\" IS_INDEXED=\"1\">"),
                     {QStringLiteral("quillon:pw")});
  Start(Indexed);
  TickAllKinds();
  Compare();
  Indexed.Forget();
  Tick(QStringLiteral("[dbo].[V_Diff]"));
  const QString Refused = QStringLiteral("[dbo].[V_Diff] | View | cannot be repaired: It is an indexed view: altering it "
                                         "drops all its indexes, so it is altered only when the loss of its indexes "
                                         "is allowed.");
  Repair(false, [&](TfrmRepair& ADialog) {
    EXPECT_TRUE(ADialog.chkAllowIndexLoss->isVisibleTo(&ADialog));
    EXPECT_EQ(RepairRows(ADialog), QStringList{Refused});
    EXPECT_FALSE(ADialog.btnRun->isEnabled());
    ADialog.chkAllowIndexLoss->click();
    EXPECT_EQ(RepairRows(ADialog), QStringList{QStringLiteral("[dbo].[V_Diff] | View | will be altered")});
    EXPECT_TRUE(ADialog.memScript->text().contains(QStringLiteral("this ALTER drops all its indexes")))
        << ADialog.memScript->text().toStdString();
    EXPECT_TRUE(ADialog.btnRun->isEnabled());
    test::SaveScreenshot(ADialog, QStringLiteral("repair-indexed-view"));
  });
  EXPECT_EQ(SentStatements(Indexed, QStringLiteral("ALTER")), QStringList());

  Repair(
      true,
      [&](TfrmRepair& ADialog) {
        EXPECT_FALSE(ADialog.chkAllowIndexLoss->isChecked());
        EXPECT_EQ(RepairRows(ADialog), QStringList{Refused});
        ADialog.chkAllowIndexLoss->click();
      },
      [&](TfrmRepair& ADialog) {
        EXPECT_EQ(RepairRows(ADialog), QStringList{QStringLiteral("[dbo].[V_Diff] | View | repaired")});
      });
  EXPECT_EQ(SentStatements(Indexed, QStringLiteral("ALTER")),
            QStringList{QStringLiteral("ALTER VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders")});
}

TEST_F(MainWindowTest, AFailingRepairStopsAtItsItemAndReportsTheFailure) {
  // The gold text carries a percent sign, which the report must pass on untouched.
  GetServiceProxy()->SaveDbView(QStringLiteral("dbo"), QStringLiteral("V_Diff"),
                                QStringLiteral("CREATE VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders WHERE Note LIKE '%d'"),
                                12);
  Start();
  TickAllKinds();
  Compare();
  Tds.Fail(QStringLiteral("ALTER VIEW"));
  Tds.Forget();
  Tick(QStringLiteral("[dbo].[V_Diff]"));
  Tick(QStringLiteral("[dbo].[P_Diff]"));
  QStringList Rows;
  Repair(true, {}, [&Rows](TfrmRepair& ADialog) { Rows = RepairRows(ADialog); });

  ASSERT_EQ(Rows.size(), 2);
  // The server's own words, without the driver's prefixes.
  EXPECT_TRUE(Rows[0].startsWith(QStringLiteral("[dbo].[V_Diff] | View | failed: Forced failure of: ALTER VIEW")))
      << Rows[0].toStdString();
  EXPECT_TRUE(Rows[0].contains(QStringLiteral("LIKE '%d'"))) << Rows[0].toStdString();
  EXPECT_EQ(Rows[1], QStringLiteral("[dbo].[P_Diff] | Routine | not attempted"));
  EXPECT_EQ(Anomalies(), AllAnomalies);
  EXPECT_EQ(TickOf(QStringLiteral("[dbo].[V_Diff]")), Qt::Checked);
  EXPECT_EQ(SentStatements(QStringLiteral("ALTER PROCEDURE")), QStringList());
  EXPECT_EQ(BoxTexts(), QStringList());
  EXPECT_EQ(Window->lblProgress->text(), QStringLiteral("Found 6 anomalies"));
  EXPECT_EQ(Log.Texts(test::TLogEntry::SilentError).filter(QStringLiteral("LIKE '%d'")).size(), 1)
      << Log.Dump().toStdString();
}

// A link lost in the middle of a repair fails that object, leaves the rest untouched, and the
// window says it is no longer connected.
TEST_F(MainWindowTest, ALinkLostDuringARepairFailsThatObjectAndLeavesTheWindowNotConnected) {
  Start();
  TickAllKinds();
  Compare();
  Tds.Drop(QStringLiteral("ALTER VIEW"));
  Tick(QStringLiteral("[dbo].[V_Diff]"));
  Tick(QStringLiteral("[dbo].[P_Diff]"));
  QStringList Rows;
  Repair(true, {}, [&Rows](TfrmRepair& ADialog) { Rows = RepairRows(ADialog); });
  ASSERT_EQ(Rows.size(), 2);
  EXPECT_TRUE(Rows[0].startsWith(QStringLiteral("[dbo].[V_Diff] | View | failed: "))) << Rows[0].toStdString();
  EXPECT_EQ(Rows[1], QStringLiteral("[dbo].[P_Diff] | Routine | not attempted"));
  EXPECT_EQ(Anomalies(), AllAnomalies);
  EXPECT_EQ(BoxTexts(), QStringList());
  EXPECT_EQ(Window->lblConnection->text(), NotConnected);
  EXPECT_TRUE(Window->btnConnect->isVisible());
}

// "Save script..." writes the script shown; a file that cannot be written is reported once and
// the preview stays open and usable.
TEST_F(MainWindowTest, TheRepairScriptIsSavedAsShownOrTheFailureReported) {
  Start();
  TickAllKinds();
  Compare();
  Tick(QStringLiteral("[dbo].[V_Diff]"));
  QTemporaryDir Folder;
  const QString Saved = Folder.filePath(QStringLiteral("repair.sql"));
  const QString Unwritable = Folder.filePath(QStringLiteral("missing/repair.sql"));
  Repair(false, [&](TfrmRepair& ADialog) {
    ADialog.SaveScriptTo(Saved);
    QFile File(Saved);
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(File.readAll()), ADialog.memScript->text());
    ADialog.SaveScriptTo(Unwritable);
    ASSERT_EQ(BoxTexts().size(), 1);
    EXPECT_TRUE(BoxTexts()[0].contains(Unwritable)) << BoxTexts()[0].toStdString();
    EXPECT_TRUE(ADialog.btnRun->isEnabled());
  });
  EXPECT_EQ(SentStatements(QStringLiteral("ALTER")), QStringList());
}

// The filter narrows the list (name or kind, any case); Tick all, Tick none and Ctrl+A act on
// what it lets through.
TEST_F(MainWindowTest, TheAnomalyListShowsKindsFiltersAndTicksWhatItShows) {
  Start();
  TickAllKinds();
  Compare();
  EXPECT_EQ(Text(QStringLiteral("[dbo].[V_Diff]")), QStringLiteral("view    [dbo].[V_Diff]"));
  EXPECT_EQ(Text(QStringLiteral("[dbo].[OrderLines].[IX_Diff]")),
            QStringLiteral("index   [dbo].[OrderLines].[IX_Diff]"));
  // Long names are read in full from the tips; the findings, which cannot be ticked, are slanted.
  for (const QString& Name :
       {QStringLiteral("[dbo].[V_Diff]"), QStringLiteral("ROUTINE [dbo].[P_GoldOnly] (missing locally)")}) {
    SCOPED_TRACE(Name.toStdString());
    const bool IsFinding = Name.startsWith(u'R');
    EXPECT_EQ(Anomaly(Name).data(Qt::ToolTipRole).toString(), Anomaly(Name).data().toString());
    EXPECT_EQ(Anomaly(Name).data(Qt::FontRole).value<QFont>().italic(), IsFinding);
    EXPECT_EQ(Anomaly(Name).data(Qt::CheckStateRole).isValid(), !IsFinding);
  }
  const auto Shown = [this] {
    QStringList Result;
    for (const QString& Name : Anomalies())
      if (!Hidden(Name))
        Result.append(Name);
    return Result;
  };
  const auto Ticked = [this] {
    QStringList Result;
    for (const QString& Name : Anomalies())
      if (TickOf(Name) == Qt::Checked)
        Result.append(Name);
    return Result;
  };
  QTest::keyClicks(Window->edtFilter, QStringLiteral("_diFF"));
  EXPECT_EQ(Shown(), (QStringList{"[dbo].[CK_Diff]", "[dbo].[V_Diff]", "[dbo].[P_Diff]", "[dbo].[OrderLines].[IX_Diff]"}));
  QTest::mouseClick(Window->btnTickAll, Qt::LeftButton);
  EXPECT_EQ(Ticked(), Shown());

  Window->edtFilter->setText(QStringLiteral("INDEX"));
  EXPECT_EQ(Shown(), (QStringList{"[dbo].[OrderLines].[IX_Diff]", "[dbo].[Orders].[IX_Unknown]"}));
  QTest::mouseClick(Window->btnTickNone, Qt::LeftButton);
  EXPECT_EQ(Ticked(), (QStringList{"[dbo].[CK_Diff]", "[dbo].[V_Diff]", "[dbo].[P_Diff]"}));

  Window->edtFilter->clear();
  Window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
  Window->lstAnomalies->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Window->lstAnomalies->hasFocus(); }, 5000));
  QTest::keyClick(Window->lstAnomalies, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(Ticked(), AllAnomalies);
}

// With a settings store but nothing saved, the window opens centred on the primary screen; the
// width of the left column is kept.
// The kinds no gold standard holds drift from a baseline snapshot: without one they wait for
// it, with one their drift is its own group that shows both texts and is never repaired or
// recorded, and a baseline that cannot be read is said once while the run goes on.
TEST_F(MainWindowTest, TheBaselineListsTheDriftOfTheKindsTheGoldStandardDoesNotHold) {
  test::TMemorySettings Store;
  GlobalSettings = &Store;
  // The window writes its settings when it goes, which must be before the store does.
  const auto Restore = qScopeGuard([this] {
    Window.reset();
    GlobalSettings = nullptr;
  });
  Start();
  TickAllKinds();
  EXPECT_EQ(Window->lblBaseline->text(),
            QStringLiteral("No baseline: schemata, tables and referential constraints need one"));
  EXPECT_EQ(Window->lstKinds->item(0)->foreground(),
            Window->palette().brush(QPalette::Disabled, QPalette::Text));
  Compare();
  EXPECT_TRUE(Window->lblFindings->text().endsWith(
      QStringLiteral("4 indexes\n"
                     "schemata, tables, referential constraints, privileges: need a baseline snapshot "
                     "(Baseline\u2026) to be compared")))
      << Window->lblFindings->text().toStdString();
  EXPECT_TRUE(Items(false).filter(QStringLiteral("DRIFT")).isEmpty());

  // The database's own catalogue with a wider column, a stricter foreign key and one schema less.
  QFile Catalogue(QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml"));
  ASSERT_TRUE(Catalogue.open(QIODevice::ReadOnly));
  QTemporaryDir Folder;
  const QString BaselineFile = Folder.filePath(QStringLiteral("baseline.xml"));
  QFile Baseline(BaselineFile);
  ASSERT_TRUE(Baseline.open(QIODevice::WriteOnly));
  Baseline.write(Catalogue.readAll()
                     .replace("COLUMN_NAME=\"Qty\" DATA_TYPE=\"int\"", "COLUMN_NAME=\"Qty\" DATA_TYPE=\"bigint\"")
                     .replace("DELETE_RULE=\"CASCADE\"", "DELETE_RULE=\"NO ACTION\"")
                     .replace("<SCHEMA SCHEMA_NAME=\"sales\" SCHEMA_OWNER=\"sales\"/>", ""));
  Baseline.close();
  Window->SetBaseline(BaselineFile);
  EXPECT_EQ(Window->lblBaseline->text(), QStringLiteral("Baseline: baseline.xml"));
  EXPECT_EQ(Window->lstKinds->item(0)->foreground(), Window->palette().brush(QPalette::Active, QPalette::Text));
  Service->Reset();
  Compare();
  EXPECT_EQ(Anomalies(), AllAnomalies) << Log.Dump().toStdString();
  EXPECT_EQ(Items(false).filter(QStringLiteral("DRIFT")),
            QStringList({"DRIFT schema   [sales] (added)", "DRIFT column   dbo.OrderLines.Qty (changed)",
                         "DRIFT foreignkey [dbo].[FK_Lines_Orders] (changed)"}));
  EXPECT_TRUE(Window->lblFindings->text().endsWith(QStringLiteral(
      "Drift from baseline baseline.xml: 3 objects in schemata, tables, referential constraints, privileges")))
      << Window->lblFindings->text().toStdString();
  EXPECT_EQ(Service->Calls(QStringLiteral("SaveDbAnomaly")).size(), 9);

  Select(QStringLiteral("DRIFT column   dbo.OrderLines.Qty (changed)"));
  EXPECT_TRUE(Window->memOfficial->text().contains(QStringLiteral("[Qty] bigint NOT NULL")))
      << Window->memOfficial->text().toStdString();
  EXPECT_TRUE(Window->memLocal->text().contains(QStringLiteral("[Qty] int NOT NULL")))
      << Window->memLocal->text().toStdString();
  TDiffGrid* Grid = Window->DiffGrid();
  EXPECT_EQ(Grid->Cells(1, 0), QStringLiteral("Baseline baseline.xml"));
  EXPECT_EQ(Grid->Cells(3, 0), QStringLiteral("Local, Tellwick on GOLDTEST"));
  QStringList LegendTexts;
  for (const QLabel* Label : Window->findChild<QWidget*>(QStringLiteral("lgdDiff"))->findChildren<QLabel*>())
    LegendTexts << Label->text();
  EXPECT_TRUE(LegendTexts.contains(QStringLiteral("Only on the baseline side"))) << LegendTexts.join(u',').toStdString();
  EXPECT_FALSE(Window->actPostChange->isEnabled());
  Window->tabsDetail->setCurrentWidget(Window->tbsDiffViewer);
  test::SaveScreenshot(*Window, QStringLiteral("main-drift-selected"));

  // Tick all leaves the drift unticked, and the repair has only the anomalies.
  QTest::mouseClick(Window->btnTickAll, Qt::LeftButton);
  QStringList Rows;
  Repair(false, [&Rows](TfrmRepair& ADialog) { Rows = RepairRows(ADialog); });
  EXPECT_EQ(Rows.size(), AllAnomalies.size());
  EXPECT_TRUE(Rows.filter(QStringLiteral("FK_Lines_Orders")).isEmpty()) << Rows.join(u'\n').toStdString();

  // The choice is kept for the next start.
  Window.reset();
  Start();
  EXPECT_EQ(Window->Baseline(), BaselineFile);

  const QString Missing = Folder.filePath(QStringLiteral("gone.xml"));
  Window->SetBaseline(Missing);
  TickAllKinds();
  Compare();
  EXPECT_EQ(Anomalies(), AllAnomalies);
  EXPECT_TRUE(Items(false).filter(QStringLiteral("DRIFT")).isEmpty());
  EXPECT_EQ(Window->RunFailure(), QString());
  EXPECT_EQ(Window->lblFindings->text().count(QStringLiteral("The baseline was not read, no drift compared: ")), 1);
  EXPECT_TRUE(Window->lblFindings->text().contains(QStringLiteral("gone.xml")))
      << Window->lblFindings->text().toStdString();
  // The snapshot the run writes, chosen as the baseline: the run compares with the file as it
  // was and leaves it as it was.
  const QString SnapshotFile = ExeFolder() + QStringLiteral("GOLDTEST.Tellwick.12.xml");
  QFile::remove(SnapshotFile);
  ASSERT_TRUE(QFile::copy(BaselineFile, SnapshotFile));
  const auto Contents = [](const QString& AFile) {
    QFile File(AFile);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  };
  const QByteArray Before = Contents(SnapshotFile);
  Window->SetBaseline(SnapshotFile);
  Compare();
  EXPECT_EQ(Items(false).filter(QStringLiteral("DRIFT")).size(), 3) << Window->lblFindings->text().toStdString();
  EXPECT_TRUE(Window->lblFindings->text().contains(
      QStringLiteral("The snapshot was not written: %1 is the baseline").arg(SnapshotFile)))
      << Window->lblFindings->text().toStdString();
  EXPECT_EQ(Contents(SnapshotFile), Before);
}

TEST_F(MainWindowTest, AFirstStartIsCentredAndTheLeftColumnWidthIsKept) {
  test::TMemorySettings Store;
  GlobalSettings = &Store;
  const auto Restore = qScopeGuard([] { GlobalSettings = nullptr; });
  {
    TfrmDbPublish First;
    EXPECT_EQ(First.geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
    First.show();
    First.splMain->setSizes({400, First.width() - 400});
    ASSERT_EQ(First.splMain->sizes().value(0), 400);
  }
  TfrmDbPublish Second;
  Second.show();
  EXPECT_EQ(Second.splMain->sizes().value(0), 400);
}

TEST_F(MainWindowTest, DoubleClickingTheAnomalyHeaderListsEveryRoutineAgainAndAgain) {
  Start();
  TickAllKinds();
  Compare();
  for (int Times = 0; Times < 2; ++Times)
    QTest::mouseDClick(Window->hdrObjectDiff, Qt::LeftButton);
  const QStringList Routines{"[dbo].[F_Unknown]", "[dbo].[GetDatabaseInfo]", "[dbo].[P_Diff]", "[dbo].[P_Equal]"};
  EXPECT_EQ(Anomalies(), AllAnomalies + Routines + Routines);
}

// A long run keeps the window answering, also while one request waits long for the service; what
// would start something else is disabled, and closing asks first: told no, the run goes on.
TEST_F(MainWindowTest, ALongRunStaysResponsiveAndClosingAsksFirst) {
  Start();
  // The last view's gold standard takes three seconds to come.
  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("slow"), 4, 3);
  TickAllKinds();
  bool Tried = false;
  QElapsedTimer Clock;
  QList<qint64> Moments;
  QList<int> Bar;
  QTimer Ticks;
  Ticks.setInterval(50);
  QObject::connect(&Ticks, &QTimer::timeout, [&] {
    if (!Window->Running())
      return;
    Moments.append(Clock.elapsed());
    Bar.append(Window->pbProgress->value());
    EXPECT_TRUE(Window->btnCancelRun->isVisible());
    EXPECT_FALSE(Window->btnPublish->isVisible());
    if (!Tried) {
      Tried = true;
      QTest::mouseClick(Window->chkAllKinds, Qt::LeftButton);
      Log.Presenter.Answers = {mrNo};
      Window->close();
    }
  });
  Ticks.start();
  Clock.start();
  Compare();
  Moments.append(Clock.elapsed());
  EXPECT_TRUE(Tried);
  EXPECT_GE(Moments.last(), 3000);
  // The timer kept firing all through the three seconds the one answer took.
  EXPECT_GE(std::count_if(Moments.cbegin(), Moments.cend(),
                          [&](qint64 AMoment) { return AMoment >= Moments.last() - 3000; }),
            20);
  EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral("A run is going on. Cancel it and close the window?")});
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Window->chkAllKinds->isChecked());
  EXPECT_EQ(Anomalies(), AllAnomalies);
  // One bar over the whole run: it never goes back, and ends full.
  ASSERT_FALSE(Bar.isEmpty());
  QStringList Values;
  for (const int Value : Bar)
    Values.append(QString::number(Value));
  EXPECT_TRUE(std::is_sorted(Bar.cbegin(), Bar.cend())) << Values.join(u',').toStdString();
  EXPECT_EQ(Window->pbProgress->value(), 100);
  EXPECT_FALSE(Window->btnCancelRun->isVisible());
  EXPECT_TRUE(Window->btnPublish->isVisible());
}

// Closing during a run, and agreeing to cancel it, ends the run between two objects and then
// closes the window.
TEST_F(MainWindowTest, ClosingDuringARunCancelsItAndClosesWhenItHasEnded) {
  Start();
  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("slow"), 2, 2);
  TickAllKinds();
  bool Closed = false;
  QTimer Ticks;
  Ticks.setInterval(20);
  QObject::connect(&Ticks, &QTimer::timeout, [&] {
    if (Closed || !Window->Running() || !Window->lblProgress->text().contains(QStringLiteral("views")))
      return;
    Closed = true;
    Window->close();
  });
  Ticks.start();
  Compare();
  ASSERT_TRUE(Closed);
  EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral("A run is going on. Cancel it and close the window?")});
  EXPECT_FALSE(Window->isVisible());
  EXPECT_TRUE(Window->lblProgress->text().startsWith(QStringLiteral("Cancelled after ")))
      << Window->lblProgress->text().toStdString();
  EXPECT_EQ(Service->Calls(QStringLiteral("GetDbRoutine")).size(), 0);
}

// Against a server and a service 200 ms away every request waits: the window keeps answering
// its timer meanwhile, and a click on Cancel made while a request waits stops the run.
TEST_F(MainWindowTest, AgainstDistantServersTheWindowAnswersWhileRequestsWait) {
  TTdsServer Far(QStringLiteral("compare_catalogue.xml"), {QStringLiteral("quillon:pw")}, QStringLiteral("none"),
                 {QStringLiteral("--latency"), QStringLiteral("200")});
  TGoldService FarGold(QStringLiteral("compare_gold.json"), 200);
  FarGold.Install();
  const auto Restore = qScopeGuard([] { Service->Install(); });
  Start(Far);
  TickAllKinds();
  qint32 TicksWhileRunning = 0;
  bool Clicked = false;
  QTimer Ticks;
  Ticks.setInterval(20);
  QObject::connect(&Ticks, &QTimer::timeout, [&] {
    if (!Window->Running())
      return;
    ++TicksWhileRunning;
    if (!Clicked && Window->lblProgress->text().contains(QStringLiteral("views"))) {
      Clicked = true;
      QTest::mouseClick(Window->btnCancelRun, Qt::LeftButton);
    }
  });
  Ticks.start();
  Compare();
  ASSERT_TRUE(Clicked);
  EXPECT_GE(TicksWhileRunning, 10);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Cancelled after \\d+ of 17 objects$"))
                  .match(Window->lblProgress->text())
                  .hasMatch())
      << Window->lblProgress->text().toStdString();
  EXPECT_EQ(FarGold.Calls(QStringLiteral("GetDbRoutine")).size(), 0);
}

// Cancel (its button or Escape) stops a run after the object being compared and says how far
// it came; the next run starts afresh.
TEST_F(MainWindowTest, ACompareRunCanBeCancelledByItsButtonOrEscape) {
  Start();
  TickAllKinds();
  for (const bool ByEscape : {false, true}) {
    SCOPED_TRACE(ByEscape ? "Escape" : "button");
    // The second view's gold standard takes long enough to be cancelled while it waits.
    Service->Reset();
    Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("slow"), 2, 2);
    bool Cancelled = false;
    QTimer Ticks;
    Ticks.setInterval(50);
    QObject::connect(&Ticks, &QTimer::timeout, [&] {
      if (!Window->Running() || Cancelled || !Window->lblProgress->text().contains(QStringLiteral("views")))
        return;
      Cancelled = true;
      if (ByEscape)
        QTest::keyClick(Window->lstAnomalies, Qt::Key_Escape);
      else
        QTest::mouseClick(Window->btnCancelRun, Qt::LeftButton);
    });
    // Escape is the window's shortcut: it works in the window the user is at.
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Ticks.start();
    Compare();
    Ticks.stop();
    ASSERT_TRUE(Cancelled);
    const QString Outcome = Window->lblProgress->text();
    const QRegularExpressionMatch Match =
        QRegularExpression(QStringLiteral("^Cancelled after (\\d+) of 17 objects$")).match(Outcome);
    ASSERT_TRUE(Match.hasMatch()) << Outcome.toStdString();
    // The check constraints are done, the views not.
    EXPECT_GE(Match.captured(1).toInt(), 4);
    EXPECT_LT(Match.captured(1).toInt(), 8);
    EXPECT_EQ(Window->RunFailure(), QString());
    // What was found before the cancel stays listed.
    EXPECT_EQ(Anomalies(), AllAnomalies.mid(0, Anomalies().size()));
    EXPECT_LT(Anomalies().size(), AllAnomalies.size());
    EXPECT_EQ(BoxTexts(), QStringList());
    EXPECT_EQ(Service->Calls(QStringLiteral("GetDbRoutine")).size(), 0);
    EXPECT_TRUE(Window->btnPublish->isVisible());
  }
  Service->Reset();
  Compare();
  EXPECT_EQ(Anomalies(), AllAnomalies);
  EXPECT_EQ(Window->RunFailure(), QString());
}

}  // namespace
}  // namespace quillon
