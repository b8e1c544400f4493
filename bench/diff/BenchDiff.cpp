// Reads two text files, hashes their lines with LineHash and diffs the hashes with TDiff.
// Prints one line: "<milliseconds> <edits> <matches> <adds> <deletes> <modifies>", where
// edits = adds + deletes + 2 * modifies (a modification is a deletion plus an addition),
// and the time covers reading, hashing and diffing.
#include "diff/Diff.h"
#include "diff/HashUnit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Reads the file as it comes: blocks of whole lines are decoded from UTF-8 into one reused
// buffer and each line is hashed from there, so no copy of the whole text is ever made.
std::vector<qint32> HashLines(const char* AFileName) {
  QFile File(QString::fromLocal8Bit(AFileName));
  if (!File.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "bench_diff: cannot read %s\n", AFileName);
    std::exit(2);
  }
  const QByteArray Bytes = File.readAll();
  const char* const End = Bytes.constData() + Bytes.size();
  constexpr qsizetype BlockSize = 1 << 16;
  QStringDecoder Utf8(QStringConverter::Utf8);
  std::vector<QChar> Buffer;
  std::vector<qint32> Hashes;
  for (const char* Block = Bytes.constData(); Block < End;) {
    const char* BlockEnd = End - Block > BlockSize ? Block + BlockSize : End;
    if (BlockEnd < End) {
      // A block ends after a line break; a line longer than a block makes a longer block.
      const void* Break = memrchr(Block, '\n', static_cast<size_t>(BlockEnd - Block));
      if (Break == nullptr)
        Break = std::memchr(BlockEnd, '\n', static_cast<size_t>(End - BlockEnd));
      BlockEnd = Break != nullptr ? static_cast<const char*>(Break) + 1 : End;
    }
    Buffer.resize(std::max(Buffer.size(), static_cast<size_t>(BlockEnd - Block)));
    const QStringView Text(Buffer.data(), Utf8.appendToBuffer(Buffer.data(), QByteArrayView(Block, BlockEnd - Block)));
    for (qsizetype Start = 0; Start < Text.size();) {
      qsizetype Stop = Text.indexOf(u'\n', Start);
      if (Stop < 0)
        Stop = Text.size();
      // A line borrowed from the buffer: hashing needs no copy of it.
      Hashes.push_back(static_cast<qint32>(
          quillon::LineHash(QString::fromRawData(Text.data() + Start, Stop - Start), false, false)));
      Start = Stop + 1;
    }
    Block = BlockEnd;
  }
  return Hashes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_diff FILE1 FILE2\n");
    return 2;
  }
  QElapsedTimer Timer;
  Timer.start();
  const std::vector<qint32> Left = HashLines(argv[1]);
  const std::vector<qint32> Right = HashLines(argv[2]);
  quillon::TDiff Diff;
  Diff.Execute(Left.data(), Right.data(), static_cast<qint32>(Left.size()), static_cast<qint32>(Right.size()));
  const double Milliseconds = static_cast<double>(Timer.nsecsElapsed()) / 1e6;
  const quillon::TDiffStats S = Diff.DiffStats();
  std::printf("%.1f %d %d %d %d %d\n", Milliseconds, S.adds + S.deletes + 2 * S.modifies, S.matches, S.adds,
              S.deletes, S.modifies);
  return 0;
}
