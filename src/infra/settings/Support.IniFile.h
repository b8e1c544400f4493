// One INI file, read and written with the conventions of Windows private profiles.
#pragma once

#include "infra/text/Support.DateTime.h"

#include <QString>

#include <memory>

namespace quillon {

// One INI file with the conventions of Windows private profiles: sections in square brackets,
// one key=value per line, section and key names compared without regard to letter case, the
// first of duplicate sections or keys wins, values raw (no escapes, no quotes) with the white
// space around them trimmed on reading, ';' starts a comment. Lines the reader does not
// understand are kept as they are.
//
// The file is read again whenever it changed on disk since the last look, so processes sharing
// it see each other's writes. Every write goes to disk at once, under a lock file beside it, by
// writing a new file in the same folder and renaming it over the old one: a crash never leaves
// half a file behind, and the old file's permissions are kept. A write that cannot be done (the
// file or folder read-only, the file unreadable) answers false.
class TIniFile {
public:
  explicit TIniFile(const QString& AFileName);
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const QString& FileName() const;

  bool ValueExists(const QString& ASection, const QString& AKey);
  // The value as written, even when empty; ADefault when there is no such key.
  QString ReadString(const QString& ASection, const QString& AKey, const QString& ADefault);
  // Decimal, "$" or "0x" hexadecimal; ADefault for anything else.
  qint32 ReadInteger(const QString& ASection, const QString& AKey, qint32 ADefault);
  // True for any non-zero integer.
  bool ReadBool(const QString& ASection, const QString& AKey, bool ADefault);
  // Numbers and dates in the formats of the default locale.
  double ReadFloat(const QString& ASection, const QString& AKey, double ADefault);
  TDateTime ReadDateTime(const QString& ASection, const QString& AKey, TDateTime ADefault);

  // A section or key that would not read back as itself (line breaks, "]" in a section, "=" in
  // a key, a key that looks like a section or a comment) or a value with a line break is refused.
  bool WriteString(const QString& ASection, const QString& AKey, const QString& AValue);
  bool WriteInteger(const QString& ASection, const QString& AKey, qint32 AValue);
  bool WriteBool(const QString& ASection, const QString& AKey, bool AValue);
  bool WriteFloat(const QString& ASection, const QString& AKey, double AValue);
  bool WriteDateTime(const QString& ASection, const QString& AKey, TDateTime AValue);

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace quillon
