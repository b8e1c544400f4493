// Reads two text files, hashes their lines with LineCrc32 and diffs the hashes with TDiff.
// Prints one line: "<milliseconds> <edits> <matches> <adds> <deletes> <modifies>", where
// edits = adds + deletes + 2 * modifies (a modification is a deletion plus an addition),
// and the time covers reading, hashing and diffing.
// The program is built from the engine's and the byte hash's own sources and loads no Qt
// library, so that on small files it is timed like a plain command-line tool. A file's lines
// end at line feeds only (a carriage return stays in its line, and a final line feed starts
// no empty line), and each line's bytes are hashed as read with LineCrc32: for UTF-8 text
// that is LineHash with both its options off, so lines compare exactly as GNU diff compares
// them by default, while the diff grid by default ignores case, spaces and tabs.
#include "diff/Diff.h"
#include "diff/HashUnit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace quillon::diff_failure {

// The engine's failures end the run; no benchmark input is meant to reach them.
[[noreturn]] static void Fail(const char* AWhat) {
  std::fprintf(stderr, "bench_diff: %s\n", AWhat);
  std::exit(2);
}

void SearchFailed(bool) {
  Fail("the search failed");
}

void LengthsOutOfRange(qint32, qint32, qint32) {
  Fail("a file has too many lines");
}

void IndexOutOfBounds(qint32) {
  Fail("record index out of bounds");
}

void AssertionFailed() {
  Fail("assertion failed");
}

}  // namespace quillon::diff_failure

namespace {

// The file's bytes in a buffer that is not zeroed first: the read fills it.
std::pair<std::unique_ptr<char[]>, size_t> ReadFile(const char* AFileName) {
  std::FILE* File = std::fopen(AFileName, "rb");
  if (File == nullptr) {
    std::fprintf(stderr, "bench_diff: cannot read %s\n", AFileName);
    std::exit(2);
  }
  std::fseek(File, 0, SEEK_END);
  const auto Size = static_cast<size_t>(std::max(std::ftell(File), 0L));
  std::fseek(File, 0, SEEK_SET);
  auto Bytes = std::make_unique_for_overwrite<char[]>(Size);
  const size_t Read = std::fread(Bytes.get(), 1, Size, File);
  std::fclose(File);
  return {std::move(Bytes), Read};
}

// One hash per line; a final line break ends the last line rather than starting an empty one.
std::vector<qint32> HashLines(const char* AFileName) {
  const auto [Bytes, Size] = ReadFile(AFileName);
  const char* P = Bytes.get();
  const char* const End = P + Size;
  std::vector<qint32> Hashes;
  while (P < End) {
    const void* Break = std::memchr(P, '\n', static_cast<size_t>(End - P));
    const char* Stop = Break != nullptr ? static_cast<const char*>(Break) : End;
    Hashes.push_back(static_cast<qint32>(quillon::LineCrc32(P, static_cast<size_t>(Stop - P))));
    P = Stop + 1;
  }
  return Hashes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_diff FILE1 FILE2\n");
    return 2;
  }
  const auto Start = std::chrono::steady_clock::now();
  const std::vector<qint32> Left = HashLines(argv[1]);
  const std::vector<qint32> Right = HashLines(argv[2]);
  quillon::TDiff Diff;
  Diff.Execute(Left.data(), Right.data(), static_cast<qint32>(Left.size()), static_cast<qint32>(Right.size()));
  const double Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
  const quillon::TDiffStats S = Diff.DiffStats();
  std::printf("%.1f %d %d %d %d %d\n", Milliseconds, S.adds + S.deletes + 2 * S.modifies, S.matches, S.adds,
              S.deletes, S.modifies);
  return 0;
}
