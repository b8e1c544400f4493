#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// What every harness shares: the input as Qt types, a way to cut it into parts, and a check
// that stops the run (so libFuzzer keeps the input) with what differed.
namespace quillon::fuzz {

inline QByteArray Bytes(const uint8_t* AData, size_t ASize) {
  return QByteArray(reinterpret_cast<const char*>(AData), qsizetype(ASize));
}

// The input as UTF-16 code units, unpaired surrogates and all: texts from a database or a
// file need not be valid Unicode.
inline QString Utf16(const uint8_t* AData, size_t ASize) {
  return QString(reinterpret_cast<const QChar*>(AData), qsizetype(ASize / 2));
}

// The parts of the input between separator bytes, as many as there are (at most AMost, the
// last taking the rest).
inline QList<QByteArray> Parts(const uint8_t* AData, size_t ASize, char ASeparator, qsizetype AMost) {
  QList<QByteArray> Result;
  QByteArray Rest = Bytes(AData, ASize);
  while (Result.size() + 1 < AMost) {
    const qsizetype At = Rest.indexOf(ASeparator);
    if (At < 0)
      break;
    Result.append(Rest.left(At));
    Rest.remove(0, At + 1);
  }
  Result.append(Rest);
  return Result;
}

[[noreturn]] inline void Fail(const char* AWhat, const std::string& AFirst, const std::string& ASecond) {
  fprintf(stderr, "fuzz check failed: %s\n--- first:\n%s\n--- second:\n%s\n", AWhat, AFirst.c_str(), ASecond.c_str());
  abort();
}

inline void CheckSame(const char* AWhat, const QString& AFirst, const QString& ASecond) {
  if (AFirst != ASecond)
    Fail(AWhat, AFirst.toStdString(), ASecond.toStdString());
}

inline void CheckSame(const char* AWhat, const QByteArray& AFirst, const QByteArray& ASecond) {
  if (AFirst != ASecond)
    Fail(AWhat, AFirst.toStdString(), ASecond.toStdString());
}

inline void Check(const char* AWhat, bool ACondition) {
  if (!ACondition)
    Fail(AWhat, std::string(), std::string());
}

}  // namespace quillon::fuzz
