// Message templates formatted the way the program's messages are written ("%s", "%d").
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

namespace quillon {

// Formats a template the way the system's messages are written: "%s" takes a text, "%d" an
// integer, "%%" is a percent sign. Also understood: an argument index ("%1:s"), the "-" flag,
// width and precision ("%-10s", "%.3d", "%*d"), and the kinds u, x, f, e, g, n, m, p.
// A specifier without a matching argument, with an argument of the wrong type, or with a
// width, precision or argument index above 4096 raises EConvertError; the result is never
// half-filled.
QString Format(const QString& AFormat, const QVariantList& AArgs);

// Removes every character at or below the space character from both ends.
QString Trim(const QString& S);
QString TrimLeft(const QString& S);
QString TrimRight(const QString& S);

// Lines as a text file holds them: CR, LF and CR LF each end a line, a last line without an
// end is kept, and a break at the very end does not start another one.
QStringList SplitTextLines(const QString& AText);

// Text to integer the way the platform's StrToInt does it: optional sign, decimal digits or a
// "$"/"0x" hexadecimal number, surrounding blanks not allowed. Raises EConvertError with
// "'%s' is not a valid integer value".
qint32 StrToInt(const QString& S);
bool TryStrToInt(const QString& S, qint32& AValue);

}  // namespace quillon
