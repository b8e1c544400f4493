// The main window: start-up and login, compare runs and what they list, the source panes and
// approval.
#include "gui/MainWindowFixture.h"

namespace quillon {
namespace {

using window_test::MainWindowTest;
using namespace window_test;

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

}  // namespace
}  // namespace quillon
