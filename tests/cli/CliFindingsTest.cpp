// quillon-cli on a case-sensitive database with encrypted, unknown and missing objects: they are
// findings in every report, not anomalies.
#include "CliRun.h"
#include "JsonReportSchema.h"
#include "support/QtPrinters.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <gtest/gtest.h>

namespace quillon::cli_test {
namespace {

using test::ValidJsonReport;

// A case-sensitive database (findings_catalogue.xml) with an encrypted view and routine, a view
// the gold standard (findings_gold.json) lacks, routines only the gold standard has and two
// views whose names differ only in case.
class CliFindingsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Database = std::make_unique<TTdsServer>(QStringLiteral("findings_catalogue.xml"), QStringList{Login + u':' + Password});
    Service = std::make_unique<TGoldService>(QStringLiteral("findings_gold.json"));
  }
  static void TearDownTestSuite() {
    Database.reset();
    Service.reset();
  }
  void SetUp() override { Service->Reset(); }

  static QStringList Run(const QString& ACommand, const QStringList& AOptions = {},
                         const TGoldService& AService = *Service, const QString& AUser = Login) {
    return QStringList{ACommand, QStringLiteral("Server=") + Database->DataSource(), QStringLiteral("Database=Tellwick"),
                       QStringLiteral("User=") + AUser, QStringLiteral("Service=") + AService.BaseAddress()} +
           AOptions;
  }
  // "kind fullName" of each entry of a report's array.
  static QSet<QString> Entries(const QJsonObject& AReport, const QString& AArray) {
    QSet<QString> Names;
    for (const QJsonValue& Entry : AReport.value(AArray).toArray())
      Names.insert(Entry[QStringLiteral("kind")].toString() + u' ' + Entry[QStringLiteral("fullName")].toString());
    return Names;
  }
  static QStringList NamesSentTo(const TGoldService& AService, const QString& AOperation, const QString& ANameKey) {
    QStringList Names;
    for (const TGoldService::TCall& Call : AService.Calls(AOperation))
      Names.append(Call.Params.value(ANameKey).toString());
    return Names;
  }

  static inline std::unique_ptr<TTdsServer> Database;
  static inline std::unique_ptr<TGoldService> Service;
  QTemporaryDir Temp;
};

TEST_F(CliFindingsTest, UnknownMissingAndUnreadableObjectsAreResultsNotAnomalies) {
  const TCliRun Json = RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--format"), QStringLiteral("json")}));
  ASSERT_EQ(Json.ExitCode, 1) << Json.Err.toStdString();
  const QJsonObject Report = SingleTarget(Json.Out);
  // Names that differ only in case are two objects, each compared under its own name.
  EXPECT_EQ(AnomaliesOf(Report), QSet<QString>({QStringLiteral("view [dbo].[ORDERS2]"),
                                                QStringLiteral("routine [dbo].[P_Changed]")}));
  EXPECT_TRUE(NamesSentTo(*Service, QStringLiteral("GetDbView"), QStringLiteral("ViewName")).contains(QStringLiteral("Orders2")));
  EXPECT_EQ(Entries(Report, QStringLiteral("unknown")), QSet<QString>{QStringLiteral("view [dbo].[V_LocalOnly]")});
  EXPECT_EQ(Entries(Report, QStringLiteral("missingLocally")),
            QSet<QString>({QStringLiteral("routine [dbo].[P_GoldOnly]"), QStringLiteral("routine [dbo].[Отчёт [old] \"q\"]")}));
  EXPECT_EQ(Entries(Report, QStringLiteral("unreadable")),
            QSet<QString>({QStringLiteral("view [dbo].[V_Secret]"), QStringLiteral("routine [dbo].[P_Crypt]")}));
  EXPECT_EQ(Entries(Report, QStringLiteral("duplicateNames")), QSet<QString>());
  EXPECT_TRUE(Report[QStringLiteral("complete")].toBool());
  EXPECT_TRUE(Report[QStringLiteral("comparedKinds")].toString().contains(QStringLiteral("3 views, 2 routines")))
      << Report[QStringLiteral("comparedKinds")].toString().toStdString();
  EXPECT_EQ(NamesSentTo(*Service, QStringLiteral("SaveDbAnomaly"), QStringLiteral("ObjectKey")),
            QStringList({QStringLiteral("[dbo].[ORDERS2]"), QStringLiteral("[dbo].[P_Changed]")}));

  struct TCase {
    QStringList Options;
    int ExitCode;
  };
  const QList<TCase> Cases{
      {{QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"), QStringLiteral("unknown")}, 0},
      {{QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"), QStringLiteral("missing")}, 1},
      {{QStringLiteral("--kinds"), QStringLiteral("views"), QStringLiteral("--fail-on"), QStringLiteral("missing")}, 0},
      {{QStringLiteral("--kinds"), QStringLiteral("views"), QStringLiteral("--fail-on"), QStringLiteral("unknown")}, 1},
      {{QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"), QStringLiteral("unreadable")}, 1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Options.join(u' ').toStdString());
    EXPECT_EQ(RunCli(Run(QStringLiteral("compare"), Case.Options)).ExitCode, Case.ExitCode);
  }
}

TEST_F(CliFindingsTest, EveryReportFormatShowsTheFindings) {
  const TCliRun Text = RunCli(Run(QStringLiteral("compare")));
  EXPECT_TRUE(Text.Out.contains("Unknown to the gold standard:\n  VIEW [dbo].[V_LocalOnly]\n")) << Text.Out.toStdString();
  EXPECT_TRUE(Text.Out.contains("Missing locally:\n")) << Text.Out.toStdString();
  EXPECT_TRUE(Text.Out.contains("  ROUTINE [dbo].[P_Crypt]\n")) << Text.Out.toStdString();

  const QString Html = Temp.filePath(QStringLiteral("report.html"));
  RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--report"), Html}));
  const QString Page = QString::fromUtf8(ReadFile(Html));
  EXPECT_TRUE(Page.contains(QStringLiteral("<h3>Missing locally</h3>\n<ul>\n<li>ROUTINE [dbo].[P_GoldOnly]</li>")))
      << Page.toStdString();
  EXPECT_TRUE(Page.contains(QStringLiteral("<li>VIEW [dbo].[V_Secret]</li>")));

  // A finding is a skipped case, or a failure when --fail-on names its kind.
  for (const auto& [FailOn, Element] : {std::pair{QStringLiteral("anomalies"), QStringLiteral("skipped")},
                                        std::pair{QStringLiteral("missing,unreadable"), QStringLiteral("failure")}}) {
    SCOPED_TRACE(FailOn.toStdString());
    const QString File = Temp.filePath(QStringLiteral("report.xml"));
    RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--format"),
                                           QStringLiteral("junit"), QStringLiteral("--report"), File,
                                           QStringLiteral("--fail-on"), FailOn}));
    QDomDocument Xml;
    ASSERT_TRUE(Xml.setContent(ReadFile(File)));
    QMap<QString, QString> Outcomes;
    const QDomNodeList Cases = Xml.elementsByTagName(QStringLiteral("testcase"));
    for (int i = 0; i < Cases.size(); ++i) {
      const QDomElement Case = Cases.at(i).toElement();
      const QDomElement Outcome = Case.firstChildElement();
      Outcomes.insert(Case.attribute(QStringLiteral("name")),
                      Outcome.isNull() ? QStringLiteral("passed") : Outcome.tagName() + u' ' + Outcome.attribute(QStringLiteral("message")));
    }
    EXPECT_EQ(Outcomes.value(QStringLiteral("[dbo].[P_GoldOnly]")), Element + QStringLiteral(" Missing locally"));
    EXPECT_TRUE(Outcomes.value(QStringLiteral("[dbo].[P_Crypt]")).startsWith(Element + QStringLiteral(" Unreadable")));
    EXPECT_EQ(Outcomes.value(QStringLiteral("[dbo].[P_Same]")), QStringLiteral("passed"));
  }
}

TEST_F(CliFindingsTest, UnreadableDefinitionsAreNeverSentAndReadBackFromTheSnapshot) {
  for (const auto& [User, UserPassword] : {std::pair{Login, Password}, std::pair{QStringLiteral("blind"), QStringLiteral("Bl1nd-pw")}}) {
    SCOPED_TRACE(User.toStdString());
    Service->Reset();
    const TCliRun Publish = RunCli(Run(QStringLiteral("publish"), {}, *Service, User), UserPassword);
    ASSERT_EQ(Publish.ExitCode, 0) << Publish.Err.toStdString();
    EXPECT_TRUE(Publish.Out.contains("VIEW [dbo].[V_Secret]: Skipped, its definition is unreadable")) << Publish.Out.toStdString();
    EXPECT_TRUE(Publish.Out.contains("PROCEDURE [dbo].[P_Crypt]: Skipped")) << Publish.Out.toStdString();
    for (const TGoldService::TCall& Call : Service->Calls(QStringLiteral("SaveDbView")))
      EXPECT_FALSE(Call.Params.value(QStringLiteral("ViewDefinition")).toString().trimmed().isEmpty());
    EXPECT_FALSE(NamesSentTo(*Service, QStringLiteral("SaveDbView"), QStringLiteral("ViewName")).contains(QStringLiteral("V_Secret")));
    EXPECT_FALSE(NamesSentTo(*Service, QStringLiteral("SaveDbRoutine"), QStringLiteral("RoutineName")).contains(QStringLiteral("P_Crypt")));
  }
  // Without VIEW DEFINITION nothing at all is readable, so nothing is sent.
  EXPECT_TRUE(Service->Calls(QStringLiteral("SaveDbView")).isEmpty());
  EXPECT_TRUE(Service->Calls(QStringLiteral("SaveDbRoutine")).isEmpty());

  const QString File = Temp.filePath(QStringLiteral("shot.xml"));
  ASSERT_EQ(RunCli(Run(QStringLiteral("snapshot"), {QStringLiteral("--output"), File})).ExitCode, 0);
  QDomDocument Xml;
  ASSERT_TRUE(Xml.setContent(ReadFile(File)));
  QStringList Unreadable;
  for (const QString& Tag : {QStringLiteral("VIEW"), QStringLiteral("ROUTINE")})
    for (QDomElement E = Xml.documentElement().elementsByTagName(Tag).at(0).toElement(); !E.isNull(); E = E.nextSiblingElement(Tag))
      if (E.attribute(QStringLiteral("DEFINITION_UNREADABLE")) == QLatin1String("true"))
        Unreadable.append(E.attribute(QStringLiteral("TABLE_NAME"), E.attribute(QStringLiteral("ROUTINE_NAME"))));
  EXPECT_EQ(Unreadable, QStringList({QStringLiteral("V_Secret"), QStringLiteral("P_Crypt")}));
  Service->Reset();
  const TCliRun FromSnapshot =
      RunCli({QStringLiteral("compare"), QStringLiteral("--snapshot"), File, QStringLiteral("Service=") + Service->BaseAddress(),
              QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--fail-on"), QStringLiteral("unreadable")});
  EXPECT_EQ(FromSnapshot.ExitCode, 1) << FromSnapshot.Err.toStdString();
  EXPECT_EQ(Entries(SingleTarget(FromSnapshot.Out), QStringLiteral("unreadable")),
            QSet<QString>({QStringLiteral("view [dbo].[V_Secret]"), QStringLiteral("routine [dbo].[P_Crypt]")}));
}

TEST_F(CliFindingsTest, PublishRemembersWhatItSentPerServiceAndForceSendsAgain) {
  QFile::remove(QFileInfo(QStringLiteral(QUILLON_CLI)).absolutePath() + QStringLiteral("/quillon-cli.publish.ini"));
  const TGoldService Other(QStringLiteral("findings_gold.json"));
  const auto SentChanged = [](const TGoldService& AService) {
    return NamesSentTo(AService, QStringLiteral("SaveDbRoutine"), QStringLiteral("RoutineName")).count(QStringLiteral("P_Changed"));
  };
  struct TStep {
    const char* Name;
    const TGoldService* To;
    QStringList Options;
    qsizetype Sent;
  };
  const QList<TStep> Steps{{"first run", Service.get(), {}, 1},
                           {"nothing changed since", Service.get(), {}, 0},
                           {"another service", &Other, {}, 1},
                           {"forced", Service.get(), {QStringLiteral("--force")}, 1}};
  for (const TStep& Step : Steps) {
    SCOPED_TRACE(Step.Name);
    Step.To->Reset();
    const TCliRun Publish = RunCli(Run(QStringLiteral("publish"), Step.Options, *Step.To));
    ASSERT_EQ(Publish.ExitCode, 0) << Publish.Err.toStdString();
    EXPECT_EQ(SentChanged(*Step.To), Step.Sent);
    EXPECT_EQ(Publish.Out.contains("PROCEDURE [dbo].[P_Changed]: Updated for version 12"), Step.Sent == 1)
        << Publish.Out.toStdString();
  }
}

TEST_F(CliFindingsTest, AFleetChecksFailOnAsEachTargetWould) {
  const QString Fleet = WriteFile(Temp, QStringLiteral("fleet.txt"),
                                  QStringLiteral("Name=cs Server=%1 Database=Tellwick User=%2\n")
                                      .arg(Database->DataSource(), Login)
                                      .toUtf8());
  const auto FleetRun = [&](const QStringList& AOptions) {
    return RunCli(QStringList{QStringLiteral("compare"), QStringLiteral("--fleet"), Fleet,
                              QStringLiteral("Service=") + Service->BaseAddress(), QStringLiteral("--format"),
                              QStringLiteral("json")} +
                  AOptions);
  };
  const TCliRun Missing = FleetRun({QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"),
                                    QStringLiteral("missing")});
  EXPECT_EQ(Missing.ExitCode, 1) << Missing.Err.toStdString();
  const QJsonObject Target = ValidJsonReport(Missing.Out)[QStringLiteral("targets")].toArray().at(0).toObject();
  EXPECT_EQ(Entries(Target, QStringLiteral("missingLocally")).size(), 2) << Missing.Out.toStdString();
  // P_Changed differs, but anomalies are not what --fail-on names here.
  EXPECT_EQ(FleetRun({QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"),
                      QStringLiteral("unknown")})
                .ExitCode,
            0);
}

TEST_F(CliFindingsTest, ARunThatStopsPartWaySaysSoAndKeepsWhatItFound) {
  Service->Fail(QStringLiteral("GetDbRoutine"), QStringLiteral("fault"), 0, 0,
                {{QStringLiteral("RoutineName"), QStringLiteral("P_Crypt")}});
  const TCliRun Stopped = RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--format"), QStringLiteral("json")}));
  EXPECT_EQ(Stopped.ExitCode, 2);
  ASSERT_EQ(Stopped.ErrLines().size(), 1) << Stopped.Err.toStdString();
  EXPECT_TRUE(Stopped.ErrLines().first().startsWith(QStringLiteral("quillon-cli: Stopped after 6 of 8 objects: ")))
      << Stopped.Err.toStdString();
  const QJsonObject Report = SingleTarget(Stopped.Out);
  EXPECT_FALSE(Report[QStringLiteral("complete")].toBool(true));
  EXPECT_EQ(Report[QStringLiteral("status")].toString(), QStringLiteral("error"));
  // The five views and the first routine were compared; P_Crypt's lookup failed.
  EXPECT_EQ(AnomaliesOf(Report), QSet<QString>({QStringLiteral("view [dbo].[ORDERS2]"),
                                                QStringLiteral("routine [dbo].[P_Changed]")}));

  // A service that cannot be reached stops the run before its first object.
  const TCliRun Unreachable = RunCli(Run(QStringLiteral("compare")).mid(0, 4) +
                                     QStringList{QStringLiteral("Service=http://127.0.0.1:%1").arg(ClosedPort())});
  EXPECT_EQ(Unreachable.ExitCode, 2);
  EXPECT_TRUE(Unreachable.Err.contains("Stopped after 0 of 8 objects: ")) << Unreachable.Err.toStdString();
  EXPECT_TRUE(Unreachable.Out.contains("The comparison is incomplete.")) << Unreachable.Out.toStdString();
}

}  // namespace
}  // namespace quillon::cli_test
