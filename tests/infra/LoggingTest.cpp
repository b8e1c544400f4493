#include "infra/logging/Logging.Backend.h"
#include "infra/logging/Logging.SmartInspect.h"
#include "infra/platform/Support.Exceptions.h"
#include "support/LogFile.h"
#include "support/RecordingLog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace quillon {
namespace logging_test {
struct TCompareRun {};
}  // namespace logging_test
namespace {

using test::BufferedEntries;
using test::Heads;
using test::TLogsFolder;

// The adapter as the program runs it, with message boxes answered by a recording presenter.
class LoggingTest : public ::testing::Test {
protected:
  void SetUp() override { Start(); }
  void TearDown() override { StopLogging(); }

  void Start() {
    StartLogging();
    Adapter = dynamic_cast<TSmartInspectAdapter*>(GlobalLog);
    ASSERT_NE(Adapter, nullptr);
    Adapter->SetMessageBoxPresenter(&Presenter);
  }

  // The heads of everything logged after the start-up entries.
  static QStringList Logged() { return Heads(BufferedEntries()).mid(StartupEntries); }

  static constexpr qsizetype StartupEntries = 3;
  const QStringList StartupHeads = {QStringLiteral("Message #FFFFFF ") + QString(60, u'-'),
                                    QStringLiteral("Message #FFA500 TSmartInspectAdapter"),
                                    QStringLiteral("Message #FFFFFF System information")};
  TSmartInspectAdapter* Adapter = nullptr;
  test::TRecordingPresenter Presenter;
};

TEST_F(LoggingTest, EventLevelsDecideEntryColourAndBox) {
  struct TCase {
    TLogLevel Level;
    const char* Entry;  // nullptr: dropped
    int Box;            // -1: no box
  };
  const TCase Cases[] = {
      {ltDebug, nullptr, -1},
      {ltInfo, "Verbose #FFFFFF", -1},
      {ltMessage, "Message #74D66B", mtInformation},
      {ltWarning, "Warning #FFE380", mtWarning},
      {ltError, "Error #FF8080", mtError},
      {ltCritical, "Fatal #FF0000", mtError},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(int(Case.Level));
    const QStringList Before = Logged();
    Presenter.Boxes.clear();
    GlobalLog->Event(QStringLiteral("Db.Connect: %s"), {QStringLiteral("ok")}, Case.Level);
    const QStringList Expected =
        Case.Entry ? QStringList{QString::fromLatin1(Case.Entry) + QStringLiteral(" Db.Connect: ok")} : QStringList{};
    EXPECT_EQ(Logged().mid(Before.size()), Expected);
    if (Case.Box < 0) {
      EXPECT_TRUE(Presenter.Boxes.isEmpty());
    } else {
      ASSERT_EQ(Presenter.Boxes.size(), 1);
      EXPECT_EQ(Presenter.Boxes[0].Type, Case.Box);
      EXPECT_EQ(Presenter.Boxes[0].Buttons, mbOK);
    }
  }
}

TEST_F(LoggingTest, TheWindowBackgroundColourMarksTheLowerLevelsUntilLoggingStartsAgain) {
  SetWindowBackgroundColor({0x12, 0xAB, 0x0F});
  GlobalLog->Event(QStringLiteral("Window shown"), ltInfo);
  GlobalLog->Event(QStringLiteral("Connected"), ltMessage);
  EXPECT_EQ(Logged(), (QStringList{QStringLiteral("Verbose #12AB0F Window shown"), QStringLiteral("Message #74D66B Connected")}));

  StopLogging();
  Start();
  GlobalLog->Event(QStringLiteral("Command line run"), ltInfo);
  EXPECT_EQ(Logged(), QStringList{QStringLiteral("Verbose #FFFFFF Command line run")});
}

TEST_F(LoggingTest, BackslashNBreaksTheBoxLineButStaysInTheEntry) {
  GlobalLog->Event(QStringLiteral("Connection lost\\nTry again later"), ltWarning);
  EXPECT_EQ(Logged(), QStringList{QStringLiteral("Warning #FFE380 Connection lost\\nTry again later")});
  ASSERT_EQ(Presenter.Boxes.size(), 1);
  EXPECT_EQ(Presenter.Boxes[0].Text, QStringLiteral("Connection lost\nTry again later"));
}

TEST_F(LoggingTest, LogYesNoIsTrueOnlyForYes) {
  for (const qint32 Answer : {mrYes, mrNo, mrCancel}) {
    SCOPED_TRACE(Answer);
    Presenter.Boxes.clear();
    Presenter.Answers = {Answer};
    EXPECT_EQ(GlobalLog->LogYesNo(QStringLiteral("Repair 3 objects?"), ltWarning, true), Answer == mrYes);
    ASSERT_EQ(Presenter.Boxes.size(), 1);
    EXPECT_EQ(Presenter.Boxes[0].Buttons, mbYes | mbNo | mbCancel);
    EXPECT_EQ(Presenter.Boxes[0].Type, mtWarning);
  }
  Presenter.Boxes.clear();
  Presenter.Answers = {mrNo};
  EXPECT_FALSE(GlobalLog->LogYesNo(QStringLiteral("Approve?"), ltMessage, false));
  EXPECT_EQ(Presenter.Boxes.value(0).Buttons, mbYes | mbNo);
}

TEST_F(LoggingTest, LogYesNoBelowAThresholdAsksNothingAndLeavesOnlyOkForTheNextBox) {
  GlobalLog->SetThreshold(ltError);
  Presenter.Answers = {mrNo};
  EXPECT_TRUE(GlobalLog->LogYesNo(QStringLiteral("Dropped question?"), ltWarning, true));
  EXPECT_TRUE(Logged().isEmpty());

  GlobalLog->SetThreshold(ltInfo);
  GlobalLog->SetThresholdForDialog(ltError);
  EXPECT_TRUE(GlobalLog->LogYesNo(QStringLiteral("Logged question?"), ltWarning, false));
  EXPECT_EQ(Logged(), QStringList{QStringLiteral("Warning #FFE380 Logged question?")});
  EXPECT_TRUE(Presenter.Boxes.isEmpty());

  GlobalLog->Event(QStringLiteral("Failed"), ltError);
  ASSERT_EQ(Presenter.Boxes.size(), 1);
  EXPECT_EQ(Presenter.Boxes[0].Buttons, mbOK);
}

TEST_F(LoggingTest, SilentOperationsRecordFormattedTextWithoutBoxOrCounting) {
  GlobalLog->SetThreshold(ltCritical);
  GlobalLog->SilentError(QStringLiteral("100%% failed"));
  GlobalLog->SilentWarning(QStringLiteral("%s skipped"), {QStringLiteral("[dbo].[V]")});
  GlobalLog->SilentSuccess(QStringLiteral("%d saved"), {4});
  EXPECT_EQ(Logged(), (QStringList{QStringLiteral("Error #FFD5DF 100% failed"),
                                   QStringLiteral("Warning #FFFCD5 [dbo].[V] skipped"),
                                   QStringLiteral("Verbose #DAF6CE 4 saved")}));
  EXPECT_TRUE(Presenter.Boxes.isEmpty());
  EXPECT_EQ(GlobalLog->GetCalls(), 0);
  EXPECT_EQ(ErrorEventCount(), 0);
}

TEST_F(LoggingTest, FormattingErrorsReachTheCallerAndRecordNothing) {
  EXPECT_THROW(GlobalLog->SilentError(QStringLiteral("Lone %s")), EConvertError);
  EXPECT_THROW(GlobalLog->SilentWarning(QStringLiteral("%d"), {QStringLiteral("x")}), EConvertError);
  EXPECT_THROW(GlobalLog->Event(QStringLiteral("%s and %s"), {QStringLiteral("one")}, ltError), EConvertError);
  EXPECT_THROW(Adapter->EventColor({0, 0, 255}, QStringLiteral("%d%%"), {}), EConvertError);
  EXPECT_TRUE(Logged().isEmpty());
  EXPECT_TRUE(Presenter.Boxes.isEmpty());
  EXPECT_EQ(ErrorEventCount(), 0);
}

TEST_F(LoggingTest, EventsBelowTheThresholdCountAsCallsOnly) {
  GlobalLog->Event(QStringLiteral("debug"), ltDebug);
  GlobalLog->SetThreshold(ltCritical);
  GlobalLog->Event(QStringLiteral("error"), ltError);
  GlobalLog->ShowMessage(QStringLiteral("message"), ltMessage, 1);
  EXPECT_EQ(GlobalLog->GetCalls(), 3);
  EXPECT_EQ(ErrorEventCount(), 0);
  EXPECT_TRUE(Logged().isEmpty());
  EXPECT_TRUE(Presenter.Boxes.isEmpty());

  GlobalLog->Event(QStringLiteral("critical"), ltCritical);
  EXPECT_EQ(GlobalLog->GetCalls(), 4);
  EXPECT_EQ(ErrorEventCount(), 1);
}

TEST_F(LoggingTest, OtherOperationsWriteTheirOwnEntries) {
  const std::type_info& Run = typeid(logging_test::TCompareRun);
  GlobalLog->LogDestroy(Run);
  GlobalLog->LogSqlQuery(QStringLiteral("SELECT 1"));
  GlobalLog->LogSqlCommand(QStringLiteral("EXEC dbo.AddUser"));
  GlobalLog->EnterMethod(Run, QStringLiteral("Load"));
  GlobalLog->LeaveMethod(Run, QStringLiteral("Load"));
  GlobalLog->SetLogCallStack(false);
  GlobalLog->EnterMethod(Run, QStringLiteral("Hidden"));
  GlobalLog->AddStrings(QStringLiteral("Ignored objects"), {QStringLiteral("[dbo].[A]"), QStringLiteral("[dbo].[B]")});
  dynamic_cast<ILogXmlData*>(GlobalLog)->LogXmlData(ltCritical, QStringLiteral("Snapshot"), QStringLiteral("<DB>\n</DB>"));
  Adapter->EventColor({1, 2, 3}, QStringLiteral("%s=%d"), {QStringLiteral("n"), 5});

  const QList<test::TLoggedEntry> Entries = BufferedEntries().mid(StartupEntries);
  EXPECT_EQ(Heads(Entries),
            (QStringList{QStringLiteral("Verbose #FFF5EE Destroying quillon.logging_test.TCompareRun"),
                         QStringLiteral("Verbose #D9CBF3 SELECT 1"), QStringLiteral("Verbose #FFEAD5 EXEC dbo.AddUser"),
                         QStringLiteral("Message #FFFFFF Enter: TCompareRun.Load"),
                         QStringLiteral("Message #FFFFFF Leave: TCompareRun.Load"),
                         QStringLiteral("Message #FFFFFF Ignored objects"), QStringLiteral("Verbose #FFFFFF Snapshot"),
                         QStringLiteral("Verbose #010203 n=5")}));
  ASSERT_EQ(Entries.size(), 8);
  EXPECT_EQ(Entries[5].Body, QStringLiteral("[dbo].[A]\n[dbo].[B]"));
  EXPECT_EQ(Entries[6].Body, QStringLiteral("<DB>\n</DB>"));
}

TEST_F(LoggingTest, DisabledBackEndRecordsNothingButStillAsks) {
  GlobalLog->SetEnabled(false);
  EXPECT_FALSE(GlobalLog->GetEnabled());
  GlobalLog->Event(QStringLiteral("Not written"), ltError);
  GlobalLog->SilentError(QStringLiteral("Not written either"));
  EXPECT_EQ(Presenter.Boxes.size(), 1);
  GlobalLog->SetEnabled(true);
  EXPECT_TRUE(GlobalLog->GetEnabled());
  EXPECT_TRUE(Logged().isEmpty());
}

TEST_F(LoggingTest, ASecondAdapterIsRefusedWhileOneLives) {
  ILog* const First = GlobalLog;
  EXPECT_THROW(TSmartInspectAdapter(), EAssertionFailed);
  EXPECT_THROW(StartLogging(), EAssertionFailed);
  EXPECT_EQ(GlobalLog, First);
  GlobalLog->Event(QStringLiteral("still logging"), ltInfo);
  EXPECT_EQ(Logged(), QStringList{QStringLiteral("Verbose #FFFFFF still logging")});

  StopLogging();
  EXPECT_EQ(GlobalLog, nullptr);
  EXPECT_NO_THROW(TSmartInspectAdapter());
}

TEST_F(LoggingTest, StartupEntriesComeFirst) {
  const QList<test::TLoggedEntry> Entries = BufferedEntries();
  ASSERT_EQ(Entries.size(), 3);
  EXPECT_EQ(Heads(Entries), StartupHeads);
  EXPECT_TRUE(Entries[2].Body.contains(QStringLiteral("Application: infra_unit_tests\n"))) << Entries[2].Body.toStdString();
  EXPECT_TRUE(GlobalLog->GetLogCallStack());
  EXPECT_EQ(GlobalLog->GetThreshold(), ltInfo);
  EXPECT_EQ(GlobalLog->GetThresholdForDialog(), ltMessage);
}

TEST_F(LoggingTest, ShutdownWritesTheRunToTheLogFile) {
  struct TCase {
    TLogLevel EventLevel;
    const char* Event;
    const char* Closing;
  };
  const TCase Cases[] = {
      {ltWarning, "Warning #FFE380 Compare failed", "Message #7FFF00 So long, and thanks for all the fish!"},
      {ltError, "Error #FF8080 Compare failed", "Message #DC143C WE APOLOGIZE FOR THE INCONVIENCE"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Event);
    TLogsFolder Folder;
    if (!GlobalLog)
      Start();
    EXPECT_EQ(GlobalLog->StdFileName(), TLogsFolder::LogFileName());
    GlobalLog->SilentError(QString::fromUtf8("Pålogging feilet"));
    GlobalLog->Event(QStringLiteral("Compare failed"), Case.EventLevel);
    StopLogging();

    const QStringList Written = Heads(test::ParseLog(Folder.ReadLogFile()));
    EXPECT_EQ(Written.mid(0, StartupEntries), StartupHeads);
    EXPECT_EQ(Written.mid(StartupEntries),
              (QStringList{QString::fromUtf8("Error #FFD5DF Pålogging feilet"), QString::fromLatin1(Case.Event),
                           QStringLiteral("Message #FFA500 TSmartInspectAdapter.Destroy. Should precede final message in log."),
                           QString::fromLatin1(Case.Closing), QStringLiteral("Message #FFFFFF ") + QString(60, u'-')}));
  }
}

TEST_F(LoggingTest, WithoutALogsFolderNoFileIsWrittenAndNothingFails) {
  const QString Logs = TLogsFolder::Path();
  if (QDir(Logs).exists())
    GTEST_SKIP() << Logs.toStdString() << " exists beside the test";
  GlobalLog->Event(QStringLiteral("Failed"), ltError);
  EXPECT_NO_THROW(StopLogging());
  EXPECT_FALSE(QDir(Logs).exists());
}

TEST_F(LoggingTest, AnUnwritableLogFileIsIgnored) {
  TLogsFolder Folder;
  // A folder where the file should be makes it impossible to open, as a lock would.
  ASSERT_TRUE(QDir().mkpath(TLogsFolder::LogFileName()));
  EXPECT_NO_THROW(StopLogging());
  EXPECT_TRUE(QDir(TLogsFolder::LogFileName()).exists());
  QDir().rmdir(TLogsFolder::LogFileName());
}

TEST(SiBackEnd, KeepsPacketsOnlyWhileEnabledAtItsLevelAndInMemory) {
  TSmartInspect Backend(QStringLiteral("quillon"));
  TSiSession* Main = Backend.AddSession(QStringLiteral("Main"));
  QBuffer Out;
  Out.open(QIODevice::WriteOnly);
  Backend.SetConnections(QStringLiteral("pipe(reconnect=true, reconnect.interval=1s)"));
  Backend.SetEnabled(true);
  Main->LogColored(lvError, {255, 0, 0}, QStringLiteral("no memory protocol"));
  Backend.Dispatch(QStringLiteral("mem"), 0, Out);
  EXPECT_TRUE(Out.data().isEmpty());

  Backend.SetConnections(QStringLiteral("pipe(reconnect=true), MEM()"));
  Backend.SetEnabled(false);
  Main->LogColored(lvError, {255, 0, 0}, QStringLiteral("disabled"));
  Backend.SetEnabled(true);
  Backend.SetLevel(lvWarning);
  Main->LogColored(lvMessage, {255, 0, 0}, QStringLiteral("below level"));
  Main->LogText(lvWarning, QStringLiteral("Multi\r\nline"), QStringLiteral("body 1\n\nbody 3"));
  Backend.Dispatch(QStringLiteral("pipe"), 0, Out);
  Backend.Dispatch(QStringLiteral("mem"), 1, Out);
  EXPECT_TRUE(Out.data().isEmpty());

  Backend.Dispatch(QStringLiteral("mem"), 0, Out);
  const QList<QByteArray> Lines = Out.data().split('\n');
  ASSERT_EQ(Lines.size(), 6) << Out.data().toStdString();
  EXPECT_EQ(Lines[0].mid(23), "  Warning  #FFFFFF  Multi");
  EXPECT_EQ(Lines.mid(1), (QList<QByteArray>{"    line", "    body 1", "    ", "    body 3", ""}));

  QBuffer ReadOnly;
  ReadOnly.open(QIODevice::ReadOnly);
  EXPECT_THROW(Backend.Dispatch(QStringLiteral("mem"), 0, ReadOnly), Exception);
}

}  // namespace
}  // namespace quillon
