// Counts live instances per class and reports the classes that outlive the program's run.
#pragma once

#include "infra/logging/Logging.Interfaces.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <exception>
#include <memory>
#include <set>

namespace quillon {

// Counts live instances per fully qualified class name and, when destroyed, reports to
// GlobalLog which classes still have some.
class TClassCounter {
public:
  TClassCounter() = default;
  ~TClassCounter();
  TClassCounter(const TClassCounter&) = delete;
  TClassCounter& operator=(const TClassCounter&) = delete;

  void AddInstance(const QString& AFullyQualifiedClassName);
  void RemoveInstance(const QString& AFullyQualifiedClassName);
  qint32 GetClassInstanceCount(const QString& AClassName) const;
  // Creation and destruction of this class are never logged; letter case does not matter.
  void DoNotLog(const QString& AFullyQualifiedClassName);

  // When true, every AddInstance and RemoveInstance of a class not ignored is logged.
  bool LogEverything() const { return FLogEverything; }
  void SetLogEverything(bool Value) { FLogEverything = Value; }

private:
  struct TCaseInsensitiveLess {
    bool operator()(const QString& A, const QString& B) const { return A.compare(B, Qt::CaseInsensitive) < 0; }
  };
  void LogChange(const QString& AFormat, const QString& AClassName, qint32 ACount);

  std::set<QString, TCaseInsensitiveLess> FIgnoreClass;
  QMap<QString, qint32> FClassCatalog;
  bool FLogEverything = false;
};

// Created by StartClassAuditing, freed (with its report) by StopClassAuditing.
inline TClassCounter* GlobalClassCounter = nullptr;

void StartClassAuditing();
void StopClassAuditing();

// SafeFree frees an object only when nothing else owns it, and never lets an error escape.
// C++ has no common base for every object, so ownership is read where it is visible:
//  - a QObject with a parent belongs to that parent: it stays alive and a warning names both;
//  - a QObject without a parent is freed, after an info event; the caller must not use its
//    pointer afterwards;
//  - an object held by a std::unique_ptr is freed and the pointer left empty, unless it is a
//    QObject with a parent, which the pointer then releases to its parent.
// An exception from a destructor (possible where one is declared noexcept(false)) is logged
// as a silent error.
void SafeFree(QObject* AObject);

namespace auditing_detail {
// Logs a failed free of AClassName as a silent error.
void LogFreeFailed(const QString& AClassName, const QString& AMessage);

template <class T>
void FreeLoggingErrors(T* AObject) {
  const QString Name = ClassNameOf(typeid(*AObject));
  try {
    delete AObject;
  } catch (const std::exception& E) {
    LogFreeFailed(Name, QString::fromUtf8(E.what()));
  } catch (...) {
    LogFreeFailed(Name, QStringLiteral("unknown error"));
  }
}
}  // namespace auditing_detail

template <class T>
void SafeFree(std::unique_ptr<T>& AObject) {
  if (!AObject)
    return;
  if constexpr (std::is_base_of_v<QObject, T>) {
    SafeFree(static_cast<QObject*>(AObject.release()));
  } else {
    auditing_detail::FreeLoggingErrors(AObject.release());
  }
}

}  // namespace quillon
