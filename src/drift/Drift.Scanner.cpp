// Reads two snapshot files side by side for drift: each kind's elements as far as a scan has
// got, without loading either whole.
#include "drift/Drift.Scanner.h"

#include "infra/platform/Support.Exceptions.h"

#include <QFileInfo>

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <bitset>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

// Whether AChar may stand in XML text (the document's characters, not markup).
bool IsXmlChar(char32_t AChar) {
  return AChar == 0x9 || AChar == 0xA || AChar == 0xD || (AChar >= 0x20 && AChar <= 0xD7FF) ||
         (AChar >= 0xE000 && AChar <= 0xFFFD) || (AChar >= 0x10000 && AChar <= 0x10FFFF);
}

bool IsSpace(char AChar) { return AChar == ' ' || AChar == '\n' || AChar == '\r' || AChar == '\t'; }

// ASCII only, and no namespace prefix: a name with anything else makes the scanner give up.
bool IsNameChar(char AChar) {
  static const std::array<bool, 256> Table = [] {
    std::array<bool, 256> Chars{};
    for (int C = 0; C < 128; ++C)
      Chars[C] = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-' ||
                 C == '.';
    return Chars;
  }();
  return Table[static_cast<unsigned char>(AChar)];
}

// Which of the ACount (at most 16) bytes at ABytes character data cannot take as they are, as a
// bit mask: markup ("<", ">" and "&"), a control character other than white space, a byte of
// a multi-byte character, or ATerminator. Almost every byte of a snapshot is plain text, so
// sixteen are looked at at a time where the processor can.
unsigned SpecialBytes(const char* ABytes, qsizetype ACount, char ATerminator) {
#if defined(__SSE2__)
  if (ACount == 16) {
    const __m128i Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ABytes));
    const auto Is = [&Bytes](char AByte) { return _mm_cmpeq_epi8(Bytes, _mm_set1_epi8(AByte)); };
    const __m128i WhiteSpace = _mm_or_si128(_mm_or_si128(Is('\t'), Is('\n')), Is('\r'));
    const __m128i Markup = _mm_or_si128(_mm_or_si128(Is('<'), Is('>')), _mm_or_si128(Is('&'), Is(ATerminator)));
    // Compared as signed bytes, those from 0x80 on are below 0x20 as well.
    const __m128i Control = _mm_cmplt_epi8(Bytes, _mm_set1_epi8(0x20));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(WhiteSpace, Control), Markup)));
  }
#endif
  static const std::array<bool, 256> Plain = [] {
    std::array<bool, 256> Table{};
    for (int C = 0x20; C < 0x80; ++C)
      Table[C] = C != '<' && C != '&' && C != '>';
    Table['\t'] = Table['\n'] = Table['\r'] = true;
    return Table;
  }();
  unsigned Mask = 0;
  for (qsizetype At = 0; At < ACount; ++At)
    if (!Plain[static_cast<unsigned char>(ABytes[At])] || ABytes[At] == ATerminator)
      Mask |= 1u << At;
  return Mask;
}

// A reader of one snapshot, a step at a time: a container's start tag, then its children one
// by one up to its end tag. Every step checks what it passes over.
class TSnapshotScanner {
public:
  enum class TStep { Failed, Item, End };

  explicit TSnapshotScanner(QByteArrayView AData) : FData(AData) {}

  QByteArrayView Data() const { return FData; }
  // More of the same file: the bytes read so far, and some after them.
  void SetData(QByteArrayView AData) { FData = AData; }
  // The values of these attributes are noted as start tags are read (null: none).
  void Watch(const std::vector<QByteArrayView>* ANames) {
    FWatched = ANames;
    FWatchedValues.assign(ANames ? ANames->size() : 0, QByteArrayView());
  }
  // What the last start tag held of the watched attributes, empty for those it lacked.
  const std::vector<QByteArrayView>& WatchedValues() const { return FWatchedValues; }
  qsizetype At() const { return FAt; }
  void SetAt(qsizetype AAt) { FAt = AAt; }

  // The XML declaration, if any, and the root's start tag, which ARootTag ends with; End for
  // an empty root with only white space after it.
  TStep Header(QByteArrayView& ARootTag) {
    if (FData.startsWith("<?xml")) {
      const qsizetype End = FData.indexOf("?>");
      if (End < 0)
        return TStep::Failed;
      const QByteArrayView Declaration = FData.first(End);
      const qsizetype Encoding = Declaration.indexOf("encoding");
      if (Encoding >= 0 && !Declaration.sliced(Encoding).contains("UTF-8") &&
          !Declaration.sliced(Encoding).contains("utf-8"))
        return TStep::Failed;
      FAt = End + 2;
    }
    SkipSpace();
    QByteArrayView RootName;
    bool RootEmpty = false;
    if (!StartTag(RootName, RootEmpty) || RootName != "Database")
      return TStep::Failed;
    ARootTag = FData.first(FAt);
    if (!RootEmpty)
      return TStep::Item;
    return AtEnd() ? TStep::End : TStep::Failed;
  }

  // Between the root's children: a container's start tag, or the root's end tag and only
  // white space after it.
  TStep NextContainer(QByteArrayView& AName, bool& AEmpty) {
    SkipSpace();
    if (FData.sliced(FAt).startsWith("</"))
      return EndTag("Database") && AtEnd() ? TStep::End : TStep::Failed;
    return StartTag(AName, AEmpty) ? TStep::Item : TStep::Failed;
  }

  // Within a container: the next child with its name (AElement from its "<" to the end of its
  // end tag), or the container's end tag.
  TStep NextChild(QByteArrayView AContainer, QByteArrayView& AElement, QByteArrayView& AName) {
    SkipSpace();
    const qsizetype Start = FAt;
    if (FData.sliced(FAt).startsWith("</"))
      return EndTag(AContainer) ? TStep::End : TStep::Failed;
    bool Empty = false;
    if (!StartTag(AName, Empty) || (!Empty && !(Characters('<') && EndTag(AName))))
      return TStep::Failed;
    AElement = FData.sliced(Start, FAt - Start);
    return TStep::Item;
  }

private:
  void SkipSpace() {
    while (FAt < FData.size() && IsSpace(FData[FAt]))
      ++FAt;
  }
  bool AtEnd() {
    SkipSpace();
    return FAt == FData.size();
  }
  bool Name(QByteArrayView& AName) {
    const qsizetype Start = FAt;
    if (FAt >= FData.size() || !(std::isalpha(static_cast<unsigned char>(FData[FAt])) || FData[FAt] == '_'))
      return false;
    while (FAt < FData.size() && IsNameChar(FData[FAt]))
      ++FAt;
    AName = FData.sliced(Start, FAt - Start);
    return true;
  }
  // Reads "</name>" at the current position.
  bool EndTag(QByteArrayView AName) {
    if (!FData.sliced(FAt).startsWith("</") || !FData.sliced(FAt + 2).startsWith(AName))
      return false;
    FAt += 2 + AName.size();
    SkipSpace();
    if (FAt >= FData.size() || FData[FAt] != '>')
      return false;
    ++FAt;
    return true;
  }
  // Checks character data up to the next ATerminator, and leaves FAt on it: XML characters in
  // UTF-8, references the XML reader knows, no "<" and no "]]>".
  bool Characters(char ATerminator) {
    const char* Data = FData.data();
    while (FAt < FData.size()) {
      const qsizetype Block = FAt;
      const qsizetype Count = std::min<qsizetype>(16, FData.size() - Block);
      for (unsigned Special = SpecialBytes(Data + Block, Count, ATerminator); Special != 0; Special &= Special - 1) {
        const qsizetype At = Block + std::countr_zero(Special);
        // A later byte of the reference or character just read.
        if (At < FAt)
          continue;
        FAt = At;
        const auto C = static_cast<unsigned char>(Data[FAt]);
        if (C == static_cast<unsigned char>(ATerminator))
          return true;
        if (C == '<' || C < 0x20)
          return false;
        if (C == '>') {
          if (FAt >= 2 && Data[FAt - 1] == ']' && Data[FAt - 2] == ']')
            return false;
        } else if (C == '&') {
          if (!Reference())
            return false;
        } else if (FAt + 1 < FData.size() && TwoByteCharacter(Data + FAt)) {
          ++FAt;
        } else if (!Utf8Character()) {
          return false;
        }
        ++FAt;
      }
      FAt = std::max(FAt, Block + Count);
    }
    return false;
  }
  // Two bytes that are a character from U+0080 to U+07FF, all of which XML allows.
  static bool TwoByteCharacter(const char* ABytes) {
    const auto Lead = static_cast<unsigned char>(ABytes[0]);
    return Lead >= 0xC2 && Lead <= 0xDF && (static_cast<unsigned char>(ABytes[1]) & 0xC0) == 0x80;
  }
  // "&name;" or "&#n;" / "&#xn;" at the current position; leaves FAt on the ";".
  bool Reference() {
    const QByteArrayView Rest = FData.sliced(FAt + 1);
    // The writer's own, by far the most frequent: line ends and markup characters in texts.
    if (Rest.size() >= 4) {
      const char* At = Rest.data();
      if (std::memcmp(At, "#xd;", 4) == 0 || std::memcmp(At, "amp;", 4) == 0) {
        FAt += 4;
        return true;
      }
      if ((At[0] == 'l' || At[0] == 'g') && At[1] == 't' && At[2] == ';') {
        FAt += 3;
        return true;
      }
    }
    const qsizetype Semicolon = Rest.first(std::min<qsizetype>(Rest.size(), 12)).indexOf(';');
    if (Semicolon < 1)
      return false;
    const QByteArrayView Name = Rest.first(Semicolon);
    FAt += Semicolon + 1;
    if (Name == "lt" || Name == "gt" || Name == "amp" || Name == "quot" || Name == "apos")
      return true;
    if (Name[0] != '#' || Name.size() < 2)
      return false;
    const bool Hex = Name[1] == 'x';
    const QByteArrayView Digits = Name.sliced(Hex ? 2 : 1);
    char32_t Char = 0;
    for (const char Digit : Digits) {
      const int Value = std::isdigit(static_cast<unsigned char>(Digit)) ? Digit - '0'
                        : Hex && std::isxdigit(static_cast<unsigned char>(Digit))
                            ? std::tolower(static_cast<unsigned char>(Digit)) - 'a' + 10
                            : -1;
      if (Value < 0)
        return false;
      Char = Char * (Hex ? 16 : 10) + static_cast<char32_t>(Value);
      if (Char > 0x10FFFF)
        return false;
    }
    return !Digits.isEmpty() && IsXmlChar(Char);
  }
  // One UTF-8 encoded XML character at the current position; leaves FAt on its last byte.
  bool Utf8Character() {
    const auto Lead = static_cast<unsigned char>(FData[FAt]);
    const int Length = Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC2 ? 2 : 0;
    if (Length == 0 || Lead > 0xF4 || FAt + Length > FData.size())
      return false;
    char32_t Char = Lead & (0x7F >> Length);
    for (int Byte = 1; Byte < Length; ++Byte) {
      const auto Next = static_cast<unsigned char>(FData[FAt + Byte]);
      if ((Next & 0xC0) != 0x80)
        return false;
      Char = (Char << 6) | (Next & 0x3F);
    }
    static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    FAt += Length - 1;
    return Char >= Least[Length] && IsXmlChar(Char);
  }
  // Reads "<name attributes>" or "<name attributes/>" at the current position.
  bool StartTag(QByteArrayView& AName, bool& AEmpty) {
    if (FAt >= FData.size() || FData[FAt] != '<')
      return false;
    ++FAt;
    if (!Name(AName))
      return false;
    std::fill(FWatchedValues.begin(), FWatchedValues.end(), QByteArrayView());
    std::array<QByteArrayView, 32> Attributes;
    std::size_t Count = 0;
    while (true) {
      const qsizetype Before = FAt;
      SkipSpace();
      if (FAt >= FData.size())
        return false;
      if (FData[FAt] == '>' || FData.sliced(FAt).startsWith("/>")) {
        AEmpty = FData[FAt] == '/';
        FAt += AEmpty ? 2 : 1;
        return true;
      }
      QByteArrayView Attribute;
      if (FAt == Before || Count == Attributes.size() || !Name(Attribute))
        return false;
      for (std::size_t Other = 0; Other < Count; ++Other)
        if (Attributes[Other] == Attribute)
          return false;
      Attributes[Count++] = Attribute;
      SkipSpace();
      if (FAt >= FData.size() || FData[FAt] != '=')
        return false;
      ++FAt;
      SkipSpace();
      if (FAt >= FData.size() || (FData[FAt] != '"' && FData[FAt] != '\''))
        return false;
      const char Quote = FData[FAt++];
      const qsizetype Value = FAt;
      if (!Characters(Quote))
        return false;
      if (FWatched)
        for (std::size_t Watched = 0; Watched < FWatched->size(); ++Watched)
          if ((*FWatched)[Watched] == Attribute)
            FWatchedValues[Watched] = FData.sliced(Value, FAt - Value);
      ++FAt;
    }
  }

  QByteArrayView FData;
  qsizetype FAt = 0;
  const std::vector<QByteArrayView>* FWatched = nullptr;
  std::vector<QByteArrayView> FWatchedValues;
};

using TStep = TSnapshotScanner::TStep;

std::string_view AsStringView(QByteArrayView ABytes) {
  return {ABytes.data(), static_cast<std::size_t>(ABytes.size())};
}

struct TContainer {
  QByteArrayView Name;
  bool Empty = false;
  // The kind whose elements it holds; -1 for a container of no kind, whose children are
  // checked and left out.
  int Kind = -1;
};

// Scans both files container by container. Two snapshots of one schema hold the same
// containers in the same order, and most elements in the same order too: within a container
// the scan of the baseline goes first, and as long as the target holds the same bytes next,
// they are not looked at again. Where the two part, each file is scanned on its own element
// by element, until the newest element of one turns up among those the other was scanned
// ahead by: there the two are in step again (the file that was ahead goes back to just after
// that element; what it was ahead by is scanned again).
class TPairScan {
public:
  TPairScan(TSnapshotFile& ABaseline, TSnapshotFile& ATarget, const std::array<TSnapshotKindNames, DriftKindCount>& AKinds,
            std::array<TScannedSnapshot, 2>& AScanned)
      : FFiles{&ABaseline, &ATarget}, FScanners{TSnapshotScanner(ABaseline.Bytes()), TSnapshotScanner(ATarget.Bytes())},
        FKinds(AKinds), FScanned(AScanned) {}

  bool Run() {
    std::array<bool, 2> Done{};
    for (std::size_t Side = 0; Side < 2; ++Side) {
      const TStep Step = Take(Side, [&] { return FScanners[Side].Header(FScanned[Side].RootTag); });
      if (Step == TStep::Failed)
        return false;
      Done[Side] = Step == TStep::End;
    }
    while (!Done[0] || !Done[1]) {
      std::array<TContainer, 2> Containers;
      std::array<bool, 2> Opened{};
      for (std::size_t Side = 0; Side < 2; ++Side) {
        if (Done[Side])
          continue;
        const TStep Step =
            Take(Side, [&] { return FScanners[Side].NextContainer(Containers[Side].Name, Containers[Side].Empty); });
        if (Step == TStep::Failed || (Step == TStep::Item && !Open(Side, Containers[Side])))
          return false;
        Done[Side] = Step == TStep::End;
        Opened[Side] = Step == TStep::Item;
      }
      Watch(Containers);
      if (Opened[0] && Opened[1] && Containers[0].Name == Containers[1].Name) {
        if (!PairChildren(Containers))
          return false;
        continue;
      }
      for (std::size_t Side = 0; Side < 2; ++Side)
        if (Opened[Side] && !Alone(Side, Containers[Side]))
          return false;
    }
    return true;
  }

private:
  struct TPending {
    QByteArrayView Element;
    QByteArrayView Name;
    // Where the scanner stands after the element.
    qsizetype After;
  };
  // What one file was read ahead by since the two were last in step, and where in it the bytes
  // of each element are first.
  struct TAhead {
    std::vector<TPending> Elements;
    std::unordered_map<std::string_view, std::size_t> Where;

    void Add(const TPending& AChild) {
      Where.emplace(AsStringView(AChild.Element), Elements.size());
      Elements.push_back(AChild);
    }
    void Clear() {
      Elements.clear();
      Where.clear();
    }
  };
  // How far one file is scanned ahead of the other before the two are given up as in step
  // again; what they hold is then paired, if at all, by the comparison of what is left. A block
  // of added or removed objects up to this long is stepped over.
  static constexpr std::size_t LookAhead = 1024;

  // Takes a step of one scanner, again with more of its file for as long as the file may hold
  // what the step lacked. A start or end tag is read as it is, whatever follows it; only the end
  // of the document needs the whole file.
  template <class TStepFunction>
  TStep Take(std::size_t ASide, TStepFunction AStep, bool AEndOfDocument = true) {
    TSnapshotScanner& Scanner = FScanners[ASide];
    TSnapshotFile& File = *FFiles[ASide];
    const qsizetype Start = Scanner.At();
    while (true) {
      const TStep Step = AStep();
      if (Step == TStep::Item || (Step == TStep::End && !AEndOfDocument) || File.Complete())
        return Step;
      const qsizetype Read = Scanner.Data().size();
      File.ReadUpTo(Step == TStep::End ? std::numeric_limits<qsizetype>::max()
                                       : Read + std::max(TSnapshotFile::Chunk, Read - Start));
      Scanner.SetData(File.Bytes());
      Scanner.SetAt(Start);
    }
  }

  TStep NextChild(std::size_t ASide, QByteArrayView AContainer, QByteArrayView& AElement, QByteArrayView& AName) {
    return Take(ASide, [&] { return FScanners[ASide].NextChild(AContainer, AElement, AName); }, false);
  }

  // Whether the target holds these bytes at AAt, reading on as far as they would reach.
  bool TargetHolds(qsizetype AAt, QByteArrayView ABytes) {
    TSnapshotFile& File = *FFiles[1];
    if (File.Bytes().size() < AAt + ABytes.size()) {
      File.ReadUpTo(AAt + ABytes.size());
      FScanners[1].SetData(File.Bytes());
    }
    return File.Bytes().sliced(AAt).startsWith(ABytes);
  }

  bool Open(std::size_t ASide, TContainer& AContainer) {
    for (std::size_t Kind = 0; Kind < DriftKindCount; ++Kind)
      if (AContainer.Name == FKinds[Kind].Container)
        AContainer.Kind = static_cast<int>(Kind);
    // The whole reading takes a kind's first container only.
    if (AContainer.Kind < 0)
      return true;
    if (FSeen[ASide].test(static_cast<std::size_t>(AContainer.Kind)))
      return false;
    FSeen[ASide].set(static_cast<std::size_t>(AContainer.Kind));
    return true;
  }

  // Called for every element a scanner reads, before it is kept as paired or unpaired.
  void NoteRefusable(std::size_t ASide, int AKind, QByteArrayView AName, QByteArrayView AElement) {
    if (AKind < 0 || AName != FKinds[static_cast<std::size_t>(AKind)].Element)
      return;
    const std::vector<QByteArrayView>& Values = FScanners[ASide].WatchedValues();
    if (Values.empty())
      return;
    FCombination.clear();
    for (QByteArrayView Value : Values)
      FCombination.append(Value.data(), static_cast<std::size_t>(Value.size())).push_back('\0');
    if (FCombinations[static_cast<std::size_t>(AKind)].insert(FCombination).second)
      FScanned[ASide].Distinct[static_cast<std::size_t>(AKind)].push_back(AElement);
  }

  void Watch(const std::array<TContainer, 2>& AContainers) {
    for (std::size_t Side = 0; Side < 2; ++Side) {
      const int Kind = AContainers[Side].Kind;
      FScanners[Side].Watch(Kind < 0 ? nullptr : FKinds[static_cast<std::size_t>(Kind)].Refusable);
    }
  }

  void Keep(std::size_t ASide, int AKind, QByteArrayView AName, QByteArrayView AElement, bool APaired) {
    if (AKind < 0 || AName != FKinds[static_cast<std::size_t>(AKind)].Element)
      return;
    FScanned[ASide].Elements[static_cast<std::size_t>(AKind)].push_back(AElement);
    if (!APaired)
      FScanned[ASide].Unpaired[static_cast<std::size_t>(AKind)].push_back(AElement);
  }

  // The children of a container that only one file holds (or holds where the other does not).
  bool Alone(std::size_t ASide, const TContainer& AContainer) {
    if (AContainer.Empty)
      return true;
    while (true) {
      QByteArrayView Element;
      QByteArrayView Name;
      const TStep Step = NextChild(ASide, AContainer.Name, Element, Name);
      if (Step != TStep::Item)
        return Step == TStep::End;
      NoteRefusable(ASide, AContainer.Kind, Name, Element);
      Keep(ASide, AContainer.Kind, Name, Element, false);
    }
  }

  bool PairChildren(const std::array<TContainer, 2>& AContainers) {
    const int Kind = AContainers[0].Kind;
    TSnapshotScanner& Baseline = FScanners[0];
    TSnapshotScanner& Target = FScanners[1];
    std::array<bool, 2> Ended{AContainers[0].Empty, AContainers[1].Empty};
    std::array<TAhead, 2> Ahead;
    const auto KeepUnpaired = [&](std::size_t ASide, std::size_t ACount) {
      for (std::size_t At = 0; At < ACount; ++At)
        Keep(ASide, Kind, Ahead[ASide].Elements[At].Name, Ahead[ASide].Elements[At].Element, false);
    };
    const auto InStep = [&] { return Ahead[0].Elements.empty() && Ahead[1].Elements.empty(); };
    // Reads the next child of one file on its own.
    const auto StepAlone = [&](std::size_t ASide) {
      TPending Child{};
      const TStep Next = NextChild(ASide, AContainers[ASide].Name, Child.Element, Child.Name);
      Child.After = FScanners[ASide].At();
      if (Next == TStep::Item) {
        NoteRefusable(ASide, Kind, Child.Name, Child.Element);
        Ahead[ASide].Add(Child);
      }
      Ended[ASide] = Next == TStep::End;
      return Next != TStep::Failed;
    };
    // The newest child of one file among those the other is ahead by: the two are in step again
    // after it.
    const auto Resync = [&] {
      for (std::size_t Side = 0; Side < 2; ++Side) {
        const std::size_t Other = 1 - Side;
        if (Ahead[Side].Elements.empty())
          continue;
        const TPending Newest = Ahead[Side].Elements.back();
        const auto Found = Ahead[Other].Where.find(AsStringView(Newest.Element));
        if (Found == Ahead[Other].Where.end())
          continue;
        const TPending Match = Ahead[Other].Elements[Found->second];
        KeepUnpaired(Other, Found->second);
        Keep(Other, Kind, Match.Name, Match.Element, true);
        FScanners[Other].SetAt(Match.After);
        Ended[Other] = false;
        KeepUnpaired(Side, Ahead[Side].Elements.size() - 1);
        Keep(Side, Kind, Newest.Name, Newest.Element, true);
        Ahead[0].Clear();
        Ahead[1].Clear();
        return;
      }
    };
    while (!Ended[0] || !Ended[1]) {
      bool BaselineStepped = false;
      if (InStep() && !Ended[0] && !Ended[1]) {
        const qsizetype BaselineStart = Baseline.At();
        const qsizetype TargetStart = Target.At();
        QByteArrayView Element;
        QByteArrayView Name;
        const TStep Next = NextChild(0, AContainers[0].Name, Element, Name);
        if (Next == TStep::Failed)
          return false;
        if (Next == TStep::Item)
          NoteRefusable(0, Kind, Name, Element);
        const qsizetype Length = Baseline.At() - BaselineStart;
        if (TargetHolds(TargetStart, Baseline.Data().sliced(BaselineStart, Length))) {
          // The same bytes in the same place: the target's scan would find just what the
          // baseline's found.
          Target.SetAt(TargetStart + Length);
          if (Next == TStep::End)
            return true;
          Keep(0, Kind, Name, Element, true);
          Keep(1, Kind, Name, Target.Data().sliced(TargetStart + (Element.data() - Baseline.Data().data()) - BaselineStart,
                                                   Element.size()),
               true);
          continue;
        }
        if (Next == TStep::Item)
          Ahead[0].Add({Element, Name, Baseline.At()});
        Ended[0] = Next == TStep::End;
        BaselineStepped = true;
      }
      if (!BaselineStepped && !Ended[0] && !StepAlone(0))
        return false;
      if (!Ended[1] && !StepAlone(1))
        return false;
      Resync();
      if (Ahead[0].Elements.size() > LookAhead || Ahead[1].Elements.size() > LookAhead) {
        KeepUnpaired(0, Ahead[0].Elements.size());
        KeepUnpaired(1, Ahead[1].Elements.size());
        Ahead[0].Clear();
        Ahead[1].Clear();
      }
    }
    KeepUnpaired(0, Ahead[0].Elements.size());
    KeepUnpaired(1, Ahead[1].Elements.size());
    return true;
  }

  std::array<TSnapshotFile*, 2> FFiles;
  std::array<TSnapshotScanner, 2> FScanners;
  const std::array<TSnapshotKindNames, DriftKindCount>& FKinds;
  std::array<TScannedSnapshot, 2>& FScanned;
  std::array<std::bitset<DriftKindCount>, 2> FSeen;
  std::array<std::unordered_set<std::string>, DriftKindCount> FCombinations;
  std::string FCombination;
};

}  // namespace

TSnapshotFile::TSnapshotFile(const QString& AFileName) : FFile(AFileName) {
  if (!FFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
    Fail();
  if (!FFile.isSequential() && FFile.size() > 0) {
    // Room for one byte more than the file holds: reading it tells that the file grew.
    Reserve(static_cast<std::size_t>(FFile.size()) + 1);
    return;
  }
  // A pipe, or a file that tells no size: read whole now, making room as it comes.
  Reserve(Chunk);
  while (!FComplete) {
    ReadUpTo(static_cast<qsizetype>(FCapacity));
    if (FOverflowed) {
      FOverflowed = FComplete = false;
      Reserve(FCapacity * 2);
    }
  }
}

void TSnapshotFile::ReadUpTo(qsizetype AEnd) {
  while (!FComplete && FSize < AEnd) {
    const qint64 Room = static_cast<qint64>(FCapacity) - FSize;
    const qint64 Read = FFile.read(FData.get() + FSize, std::min<qint64>(std::max(AEnd - FSize, Chunk), Room));
    if (Read < 0)
      Fail();
    FSize += Read;
    FOverflowed = Read == Room;
    FComplete = Read == 0 || FOverflowed;
  }
  if (FComplete && !FOverflowed)
    FFile.close();
}

void TSnapshotFile::Fail() const {
  throw Exception(QStringLiteral("cannot read %1: %2").arg(QFileInfo(FFile.fileName()).fileName(), FFile.errorString()));
}

void TSnapshotFile::Reserve(std::size_t ACapacity) {
  // Taking tens of megabytes a 4 KB page at a time costs about as much as copying them in:
  // the memory is asked to be backed by huge pages.
  constexpr std::size_t HugePage = std::size_t(2) << 20;
  const std::size_t Alignment = ACapacity >= HugePage ? HugePage : 64;
  const std::size_t Capacity = (ACapacity + Alignment - 1) / Alignment * Alignment;
  std::unique_ptr<char, TFree> Data(static_cast<char*>(std::aligned_alloc(Alignment, Capacity)));
  if (!Data)
    throw std::bad_alloc();
  if (Alignment == HugePage)
    madvise(Data.get(), Capacity, MADV_HUGEPAGE);
  if (FSize > 0)
    std::memcpy(Data.get(), FData.get(), static_cast<std::size_t>(FSize));
  FData = std::move(Data);
  FCapacity = Capacity;
}

void TSnapshotFile::TFree::operator()(char* AData) const { std::free(AData); }

bool ScanSnapshotPair(TSnapshotFile& ABaseline, TSnapshotFile& ATarget,
                      const std::array<TSnapshotKindNames, DriftKindCount>& AKinds,
                      std::array<TScannedSnapshot, 2>& AScanned) {
  return TPairScan(ABaseline, ATarget, AKinds, AScanned).Run() && !ABaseline.Overflowed() && !ATarget.Overflowed();
}

}  // namespace quillon
