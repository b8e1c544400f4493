// Writes two generated snapshots of 135,000 objects each (tables with columns, routines,
// views and the rest) that differ in one object of every hundred, then times
// `quillon-cli drift` on them (the whole program: reading both files, comparing, writing the
// JSON report) against `diff` on the same two files, the way a user would compare them by
// hand. Each is run three times; the best wall and CPU times count.
//
//   bench_drift [output folder]
#include "support/CatalogueFixture.h"
#include "support/GeneratedCatalogue.h"
#include "support/RecordingLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace quillon;

namespace {

void WriteSnapshot(const QString& AFileName, int AVariant) {
  test::TRecordingLog Log;
  test::TCatalogueLists Catalogue(&Log);
  test::TMemorySQL Sql;
  bench::GenerateCatalogue(Sql, Catalogue.Lists(), bench::TCounts(), AVariant);
  Catalogue.Load(&Sql);
  SaveSnapshot(Catalogue.Lists(), AFileName, QStringLiteral("BENCH"), QStringLiteral("Bench"), 1);
}

struct TTimes {
  double Wall = 1e9;
  // User and system time together.
  double Cpu = 1e9;
};

double ChildrenCpuSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_CHILDREN, &Usage);
  const auto Seconds = [](const timeval& ATime) { return ATime.tv_sec + ATime.tv_usec / 1e6; };
  return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

// The best wall and CPU times of three runs, in seconds, and the last run's exit code.
TTimes BestOfThree(const QString& AProgram, const QStringList& AArguments, int& AExitCode) {
  TTimes Best;
  for (int Run = 0; Run < 3; ++Run) {
    QProcess Process;
    Process.setStandardOutputFile(QProcess::nullDevice());
    const double CpuBefore = ChildrenCpuSeconds();
    QElapsedTimer Timer;
    Timer.start();
    Process.start(AProgram, AArguments);
    Process.waitForFinished(-1);
    Best.Wall = std::min(Best.Wall, Timer.nsecsElapsed() / 1e9);
    Best.Cpu = std::min(Best.Cpu, ChildrenCpuSeconds() - CpuBefore);
    AExitCode = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
  }
  return Best;
}

double PeakChildMegabytes() {
  rusage Usage{};
  getrusage(RUSAGE_CHILDREN, &Usage);
  return Usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  QTemporaryDir Temp;
  const QString Folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path();
  const QString Baseline = Folder + QStringLiteral("/drift.baseline.xml");
  const QString Target = Folder + QStringLiteral("/drift.target.xml");
  const QString Report = Folder + QStringLiteral("/drift.report.json");
  WriteSnapshot(Baseline, 0);
  WriteSnapshot(Target, 1);

  int DriftExit = 0;
  const TTimes DriftS = BestOfThree(QStringLiteral(QUILLON_CLI),
                                    {QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline,
                                     QStringLiteral("--snapshot"), Target, QStringLiteral("--format"),
                                     QStringLiteral("json"), QStringLiteral("--report"), Report},
                                    DriftExit);
  const double DriftMb = PeakChildMegabytes();
  int DiffExit = 0;
  const TTimes DiffS = BestOfThree(QStringLiteral("diff"), {Baseline, Target}, DiffExit);

  QFile ReportFile(Report);
  ReportFile.open(QIODevice::ReadOnly);
  const QJsonArray Drift = QJsonDocument::fromJson(ReportFile.readAll())
                              .object()
                              .value(QStringLiteral("targets"))
                              .toArray()
                              .at(0)
                              .toObject()
                              .value(QStringLiteral("drift"))
                              .toArray();

  std::printf("snapshots: 2 x %.1f MB, 135,000 objects each\n", QFileInfo(Baseline).size() / 1e6);
  std::printf("drift:     %.3f s wall, %.3f s CPU (target < 2 s), %lld objects drifted, exit code %d\n", DriftS.Wall,
              DriftS.Cpu, static_cast<long long>(Drift.size()), DriftExit);
  // A child's peak counts what it shared with this process between fork and exec, so this is
  // an upper bound; `/usr/bin/time -f %M quillon-cli drift ...` gives the program's own.
  std::printf("memory:    at most %.0f MB peak resident of quillon-cli (target < 1024 MB)\n", DriftMb);
  std::printf("diff:      %.3f s wall, %.3f s CPU, exit code %d\n", DiffS.Wall, DiffS.Cpu, DiffExit);
  std::printf("drift / diff = %.2f wall, %.2f CPU (target <= 1.5)\n", DriftS.Wall / DiffS.Wall, DriftS.Cpu / DiffS.Cpu);
  return 0;
}
