// Times SetLeft, SetRight and Compare of the diff grid on the texts of two files, offscreen.
// Prints "<milliseconds> <rows> <paint milliseconds> <milliseconds without marks>" for the
// best of five rounds; painting the visible rows, which the event loop does afterwards, is timed
// on its own, and the last figure is the same fill with the changed characters left unmarked.
#include "gui/Component.DiffGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace {

QString ReadText(const char* AFileName) {
  QFile File(QString::fromLocal8Bit(AFileName));
  if (!File.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "bench_diffgrid: cannot read %s\n", AFileName);
    std::exit(2);
  }
  return QString::fromUtf8(File.readAll());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_diffgrid FILE1 FILE2\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication Application(argc, argv);
  const QString Left = ReadText(argv[1]);
  const QString Right = ReadText(argv[2]);
  quillon::TDiffGrid Grid;
  Grid.resize(1000, 700);
  Grid.show();
  double Best = 1e9;
  double BestPaint = 1e9;
  double BestUnmarked = 1e9;
  for (int Round = 0; Round < 10; ++Round) {
    const bool Marked = Round % 2 == 0;
    Grid.SetMarkChangedCharacters(Marked);
    QElapsedTimer Timer;
    Timer.start();
    Grid.SetLeft(Left);
    Grid.SetRight(Right);
    Grid.Compare();
    const double Fill = static_cast<double>(Timer.nsecsElapsed()) / 1e6;
    double& BestOfKind = Marked ? Best : BestUnmarked;
    BestOfKind = std::min(BestOfKind, Fill);
    if (!Marked)
      continue;
    Timer.restart();
    Grid.grab();
    BestPaint = std::min(BestPaint, static_cast<double>(Timer.nsecsElapsed()) / 1e6);
  }
  std::printf("%.1f %d %.1f %.1f\n", Best, Grid.RowCount(), BestPaint, BestUnmarked);
  return 0;
}
