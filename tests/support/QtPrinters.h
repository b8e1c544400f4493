#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Lets a failing assertion show Qt strings as text rather than as bytes.
inline void PrintTo(const QString& AText, std::ostream* AOut) { *AOut << '"' << AText.toStdString() << '"'; }
inline void PrintTo(const QByteArray& ABytes, std::ostream* AOut) { *AOut << '"' << ABytes.toStdString() << '"'; }
inline void PrintTo(const QStringList& AList, std::ostream* AOut) {
  *AOut << '{';
  for (qsizetype I = 0; I < AList.size(); ++I)
    *AOut << (I ? ", " : "") << '"' << AList.at(I).toStdString() << '"';
  *AOut << '}';
}
