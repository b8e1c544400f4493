// Message templates formatted the way the program's messages are written ("%s", "%d").
#include "infra/text/Support.Format.h"

#include "infra/platform/Support.Exceptions.h"

#include <QLocale>
#include <cmath>

namespace quillon {

namespace {

[[noreturn]] void InvalidFormat(const QString& AFormat) {
  throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(AFormat));
}

bool IsIntegerVariant(const QVariant& V) {
  switch (V.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
      return true;
    default:
      return false;
  }
}

// Values above the signed 64-bit range come only from these.
bool IsUnsigned64Variant(const QVariant& V) {
  return V.typeId() == QMetaType::ULongLong || V.typeId() == QMetaType::ULong;
}

bool IsFloatVariant(const QVariant& V) {
  return V.typeId() == QMetaType::Double || V.typeId() == QMetaType::Float || IsIntegerVariant(V);
}

bool IsTextVariant(const QVariant& V) {
  return V.typeId() == QMetaType::QString || V.typeId() == QMetaType::QChar ||
         V.typeId() == QMetaType::QByteArray;
}

// No message needs a wider field, a longer precision or more arguments; a hostile template
// asking for more would cost gigabytes, or break the number conversion.
constexpr int MaxFormatNumber = 4096;

class TFormatter {
public:
  TFormatter(const QString& AFormat, const QVariantList& AArgs) : FFormat(AFormat), FArgs(AArgs) {}

  QString Run() {
    QString Result;
    Result.reserve(FFormat.size() + 16 * FArgs.size());
    qsizetype I = 0;
    while (I < FFormat.size()) {
      const QChar C = FFormat.at(I);
      if (C != u'%') {
        Result.append(C);
        ++I;
        continue;
      }
      ++I;
      if (I < FFormat.size() && FFormat.at(I) == u'%') {
        Result.append(u'%');
        ++I;
        continue;
      }
      I = FormatOne(I, Result);
    }
    return Result;
  }

private:
  const QString& FFormat;
  const QVariantList& FArgs;
  qsizetype FNextArg = 0;

  const QVariant& TakeArg() {
    if (FNextArg >= FArgs.size())
      throw EConvertError(QStringLiteral("No argument for format '%1'").arg(FFormat));
    return FArgs.at(FNextArg++);
  }

  // Reads digits or "*" at AIndex; -1 when neither is there. A number beyond
  // MaxFormatNumber, or a negative one from the arguments, makes the format invalid.
  int ReadNumber(qsizetype& AIndex) {
    if (AIndex < FFormat.size() && FFormat.at(AIndex) == u'*') {
      ++AIndex;
      const QVariant& V = TakeArg();
      if (!IsIntegerVariant(V))
        InvalidFormat(FFormat);
      if (IsUnsigned64Variant(V) ? V.toULongLong() > quint64(MaxFormatNumber)
                                 : V.toLongLong() < 0 || V.toLongLong() > MaxFormatNumber)
        InvalidFormat(FFormat);
      return V.toInt();
    }
    int Value = -1;
    while (AIndex < FFormat.size() && FFormat.at(AIndex).unicode() >= u'0' && FFormat.at(AIndex).unicode() <= u'9') {
      Value = (Value < 0 ? 0 : Value * 10) + (FFormat.at(AIndex).unicode() - u'0');
      if (Value > MaxFormatNumber)
        InvalidFormat(FFormat);
      ++AIndex;
    }
    return Value;
  }

  qsizetype FormatOne(qsizetype I, QString& Result) {
    int Number = ReadNumber(I);
    if (I < FFormat.size() && FFormat.at(I) == u':') {
      if (Number < 0)
        Number = 0;
      FNextArg = Number;
      ++I;
      Number = -1;
    }
    bool LeftAlign = false;
    if (Number < 0 && I < FFormat.size() && FFormat.at(I) == u'-') {
      LeftAlign = true;
      ++I;
    }
    int Width = Number >= 0 ? Number : ReadNumber(I);
    int Precision = -1;
    if (I < FFormat.size() && FFormat.at(I) == u'.') {
      ++I;
      Precision = ReadNumber(I);
      if (Precision < 0)
        Precision = 0;
    }
    if (I >= FFormat.size())
      InvalidFormat(FFormat);
    const QChar Kind = FFormat.at(I).toLower();
    ++I;
    QString Text = Convert(Kind, Precision);
    if (Width > Text.size()) {
      const QString Pad(Width - Text.size(), u' ');
      Text = LeftAlign ? Text + Pad : Pad + Text;
    }
    Result.append(Text);
    return I;
  }

  QString Convert(QChar AKind, int APrecision) {
    switch (AKind.unicode()) {
      case u's': {
        const QVariant& V = TakeArg();
        if (!IsTextVariant(V))
          InvalidFormat(FFormat);
        QString S = V.typeId() == QMetaType::QByteArray ? QString::fromUtf8(V.toByteArray()) : V.toString();
        if (APrecision >= 0 && APrecision < S.size())
          S.truncate(APrecision);
        return S;
      }
      case u'd':
      case u'u': {
        const QVariant& V = TakeArg();
        if (!IsIntegerVariant(V))
          InvalidFormat(FFormat);
        // The magnitude is unsigned: the smallest 64-bit integer has no positive counterpart.
        bool Negative = false;
        quint64 Magnitude;
        if (IsUnsigned64Variant(V)) {
          Magnitude = V.toULongLong();
        } else {
          const qint64 N = V.toLongLong();
          if (N >= 0)
            Magnitude = quint64(N);
          else if (AKind == u'u')
            Magnitude = V.typeId() == QMetaType::LongLong ? quint64(N) : quint64(quint32(N));
          else {
            Negative = true;
            Magnitude = 0 - quint64(N);
          }
        }
        QString Digits = QString::number(Magnitude);
        if (APrecision > Digits.size())
          Digits = QString(APrecision - Digits.size(), u'0') + Digits;
        return Negative ? u'-' + Digits : Digits;
      }
      case u'x': {
        const QVariant& V = TakeArg();
        if (!IsIntegerVariant(V))
          InvalidFormat(FFormat);
        QString Digits = QString::number(static_cast<quint64>(V.toLongLong()) &
                                             (V.typeId() == QMetaType::LongLong || V.typeId() == QMetaType::ULongLong
                                                  ? ~0ULL
                                                  : 0xFFFFFFFFULL),
                                         16)
                             .toUpper();
        if (APrecision > Digits.size())
          Digits = QString(APrecision - Digits.size(), u'0') + Digits;
        return Digits;
      }
      case u'f':
      case u'e':
      case u'g':
      case u'n':
      case u'm': {
        const QVariant& V = TakeArg();
        if (!IsFloatVariant(V))
          InvalidFormat(FFormat);
        const double D = V.toDouble();
        if (AKind == u'e')
          return QString::number(D, 'E', APrecision < 0 ? 15 : qMax(0, APrecision - 1));
        if (AKind == u'g')
          return QString::number(D, 'g', APrecision < 0 ? 15 : APrecision);
        const int Decimals = APrecision < 0 ? 2 : APrecision;
        if (AKind == u'f')
          return QString::number(D, 'f', Decimals);
        QLocale Locale;
        QString S = Locale.toString(D, 'f', Decimals);
        return AKind == u'm' ? Locale.toCurrencyString(D, QString(), Decimals) : S;
      }
      case u'p': {
        const QVariant& V = TakeArg();
        if (!IsIntegerVariant(V))
          InvalidFormat(FFormat);
        return QStringLiteral("%1").arg(static_cast<quint64>(V.toLongLong()), 16, 16, QChar(u'0')).toUpper();
      }
      default:
        InvalidFormat(FFormat);
    }
  }
};

bool IsBlank(QChar C) { return C.unicode() <= u' '; }

}  // namespace

QString Format(const QString& AFormat, const QVariantList& AArgs) { return TFormatter(AFormat, AArgs).Run(); }

QString Trim(const QString& S) {
  qsizetype First = 0;
  qsizetype Last = S.size();
  while (First < Last && IsBlank(S.at(First)))
    ++First;
  while (Last > First && IsBlank(S.at(Last - 1)))
    --Last;
  return (First == 0 && Last == S.size()) ? S : S.mid(First, Last - First);
}

QString TrimLeft(const QString& S) {
  qsizetype First = 0;
  while (First < S.size() && IsBlank(S.at(First)))
    ++First;
  return S.mid(First);
}

QString TrimRight(const QString& S) {
  qsizetype Last = S.size();
  while (Last > 0 && IsBlank(S.at(Last - 1)))
    --Last;
  return S.left(Last);
}

bool TryStrToInt(const QString& S, qint32& AValue) {
  QString T = S;
  bool Negative = false;
  if (!T.isEmpty() && (T.at(0) == u'-' || T.at(0) == u'+')) {
    Negative = T.at(0) == u'-';
    T.remove(0, 1);
  }
  int Base = 10;
  if (T.startsWith(u'$')) {
    Base = 16;
    T.remove(0, 1);
  } else if (T.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
    Base = 16;
    T.remove(0, 2);
  }
  if (T.isEmpty())
    return false;
  for (QChar C : T)
    if (!(C.unicode() < 128 && (Base == 16 ? isxdigit(C.unicode()) : isdigit(C.unicode()))))
      return false;
  bool Ok = false;
  const qint64 Magnitude = T.toLongLong(&Ok, Base);
  if (!Ok)
    return false;
  const qint64 Value = Negative ? -Magnitude : Magnitude;
  if (Base == 10 && (Value < INT32_MIN || Value > INT32_MAX))
    return false;
  if (Base == 16 && Magnitude > 0xFFFFFFFFLL)
    return false;
  AValue = static_cast<qint32>(Value);
  return true;
}

qint32 StrToInt(const QString& S) {
  qint32 Value = 0;
  if (!TryStrToInt(S, Value))
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(S));
  return Value;
}

QStringList SplitTextLines(const QString& AText) {
  QStringList Lines;
  const qsizetype Length = AText.size();
  qsizetype Start = 0;
  for (qsizetype i = 0; i < Length; ++i) {
    const QChar C = AText[i];
    if (C != u'\r' && C != u'\n')
      continue;
    Lines.append(AText.mid(Start, i - Start));
    if (C == u'\r' && i + 1 < Length && AText[i + 1] == u'\n')
      ++i;
    Start = i + 1;
  }
  if (Start < Length)
    Lines.append(AText.mid(Start));
  return Lines;
}

}  // namespace quillon
