// One INI file, read and written with the conventions of Windows private profiles.
#include "infra/settings/Support.IniFile.h"

#include "infra/text/Support.Format.h"
#include "infra/text/Support.LocaleFormat.h"

#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <sys/stat.h>

#include <vector>

namespace quillon {

namespace {

// A write waits this long for another process's write to the same file to finish.
constexpr int LockTimeoutMs = 2000;

const QByteArray Utf8ByteOrderMark("\xEF\xBB\xBF");

struct TLine {
  enum TKind { lkOther, lkSection, lkValue };
  QByteArray Raw;
  // The line's own terminator as read, so lines nobody changed are written back byte for byte;
  // empty for new lines and a last line without one.
  QByteArray Break;
  TKind Kind = lkOther;
  // The section's name, or the key, trimmed.
  QString Name;
  QString Value;
};

// The file's own byte-order mark is taken off before lines are split; one at the start of a
// line belongs to its text (a key may begin with U+FEFF), which the usual decoding would drop.
QString DecodeLine(const QByteArray& ARaw) {
  QStringDecoder Decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
  return Decoder.decode(ARaw);
}

TLine ParseLine(const QByteArray& ARaw) {
  TLine Line;
  Line.Raw = ARaw;
  const QString Text = Trim(DecodeLine(ARaw));
  if (Text.startsWith(u'[')) {
    const qsizetype Close = Text.indexOf(u']');
    Line.Kind = TLine::lkSection;
    Line.Name = Trim(Text.mid(1, Close < 0 ? -1 : Close - 1));
  } else if (!Text.startsWith(u';')) {
    const qsizetype Equals = Text.indexOf(u'=');
    if (Equals > 0) {
      Line.Kind = TLine::lkValue;
      Line.Name = Trim(Text.left(Equals));
      Line.Value = Trim(Text.mid(Equals + 1));
    }
  }
  return Line;
}

TLine MakeLine(const QString& AText) { return ParseLine(AText.toUtf8()); }

bool SameName(const QString& A, const QString& B) { return A.compare(B, Qt::CaseInsensitive) == 0; }

qsizetype FindSection(const std::vector<TLine>& ALines, const QString& ASection) {
  for (size_t I = 0; I < ALines.size(); ++I)
    if (ALines[I].Kind == TLine::lkSection && SameName(ALines[I].Name, ASection))
      return static_cast<qsizetype>(I);
  return -1;
}

// The line of the key within the section, or -1; ALastInSection receives the section's last
// value line (its header when it has none), where a new key goes.
qsizetype FindValue(const std::vector<TLine>& ALines, const QString& ASection, const QString& AKey,
                    qsizetype* ALastInSection = nullptr) {
  const qsizetype Section = FindSection(ALines, ASection);
  if (ALastInSection)
    *ALastInSection = Section;
  if (Section < 0)
    return -1;
  for (size_t I = Section + 1; I < ALines.size() && ALines[I].Kind != TLine::lkSection; ++I) {
    if (ALines[I].Kind != TLine::lkValue)
      continue;
    if (SameName(ALines[I].Name, AKey))
      return static_cast<qsizetype>(I);
    if (ALastInSection)
      *ALastInSection = static_cast<qsizetype>(I);
  }
  return -1;
}

void PutValue(std::vector<TLine>& ALines, const QString& ASection, const QString& AKey, const QString& AValue) {
  qsizetype LastInSection = -1;
  const qsizetype Existing = FindValue(ALines, ASection, AKey, &LastInSection);
  if (Existing >= 0) {
    const QByteArray Break = ALines[Existing].Break;
    ALines[Existing] = MakeLine(ALines[Existing].Name + u'=' + AValue);
    ALines[Existing].Break = Break;
    return;
  }
  const TLine Line = MakeLine(AKey + u'=' + AValue);
  if (LastInSection >= 0) {
    ALines.insert(ALines.begin() + LastInSection + 1, Line);
    return;
  }
  if (!ALines.empty() && !Trim(DecodeLine(ALines.back().Raw)).isEmpty())
    ALines.push_back(TLine());
  ALines.push_back(MakeLine(u'[' + ASection + u']'));
  ALines.push_back(Line);
}

bool HasLineBreak(const QString& S) { return S.contains(u'\n') || S.contains(u'\r'); }

bool Writable(const QString& ASection, const QString& AKey, const QString& AValue) {
  if (HasLineBreak(ASection) || HasLineBreak(AKey) || HasLineBreak(AValue) || ASection.contains(u']'))
    return false;
  const QString Key = Trim(AKey);
  return !Key.isEmpty() && !Key.contains(u'=') && !Key.startsWith(u'[') && !Key.startsWith(u';');
}

struct TFileStamp {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  timespec Modified{};
  timespec Changed{};

  bool operator==(const TFileStamp& B) const {
    return Exists == B.Exists && Device == B.Device && Inode == B.Inode && Size == B.Size &&
           Modified.tv_sec == B.Modified.tv_sec && Modified.tv_nsec == B.Modified.tv_nsec &&
           Changed.tv_sec == B.Changed.tv_sec && Changed.tv_nsec == B.Changed.tv_nsec;
  }
};

TFileStamp StampOf(const struct stat& AInfo) {
  TFileStamp Stamp;
  Stamp.Exists = true;
  Stamp.Device = AInfo.st_dev;
  Stamp.Inode = AInfo.st_ino;
  Stamp.Size = AInfo.st_size;
  Stamp.Modified = AInfo.st_mtim;
  Stamp.Changed = AInfo.st_ctim;
  return Stamp;
}

TFileStamp StampOfPath(const QString& AFileName) {
  struct stat Info {};
  return ::stat(QFile::encodeName(AFileName).constData(), &Info) == 0 ? StampOf(Info) : TFileStamp();
}

}  // namespace

struct TIniFile::TImpl {
  QString FileName;
  std::vector<TLine> Lines;
  TFileStamp Stamp;
  bool Loaded = false;
  // False while the file exists but cannot be read: writing it then would lose its contents.
  bool Readable = true;
  bool HasByteOrderMark = false;
  QByteArray LineBreak = "\n";

  void Refresh() {
    const TFileStamp Current = StampOfPath(FileName);
    if (Loaded && Current == Stamp)
      return;
    Reload(Current);
  }

  void Reload(const TFileStamp& APathStamp) {
    Lines.clear();
    HasByteOrderMark = false;
    LineBreak = "\n";
    Loaded = true;
    Stamp = APathStamp;
    Readable = !APathStamp.Exists;
    if (!APathStamp.Exists)
      return;
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
      return;
    // The stamp of what is actually read, in case the file was replaced since the look above.
    struct stat Info {};
    if (::fstat(File.handle(), &Info) == 0)
      Stamp = StampOf(Info);
    QByteArray Data = File.readAll();
    if (File.error() != QFileDevice::NoError)
      return;
    Readable = true;
    Parse(Data);
  }

  void Parse(QByteArray AData) {
    HasByteOrderMark = AData.startsWith(Utf8ByteOrderMark);
    if (HasByteOrderMark)
      AData.remove(0, Utf8ByteOrderMark.size());
    const qsizetype FirstBreak = AData.indexOf('\n');
    if (FirstBreak > 0 && AData.at(FirstBreak - 1) == '\r')
      LineBreak = "\r\n";
    qsizetype Start = 0;
    while (Start < AData.size()) {
      qsizetype End = AData.indexOf('\n', Start);
      const bool Terminated = End >= 0;
      if (!Terminated)
        End = AData.size();
      QByteArray Raw = AData.mid(Start, End - Start);
      QByteArray Break = Terminated ? QByteArray("\n") : QByteArray();
      // A carriage return without a line feed ends no line for the reader: on a last line it
      // stays in the text, and a line written after it gets a break of its own.
      if (Terminated && Raw.endsWith('\r')) {
        Raw.chop(1);
        Break.prepend('\r');
      }
      TLine Line = ParseLine(Raw);
      Line.Break = Break;
      Lines.push_back(std::move(Line));
      Start = End + 1;
    }
  }

  QByteArray Serialized(const std::vector<TLine>& ALines) const {
    QByteArray Data;
    if (HasByteOrderMark)
      Data.append(Utf8ByteOrderMark);
    for (const TLine& Line : ALines)
      Data.append(Line.Raw).append(Line.Break.isEmpty() ? LineBreak : Line.Break);
    return Data;
  }

  bool Save(const QByteArray& AData) {
    QSaveFile File(FileName);
    if (!File.open(QIODevice::WriteOnly))
      return false;
    File.write(AData);
    return File.commit();
  }

  const TLine* Find(const QString& ASection, const QString& AKey) {
    Refresh();
    const qsizetype Index = FindValue(Lines, Trim(ASection), Trim(AKey));
    return Index < 0 ? nullptr : &Lines[Index];
  }

  bool Write(const QString& ASection, const QString& AKey, const QString& AValue) {
    if (!Writable(ASection, AKey, AValue))
      return false;
    QLockFile Lock(FileName + QStringLiteral(".lock"));
    if (!Lock.tryLock(LockTimeoutMs))
      return false;
    Refresh();
    if (!Readable)
      return false;
    std::vector<TLine> Changed = Lines;
    PutValue(Changed, Trim(ASection), Trim(AKey), AValue);
    if (!Save(Serialized(Changed))) {
      Loaded = false;
      return false;
    }
    Lines = std::move(Changed);
    Stamp = StampOfPath(FileName);
    return true;
  }
};

TIniFile::TIniFile(const QString& AFileName) : FImpl(std::make_unique<TImpl>()) { FImpl->FileName = AFileName; }

TIniFile::~TIniFile() = default;

const QString& TIniFile::FileName() const { return FImpl->FileName; }

bool TIniFile::ValueExists(const QString& ASection, const QString& AKey) { return FImpl->Find(ASection, AKey); }

QString TIniFile::ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) {
  const TLine* Line = FImpl->Find(ASection, AKey);
  return Line ? Line->Value : ADefault;
}

qint32 TIniFile::ReadInteger(const QString& ASection, const QString& AKey, qint32 ADefault) {
  qint32 Result = ADefault;
  return TryStrToInt(ReadString(ASection, AKey, QString()), Result) ? Result : ADefault;
}

bool TIniFile::ReadBool(const QString& ASection, const QString& AKey, bool ADefault) {
  return ReadInteger(ASection, AKey, ADefault ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const QString& ASection, const QString& AKey, double ADefault) {
  double Result = ADefault;
  return TryStrToFloat(ReadString(ASection, AKey, QString()), Result) ? Result : ADefault;
}

TDateTime TIniFile::ReadDateTime(const QString& ASection, const QString& AKey, TDateTime ADefault) {
  TDateTime Result = ADefault;
  return TryStrToDateTime(ReadString(ASection, AKey, QString()), Result) ? Result : ADefault;
}

bool TIniFile::WriteString(const QString& ASection, const QString& AKey, const QString& AValue) {
  return FImpl->Write(ASection, AKey, AValue);
}

bool TIniFile::WriteInteger(const QString& ASection, const QString& AKey, qint32 AValue) {
  return WriteString(ASection, AKey, QString::number(AValue));
}

bool TIniFile::WriteBool(const QString& ASection, const QString& AKey, bool AValue) {
  return WriteString(ASection, AKey, AValue ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::WriteFloat(const QString& ASection, const QString& AKey, double AValue) {
  return WriteString(ASection, AKey, FloatToStr(AValue));
}

bool TIniFile::WriteDateTime(const QString& ASection, const QString& AKey, TDateTime AValue) {
  return WriteString(ASection, AKey, DateTimeToStr(AValue));
}

}  // namespace quillon
