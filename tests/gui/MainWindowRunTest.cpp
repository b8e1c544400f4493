// The main window: repairs, the anomaly list, the baseline, and runs that take long, are
// cancelled or closed.
#include "gui/MainWindowFixture.h"

namespace quillon {
namespace {

using window_test::MainWindowTest;
using namespace window_test;

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
