// Where the gold-standard service lives and how long the program waits for it.
#pragma once

#include <QString>

namespace quillon {

// Where the gold-standard service lives, how long the program waits for it and how many
// requests it may have in flight. Read from the section "Service" of the program's settings file
// (ExeSettingsFileName; keys BaseAddress, PageRoot, MetadataRoot, ConnectTimeout and Timeout, the
// last two in seconds, and Concurrency), overridden by the command-line setting
// Service=<address>, which points all three addresses at one site.
struct TServiceConfig {
  QString BaseAddress = QStringLiteral("http://ostrel.ulmora.no");
  // The site of the XML pages; empty means the base address.
  QString PageRoot;
  // The metadata site that serves the procedure list; empty means the base address.
  QString MetadataRoot;
  double ConnectTimeout = 10;
  double Timeout = 120;
  // How many requests a compare run may have in flight at once, over as many connections;
  // 1 sends one request after another over one connection.
  qint32 Concurrency = 8;

  // The SOAP endpoint: the base address followed by "/OstrelService.asmx".
  QString EndpointAddress() const;
  // The address of the page APageName ("%s.asp" under the page root); AQuery is appended as
  // it is and must already be encoded.
  QString PageAddress(const QString& APageName, const QString& AQuery = QString()) const;
  QString MetadataPageAddress(const QString& APageName) const;

  // The configuration in force: the program's settings file, then the command line. Read afresh on every call, so a changed settings file takes effect with the next
  // client.
  static TServiceConfig Current();
  // The same rules applied to an explicit settings file and Service= value (empty: none).
  static TServiceConfig FromSources(const QString& AIniFileName, const QString& AServiceOverride);
};

// The program's settings file, named like the executable with the extension ".ini": beside the
// executable in a build tree; installed, the user's in the config folder, or the machine's in
// /etc/quillon when the user has none.
QString ExeSettingsFileName();
// The file that remembers what publish runs sent (each routine's checksum and publication time,
// per service, server and database): "<program>.publish.ini" in the program's state folder,
// beside the executable in a build tree, the user's state folder when installed.
QString PublishStateFileName();

}  // namespace quillon
