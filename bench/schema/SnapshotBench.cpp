// Loads a generated catalogue (100,000 columns, 10,000 routines of about 4 KB, 5,000 views
// and 20,000 other objects) through the in-memory ISQL, writes its snapshot, and times
// `xmllint --format` on the written file for comparison. With --load, reads a snapshot file
// written before into empty lists and says how much memory that took against the file's size.
//
//   bench_schema_snapshot [output folder]
//   bench_schema_snapshot --load <snapshot file>
#include "model/Xml.Snapshot.h"
#include "support/CatalogueFixture.h"
#include "support/GeneratedCatalogue.h"
#include "support/RecordingLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>

using namespace quillon;
using bench::PeakMegabytes;

namespace {

double ResidentMegabytes() {
  QFile Status(QStringLiteral("/proc/self/statm"));
  if (!Status.open(QIODevice::ReadOnly))
    return 0;
  const QList<QByteArray> Pages = Status.readAll().split(' ');
  return Pages.size() > 1 ? Pages[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

int LoadOnly(const QString& AFileName) {
  const double BeforeMb = ResidentMegabytes();
  test::TRecordingLog Log;
  test::TCatalogueLists Catalogue(&Log);
  QElapsedTimer Timer;
  Timer.start();
  LoadSnapshot(Catalogue.Lists(), AFileName);
  const double Seconds = Timer.nsecsElapsed() / 1e9;
  const double PeakMb = PeakMegabytes() - BeforeMb;
  const double HeldMb = ResidentMegabytes() - BeforeMb;
  const double FileMb = QFileInfo(AFileName).size() / (1024.0 * 1024.0);
  const double Objects = Catalogue.Count();
  std::printf("load:     %.0f objects from %.1f MB in %.3f s\n", Objects, FileMb, Seconds);
  std::printf("memory:   %.0f MB at the peak (%.1f x the file), %.0f MB held after (%.1f x the file, %.0f bytes an object)\n",
              PeakMb, PeakMb / FileMb, HeldMb, HeldMb / FileMb, HeldMb * 1024 * 1024 / Objects);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  if (argc > 2 && QByteArray(argv[1]) == "--load")
    return LoadOnly(QString::fromLocal8Bit(argv[2]));
  QTemporaryDir Temp;
  const QString Folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path();
  const QString FileName = Folder + QStringLiteral("/bench.snapshot.xml");

  test::TRecordingLog Log;
  test::TCatalogueLists Catalogue(&Log);
  test::TMemorySQL Sql;
  QElapsedTimer Timer;
  Timer.start();
  bench::GenerateCatalogue(Sql, Catalogue.Lists(), bench::TCounts());
  const qint64 GenerateMs = Timer.restart();
  const double GeneratedMb = PeakMegabytes();

  Catalogue.Load(&Sql);
  const qint64 LoadNs = Timer.nsecsElapsed();
  Timer.restart();
  const TXmlDocument Snapshot =
      BuildSnapshot(Catalogue.Lists(), QStringLiteral("BENCH"), QStringLiteral("Bench"), 1, QDateTime::currentDateTime());
  const qint64 BuildNs = Timer.nsecsElapsed();
  Timer.restart();
  Snapshot.SaveToFile(FileName);
  const qint64 SaveNs = Timer.nsecsElapsed();
  const double PeakMb = PeakMegabytes();

  const double Objects = Catalogue.Count();
  const double FileMb = QFileInfo(FileName).size() / 1e6;
  const double LoadS = LoadNs / 1e9;
  const double WriteS = (BuildNs + SaveNs) / 1e9;

  QProcess Lint;
  Lint.setStandardOutputFile(QProcess::nullDevice());
  Timer.restart();
  Lint.start(QStringLiteral("xmllint"), {QStringLiteral("--format"), FileName});
  const bool LintRan = Lint.waitForFinished(-1) && Lint.exitStatus() == QProcess::NormalExit && Lint.exitCode() == 0;
  const double LintS = Timer.nsecsElapsed() / 1e9;

  std::printf("catalogue generated in %lld ms (%.0f MB resident)\n", static_cast<long long>(GenerateMs), GeneratedMb);
  std::printf("load:     %.0f objects in %.3f s = %.0f objects/s\n", Objects, LoadS, Objects / LoadS);
  std::printf("write:    %.1f MB in %.3f s = %.1f MB/s (tree %.3f s, file %.3f s)\n", FileMb, WriteS, FileMb / WriteS,
              BuildNs / 1e9, SaveNs / 1e9);
  std::printf("total:    %.3f s load and write (target < 3 s)\n", LoadS + WriteS);
  std::printf("memory:   %.0f MB peak resident (target < 1024 MB)\n", PeakMb);
  if (LintRan)
    std::printf("xmllint --format: %.3f s; our write / xmllint = %.2f (target <= 1)\n", LintS, WriteS / LintS);
  else
    std::printf("xmllint --format did not run: %s\n", qPrintable(Lint.errorString()));
  return 0;
}
