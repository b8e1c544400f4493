// Reads two snapshot files side by side for drift: each kind's elements as far as a scan has
// got, without loading either whole.
#pragma once

#include "drift/Drift.Side.h"

#include <QByteArrayView>
#include <QFile>

#include <array>
#include <memory>
#include <vector>

namespace quillon {

// A snapshot file, read as far as its scan has got: bytes scanned right after they are read
// are still in the processor's caches, where a file read whole first would come back from
// memory. Bytes once read never move.
class TSnapshotFile {
public:
  // How much more is read when the scan needs more.
  static constexpr qsizetype Chunk = qsizetype(1) << 18;

  // Raises Exception ("cannot read NAME: why") when the file cannot be opened.
  explicit TSnapshotFile(const QString& AFileName);

  QByteArrayView Bytes() const { return {FData.get(), FSize}; }
  // All of the file is read.
  bool Complete() const { return FComplete; }
  // The file grew while it was read, beyond the room made for it: what was read is not all.
  bool Overflowed() const { return FOverflowed; }
  // Reads on until AEnd bytes are read or the file ends.
  void ReadUpTo(qsizetype AEnd);

private:
  [[noreturn]] void Fail() const;
  void Reserve(std::size_t ACapacity);

  struct TFree {
    void operator()(char* AData) const;
  };
  QFile FFile;
  std::unique_ptr<char, TFree> FData;
  std::size_t FCapacity = 0;
  qsizetype FSize = 0;
  bool FComplete = false;
  bool FOverflowed = false;
};

// The names a kind's container and elements have in a snapshot, and the attributes whose
// values the kind's parser may refuse (a well-formed element of the kind reads whatever the
// others hold).
struct TSnapshotKindNames {
  const char* Container;
  const char* Element;
  const std::vector<QByteArrayView>* Refusable;
};

// What a scan of two snapshots found in one of them.
struct TScannedSnapshot {
  // The document up to and with the root's start tag.
  QByteArrayView RootTag;
  // Every element of each kind, in file order.
  std::array<std::vector<QByteArrayView>, DriftKindCount> Elements;
  // The elements the scan did not pair, one with one, with a byte-for-byte copy it met in step
  // in the other file; some may still have a copy elsewhere in it.
  std::array<std::vector<QByteArrayView>, DriftKindCount> Unpaired;
  // For each combination of the refusable values of a kind, the first element of either file
  // found to hold it: parsing these tells whether any element is refused.
  std::array<std::vector<QByteArrayView>, DriftKindCount> Distinct;
};

// Scans two snapshots of the layout the snapshot writer produces (the root's start tag, then
// containers of object elements, nothing but white space between them), finding where each
// element begins and ends and checking as it goes that every element is well-formed UTF-8 XML,
// so that an element passed over unparsed cannot hide an error the XML reader would report.
// Where both files hold the same bytes, they are checked once. Returns false when either file
// holds what the scan does not follow or doubts (a comment, CDATA, a document type, nested
// elements, another encoding, a non-ASCII or prefixed name, a kind's second container).
// Reads the files on as far as the scan needs.
bool ScanSnapshotPair(TSnapshotFile& ABaseline, TSnapshotFile& ATarget,
                      const std::array<TSnapshotKindNames, DriftKindCount>& AKinds,
                      std::array<TScannedSnapshot, 2>& AScanned);

}  // namespace quillon
