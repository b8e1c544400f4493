// TSimpleDatabase: the program's connection to one SQL Server database, with login, parameter
// placeholders, queries, commands and reconnects.
#include "database/Database.Simple.h"

#include "infra/logging/Classes.Auditing.h"
#include "infra/text/Support.Format.h"
#include "infra/settings/Support.IniFile.h"
#include "infra/settings/Utils.Params.h"
#include "infra/platform/Win.User.h"
#include "service/Service.Config.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <mutex>
#include <optional>
#include <shared_mutex>

namespace quillon {

namespace {

const QString ConnectMethod = QStringLiteral("Connect");
const qint32 DefaultLoginTimeout = 15;
// A statement that gets no answer for this long is cancelled, as the OLE DB layer did.
const qint32 DefaultQueryTimeout = 30;
// The section of the generated FreeTDS configuration that describes the server.
const QString FreeTdsServerName = QStringLiteral("quillon");

bool IsNameEnd(QChar AChar) {
  return AChar == u' ' || AChar == u'\r' || AChar == u'\n' || AChar == u',' || AChar == u';' || AChar == u')';
}

bool SameKey(const QString& AKey, std::initializer_list<const char16_t*> ANames) {
  for (const char16_t* Name : ANames)
    if (AKey.compare(QStringView(Name), Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

// Keys that only mean something to the OLE DB layer.
bool IsOleDbOnlyKey(const QString& AKey) {
  return SameKey(AKey, {u"Provider", u"FILE NAME", u"Persist Security Info", u"Auto Translate", u"Packet Size",
                        u"Use Procedure for Prepare", u"Tag with column collation when possible",
                        u"Extended Properties", u"Locale Identifier", u"Mode", u"Prompt", u"OLE DB Services",
                        u"Data Provider", u"Initial File Name", u"Network Library"});
}

QString OdbcServer(const QString& ADataSource) {
  QString Server = ADataSource.trimmed();
  if (Server.startsWith(QStringLiteral("tcp:"), Qt::CaseInsensitive))
    Server = Server.mid(4);
  // The OLE DB layer takes an empty name, "." and "(local)" for the default instance here.
  if (Server.isEmpty() || Server == u"." || Server.compare(QStringLiteral("(local)"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("localhost");
  return Server;
}

// FreeTDS reads a braced value up to the first "};" and does not undouble "}}"; the ODBC rule,
// which other drivers follow, doubles every '}' inside braces. A value FreeTDS cannot take
// whole is refused, so that no part of it is read as keys of its own.
QString OdbcValue(const QString& AKey, const QString& AValue, bool AFreeTds) {
  const bool NeedsBraces = AValue.contains(u';') || AValue.contains(u'{') || AValue.contains(u'}') ||
                           AValue.contains(u'=') || AValue != AValue.trimmed();
  if (!NeedsBraces)
    return AValue;
  if (!AFreeTds)
    return u'{' + QString(AValue).replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
  if (AValue.contains(QStringLiteral("};")))
    throw EConnectionSettings(
        QStringLiteral("The value of %1 holds \"};\", which the FreeTDS driver cannot be given intact").arg(AKey));
  return u'{' + AValue + u'}';
}

bool IsYes(const QString& AValue) { return SameKey(AValue.trimmed(), {u"yes", u"true"}); }

// What the encryption keys of a connection string ask for, whichever spelling they use.
struct TEncryptionKeys {
  enum TLevel { Unspecified, Off, Request, Require };
  TLevel Level = Unspecified;
  QString RequiredBy;  // the key that asks for encryption, for the message on a contradiction
  QString OffBy;
  QString Encrypt;  // the Encrypt value as written, for drivers that know it
  bool TrustServerCertificate = false;
  QString TrustKey;
  QString HostNameInCertificate;
  QString CAFile;

  // Takes the key if it is an encryption key.
  bool Take(const QString& AKey, const QString& AValue) {
    const QString Value = AValue.trimmed();
    if (SameKey(AKey, {u"Encrypt"})) {
      Encrypt = Value;
      // Any value not known to make encryption optional requires it, so that a mistyped value
      // never means clear text.
      Raise(EncryptRequires() ? Require : Request, AKey);
    } else if (SameKey(AKey, {u"Use Encryption for Data"})) {
      Raise(IsYes(Value) ? Require : Request, AKey);
    } else if (SameKey(AKey, {u"Encryption"})) {
      Raise(SameKey(Value, {u"off"}) ? Off : SameKey(Value, {u"request"}) ? Request : Require, AKey);
    } else if (SameKey(AKey, {u"TrustServerCertificate", u"Trust Server Certificate"})) {
      TrustServerCertificate = IsYes(Value);
      TrustKey = AKey;
    } else if (SameKey(AKey, {u"HostNameInCertificate"})) {
      HostNameInCertificate = Value;
    } else if (SameKey(AKey, {u"CAFile"})) {
      CAFile = Value;
    } else {
      return false;
    }
    return true;
  }

  void Raise(TLevel ALevel, const QString& AKey) {
    if (ALevel == Off)
      OffBy = AKey;
    if (ALevel == Require)
      RequiredBy = AKey;
    if (!RequiredBy.isEmpty() && !OffBy.isEmpty())
      throw EConnectionSettings(
          QStringLiteral("The connection string asks for encryption (%1) and turns it off (%2); say one or the other")
              .arg(RequiredBy, OffBy));
    Level = std::max(Level, ALevel);
  }

  bool EncryptRequires() const {
    return !Encrypt.isEmpty() && !SameKey(Encrypt, {u"no", u"false", u"optional"});
  }
  bool ChecksCertificate() const { return Level == Require && !TrustServerCertificate; }
};

// A value FreeTDS's configuration file would misread (it ends a value at a comment mark and
// folds white space) has no place there.
void CheckConfigurable(const QString& AWhat, const QString& AValue) {
  const bool Misread = std::any_of(AValue.cbegin(), AValue.cend(), [](QChar AChar) {
    return AChar.isSpace() || AChar.category() == QChar::Other_Control || AChar == u';' || AChar == u'#' ||
           AChar == u'[' || AChar == u']' || AChar == u'=';
  });
  if (AValue.isEmpty() || Misread)
    throw EConnectionSettings(QStringLiteral("The %1 \"%2\" cannot be given to the FreeTDS driver").arg(AWhat, AValue));
}

// The section of FreeTDS's configuration for a server that must encrypt: FreeTDS takes the TLS
// versions, the CA file and the host name check from its configuration only. TLS 1.0, which
// FreeTDS would otherwise accept, is broken and refused; a server that must prove who it is also
// has its certificate and host name checked.
QString FreeTdsSection(const QString& AServer, const TEncryptionKeys& AKeys) {
  QString Host = AServer;
  QString Port;
  QString Instance;
  if (const qsizetype Comma = Host.indexOf(u','); Comma >= 0) {
    Port = Host.mid(Comma + 1).trimmed();
    Host = Host.left(Comma).trimmed();
  }
  if (const qsizetype Slash = Host.indexOf(u'\\'); Slash >= 0) {
    Instance = Host.mid(Slash + 1);
    Host = Host.left(Slash);
  }
  CheckConfigurable(QStringLiteral("server host name"), Host);
  if (AKeys.ChecksCertificate() && !AKeys.HostNameInCertificate.isEmpty() &&
      AKeys.HostNameInCertificate.compare(Host, Qt::CaseInsensitive) != 0)
    throw EConnectionSettings(
        QStringLiteral("The FreeTDS driver checks the server's certificate against the host name it connects to "
                       "(\"%1\"), not against HostNameInCertificate (\"%2\"); connect by that name instead")
            .arg(Host, AKeys.HostNameInCertificate));
  QString Section = QStringLiteral("[%1]\n\thost = %2\n").arg(FreeTdsServerName, Host);
  if (!Port.isEmpty()) {
    bool Ok = false;
    Port.toUShort(&Ok);
    if (!Ok)
      throw EConnectionSettings(QStringLiteral("The port \"%1\" is no port number").arg(Port));
    Section += QStringLiteral("\tport = %1\n").arg(Port);
  }
  if (!Instance.isEmpty()) {
    CheckConfigurable(QStringLiteral("instance name"), Instance);
    Section += QStringLiteral("\tinstance = %1\n").arg(Instance);
  }
  Section += QStringLiteral("\tencryption = require\n\tenable tls v1 = no\n");
  if (AKeys.ChecksCertificate())
    Section += QStringLiteral("\tcheck certificate hostname = yes\n");
  return Section;
}

// The CA file's certificates, copied to where the generated configuration can name them
// without quoting.
void CopyCertificates(const QString& ACAFile, const QString& ACopy) {
  QFile Source(ACAFile);
  if (!Source.open(QIODevice::ReadOnly))
    throw EConnectionSettings(
        QStringLiteral("The CA file \"%1\" cannot be read: %2").arg(ACAFile, Source.errorString()));
  const QByteArray Certificates = Source.readAll();
  if (!Certificates.contains("-----BEGIN CERTIFICATE-----"))
    throw EConnectionSettings(QStringLiteral("The CA file \"%1\" holds no PEM certificate").arg(ACAFile));
  QFile Copy(ACopy);
  if (!Copy.open(QIODevice::WriteOnly) || Copy.write(Certificates) != Certificates.size())
    throw EConnectionSettings(QStringLiteral("Cannot write \"%1\": %2").arg(ACopy, Copy.errorString()));
}

// The server answered the login (with an error), so the encryption was set up: FreeTDS numbers
// its own errors, such as a failed connection, from 20000 to 20999; other numbers are the server's.
bool ServerAnswered(const EOdbcError& AError) {
  return std::any_of(AError.Diagnostics().cbegin(), AError.Diagnostics().cend(), [](const TOdbcDiagnostic& ADiagnostic) {
    return ADiagnostic.NativeError != 0 && (ADiagnostic.NativeError < 20000 || ADiagnostic.NativeError > 20999);
  });
}

// FreeTDS reads FREETDSCONF, which the whole process shares, while a connection opens.
std::shared_mutex& FreeTdsConfigurationLock() {
  static std::shared_mutex Lock;
  return Lock;
}

// Points FreeTDS at a configuration made for one connection while it connects: the user's own
// configuration files are neither read nor touched. Connections opened on several threads at
// once (targets checked side by side) open together, except one with a configuration of its
// own: that one opens alone, so that no other connection reads its configuration, or the
// environment while it changes.
class TFreeTdsConfiguration {
public:
  explicit TFreeTdsConfiguration(const TOdbcLogin& ALogin) {
    if (ALogin.FreeTdsSection.isEmpty()) {
      FOpeningTogether = std::shared_lock(FreeTdsConfigurationLock());
      return;
    }
    FOpeningAlone = std::unique_lock(FreeTdsConfigurationLock());
    FFolder.emplace();
    if (!FFolder->isValid())
      throw EConnectionSettings(
          QStringLiteral("No folder for the FreeTDS configuration: %1").arg(FFolder->errorString()));
    QString Section = ALogin.FreeTdsSection;
    if (ALogin.ChecksCertificate) {
      QString CAFile = QStringLiteral("system");
      if (!ALogin.CAFile.isEmpty()) {
        CAFile = FFolder->filePath(QStringLiteral("ca.pem"));
        CheckConfigurable(QStringLiteral("temporary folder"), CAFile);
        CopyCertificates(ALogin.CAFile, CAFile);
      }
      Section += QStringLiteral("\tca file = %1\n").arg(CAFile);
    }
    const QString FileName = FFolder->filePath(QStringLiteral("freetds.conf"));
    QFile File(FileName);
    const QByteArray Text = Section.toUtf8();
    if (!File.open(QIODevice::WriteOnly) || File.write(Text) != Text.size())
      throw EConnectionSettings(QStringLiteral("Cannot write \"%1\": %2").arg(FileName, File.errorString()));
    File.close();
    FPrevious = qEnvironmentVariableIsSet(ConfigurationVariable) ? std::optional(qgetenv(ConfigurationVariable))
                                                                  : std::nullopt;
    qputenv(ConfigurationVariable, QFile::encodeName(FileName));
  }
  ~TFreeTdsConfiguration() {
    if (!FFolder)
      return;
    if (FPrevious)
      qputenv(ConfigurationVariable, *FPrevious);
    else
      qunsetenv(ConfigurationVariable);
  }
  TFreeTdsConfiguration(const TFreeTdsConfiguration&) = delete;
  TFreeTdsConfiguration& operator=(const TFreeTdsConfiguration&) = delete;

private:
  static constexpr const char* ConfigurationVariable = "FREETDSCONF";
  // Released last, once the environment is as it was.
  std::shared_lock<std::shared_mutex> FOpeningTogether;
  std::unique_lock<std::shared_mutex> FOpeningAlone;
  std::optional<QTemporaryDir> FFolder;
  std::optional<QByteArray> FPrevious;
};

}  // namespace

QStringList ScanPlaceholders(const QString& ASQL, QString& AOdbcText) {
  QStringList Names;
  AOdbcText.clear();
  AOdbcText.reserve(ASQL.size());
  QChar Quote;
  qsizetype Position = 0;
  while (Position < ASQL.size()) {
    const QChar Char = ASQL[Position];
    if (!Quote.isNull()) {
      if (Char == Quote)
        Quote = QChar();
    } else if (Char == u'\'' || Char == u'"' || Char == u'`') {
      Quote = Char;
    } else if (Char == u':') {
      if (Position + 1 < ASQL.size() && ASQL[Position + 1] == u':') {
        AOdbcText += QStringLiteral("::");
        Position += 2;
        continue;
      }
      qsizetype End = Position + 1;
      while (End < ASQL.size() && !IsNameEnd(ASQL[End]))
        ++End;
      if (End > Position + 1) {
        Names.append(ASQL.mid(Position + 1, End - Position - 1));
        AOdbcText += u'?';
        Position = End;
        continue;
      }
    }
    AOdbcText += Char;
    ++Position;
  }
  return Names;
}

TOdbcLogin OdbcLogin(const TMSSQLConnString& AConnString, const QString& ADriver, const QString& ACAFile) {
  const bool FreeTds = ADriver.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive);
  TOdbcLogin Login;
  Login.LoginTimeout = DefaultLoginTimeout;
  QStringList Pairs{QStringLiteral("DRIVER=") + OdbcValue(QStringLiteral("the driver name"), ADriver, FreeTds)};
  QString Server = OdbcServer(QString());
  bool HasVersion = false;
  TEncryptionKeys Encryption;
  for (const QString& Line : AConnString.Lines()) {
    const qsizetype Separator = Line.indexOf(u'=');
    if (Separator < 0)
      continue;
    const QString Key = Line.left(Separator).trimmed();
    QString Value = Line.mid(Separator + 1);
    QString OdbcKey = Key;
    if (IsOleDbOnlyKey(Key) || Encryption.Take(Key, Value)) {
      continue;
    } else if (SameKey(Key, {u"Data Source", u"Server", u"Address", u"Addr", u"Network Address"})) {
      Server = OdbcServer(Value);
      continue;
    } else if (SameKey(Key, {u"Initial Catalog", u"Database"})) {
      OdbcKey = QStringLiteral("Database");
    } else if (SameKey(Key, {u"User ID", u"UID", u"User"})) {
      OdbcKey = QStringLiteral("UID");
    } else if (SameKey(Key, {u"Password", u"PWD"})) {
      OdbcKey = QStringLiteral("PWD");
    } else if (SameKey(Key, {u"Integrated Security"})) {
      if (!SameKey(Value.trimmed(), {u"SSPI", u"true", u"yes"}))
        continue;
      OdbcKey = QStringLiteral("Trusted_Connection");
      Value = QStringLiteral("Yes");
    } else if (SameKey(Key, {u"Connect Timeout", u"Connection Timeout"})) {
      bool Ok = false;
      const qint32 Seconds = Value.trimmed().toInt(&Ok);
      if (Ok && Seconds >= 0)
        Login.LoginTimeout = Seconds;
      continue;
    } else if (SameKey(Key, {u"Application Name"})) {
      OdbcKey = QStringLiteral("APP");
    } else if (SameKey(Key, {u"Workstation ID"})) {
      OdbcKey = QStringLiteral("WSID");
    } else if (SameKey(Key, {u"Current Language"})) {
      OdbcKey = QStringLiteral("Language");
    } else if (SameKey(Key, {u"TDS_Version"})) {
      HasVersion = true;
    } else if (SameKey(Key, {u"DRIVER"})) {
      continue;
    }
    Pairs.append(OdbcKey + u'=' + OdbcValue(Key, Value, FreeTds));
  }
  const QString CAFile = Encryption.CAFile.isEmpty() ? ACAFile : Encryption.CAFile;
  if (!Encryption.CAFile.isEmpty() && !(FreeTds && Encryption.ChecksCertificate()))
    throw EConnectionSettings(
        QStringLiteral("A CA file is used only when encryption is required, its certificate checked and the driver "
                       "is FreeTDS"));
  if (FreeTds && Encryption.Level == TEncryptionKeys::Require) {
    Login.FreeTdsSection = FreeTdsSection(Server, Encryption);
    Login.ChecksCertificate = Encryption.ChecksCertificate();
    if (Login.ChecksCertificate)
      Login.CAFile = CAFile;
    Pairs.insert(1, QStringLiteral("Servername=") + FreeTdsServerName);
  } else {
    Pairs.insert(1, QStringLiteral("Server=") + OdbcValue(QStringLiteral("Data Source"), Server, FreeTds));
  }
  if (FreeTds) {
    if (!HasVersion)
      Pairs.append(QStringLiteral("TDS_Version=7.4"));
    static const QString FreeTdsLevels[] = {QStringLiteral("request"), QStringLiteral("off"),
                                            QStringLiteral("request"), QStringLiteral("require")};
    Pairs.append(QStringLiteral("Encryption=") + FreeTdsLevels[Encryption.Level]);
  } else {
    if (Encryption.Level == TEncryptionKeys::Require && !Encryption.EncryptRequires())
      Pairs.append(QStringLiteral("Encrypt=yes"));
    else if (!Encryption.Encrypt.isEmpty())
      Pairs.append(QStringLiteral("Encrypt=") + OdbcValue(QStringLiteral("Encrypt"), Encryption.Encrypt, false));
    if (!Encryption.TrustKey.isEmpty())
      Pairs.append(QStringLiteral("TrustServerCertificate=") +
                   (Encryption.TrustServerCertificate ? QStringLiteral("yes") : QStringLiteral("no")));
    if (!Encryption.HostNameInCertificate.isEmpty())
      Pairs.append(QStringLiteral("HostNameInCertificate=") +
                   OdbcValue(QStringLiteral("HostNameInCertificate"), Encryption.HostNameInCertificate, false));
  }
  // Every pair ends with ';': FreeTDS misreads a braced value that ends the string.
  Login.ConnectionString = Pairs.join(u';') + u';';
  return Login;
}

QString ConfiguredCAFile() {
  return TIniFile(ExeSettingsFileName())
      .ReadString(QStringLiteral("Database"), QStringLiteral("CAFile"), QString())
      .trimmed();
}

QString ConfiguredOdbcDriver() {
  return OdbcDriverFromSources(ExeSettingsFileName(),
                               TParamList::CreateFromCommandLine().ReadString(QStringLiteral("Driver"), QString()));
}

QString OdbcDriverFromSources(const QString& AIniFileName, const QString& ADriverOverride) {
  if (!ADriverOverride.isEmpty())
    return ADriverOverride;
  const QString Configured =
      TIniFile(AIniFileName).ReadString(QStringLiteral("Database"), QStringLiteral("OdbcDriver"), QString()).trimmed();
  return Configured.isEmpty() ? QStringLiteral("FreeTDS") : Configured;
}

TSimpleDatabase::TSimpleDatabase(ILog* ALog) : TSimpleDatabase(nullptr, ALog) {}

TSimpleDatabase::TSimpleDatabase(QObject*, ILog* ALog)
    : fConnection(std::make_unique<TOdbcConnection>()),
      FCommand(std::make_unique<TOdbcStatement>(*fConnection)),
      FQuery(std::make_unique<TOdbcQuery>(*fConnection)),
      FLog(ALog),
      FOdbcDriver(ConfiguredOdbcDriver()) {
  Assert(FLog != nullptr, QStringLiteral("Log must be assigned"));
  fConnection->SetQueryTimeout(DefaultQueryTimeout);
  FConnString = std::make_unique<TMSSQLConnString>(GetWindowsComputerName(), QStringLiteral("master"));
  setObjectName(QStringLiteral("DB"));
  GetDataAccessVersion();
}

TSimpleDatabase::~TSimpleDatabase() {
  if (!FLoginObservers.isEmpty())
    RemoveAllLoginObservers();
  SafeFree(FConnString);
}

QString TSimpleDatabase::ClassName() const { return ClassNameOf(typeid(*this)); }

QString TSimpleDatabase::GetConnectionString() { return FConnString->Value(); }

bool TSimpleDatabase::GetConnected() { return fConnection->Connected(); }

void TSimpleDatabase::SetConnectionString(const QString& Value) { FConnString->SetValue(Value); }

QString TSimpleDatabase::GetUserName() {
  return FConnString->IntegratedSecurity() ? GetWindowsUserName() : FConnString->Username();
}

QString TSimpleDatabase::GetPassword() {
  return FConnString->IntegratedSecurity() ? QString() : FConnString->Password();
}

void TSimpleDatabase::Connect() {
  if (GetConnected())
    return;
  TMethodLog Method(FLog, typeid(*this), ConnectMethod);
  if (FConnString->IntegratedSecurity()) {
    FLog->Event(QStringLiteral("%s.%s: %s"), {ClassName(), ConnectMethod, FConnString->MaskedValue()}, ltInfo);
  } else if (FConnString->Value() == fCachedConnString) {
    FLog->Event(QStringLiteral("%s.%s: Using cached string"), {ClassName(), ConnectMethod}, ltInfo);
  } else {
    if (!fLoginDialog)
      throw ELoginInterfaceMissing();
    FLog->SilentWarning(QStringLiteral("%s.%s: Login needed (%s)"),
                        {ClassName(), ConnectMethod, FConnString->MaskedValue()});
    // The name the connection string (or the last attempt) gives is offered again.
    QString UserName = FConnString->Username();
    QString Password;
    if (!fLoginDialog->Login(UserName, Password))
      throw ELoginCancelled();
    FConnString->SetLogin(UserName, Password);
  }
  const QString Complete = FConnString->Value();
  const TOdbcLogin Login = OdbcLogin(*FConnString, FOdbcDriver, ConfiguredCAFile());
  try {
    const TFreeTdsConfiguration Configuration(Login);
    fConnection->Open(Login.ConnectionString, Login.LoginTimeout);
  } catch (const EOdbcError& E) {
    if (Login.FreeTdsSection.isEmpty() || ServerAnswered(E))
      throw;
    // FreeTDS says no more than that the connection failed; what the encryption asked of the
    // server is what the user can act on.
    QList<TOdbcDiagnostic> Diagnostics = E.Diagnostics();
    if (Login.ChecksCertificate)
      Diagnostics.append({0, QStringLiteral("08001"),
                          QStringLiteral("The server's certificate was checked against %1 and its host name: a "
                                         "certificate not signed by that authority, expired or made for another host "
                                         "is refused; TrustServerCertificate=yes skips the check")
                              .arg(Login.CAFile.isEmpty() ? QStringLiteral("the system's CA store")
                                                          : QStringLiteral("\"%1\"").arg(Login.CAFile))});
    Diagnostics.append({0, QStringLiteral("08001"),
                        QStringLiteral("An encrypted connection is not made with TLS 1.0, which is no longer safe: a "
                                       "server that offers nothing newer is refused")});
    throw EOdbcError(Diagnostics);
  }
  fCachedConnString = Complete;
  TDataSet* Names = FastQuery(QStringLiteral("SELECT DB_NAME(),@@SERVERNAME"));
  fDatabaseName = Names->Fields(0).AsString();
  fServerName = Names->Fields(1).AsString();
  Names->Close();
  NotifyLoginObservers();
}

void TSimpleDatabase::NotifyLoginObservers() {
  const QList<ILoginObserver*> Observers = FLoginObservers;
  for (ILoginObserver* Observer : Observers) {
    FLog->Event(QStringLiteral("%s.%s:  Notify %s of successful login."),
                {ClassName(), ConnectMethod, Observer->ObserverName()}, ltInfo);
    try {
      Observer->LoginSucceeded(this);
    } catch (const std::exception& E) {
      FLog->SilentError(QStringLiteral("%s.%s: %s"), {ClassName(), ConnectMethod, QString::fromUtf8(E.what())});
      throw;
    }
  }
}

void TSimpleDatabase::Disconnect() {
  FLog->Event(QStringLiteral("%s.Disconnect"), {ClassName()}, ltInfo);
  fConnection->Close();
}

void TSimpleDatabase::CheckConnected() {
  if (!GetConnected())
    throw Exception(QStringLiteral("Implicit connect not allowed"));
}

template <typename F>
void TSimpleDatabase::Guarded(TOdbcStatement& AStatement, F AStep) {
  try {
    AStep();
  } catch (const EOdbcError& E) {
    DiscardResults(AStatement);
    fConnection->CloseIfEnded(E);
    throw;
  } catch (...) {
    DiscardResults(AStatement);
    throw;
  }
}

// What a failed statement left unread would keep the connection busy for the next one.
void TSimpleDatabase::DiscardResults(TOdbcStatement& AStatement) {
  if (&AStatement == FQuery.get())
    FQuery->Close();
  AStatement.Reset();
}

void TSimpleDatabase::BindParameters(TOdbcStatement& AStatement, const QStringList& ANames,
                                     const QVariantList& AParams, bool ACommand) {
  const qsizetype Count = std::max(ANames.size(), AParams.size());
  for (qsizetype Position = 0; Position < Count; ++Position) {
    const QString Name = ANames.value(Position);
    const QString ValueText = IsPasswordKey(Name) ? MaskedPassword : AParams.value(Position).toString();
    try {
      if (Position >= AParams.size())
        throw Exception(Format(QStringLiteral("No value for parameter %s"), {Name}));
      if (Position >= ANames.size())
        throw Exception(Format(QStringLiteral("No parameter for value %d"), {static_cast<qint32>(Position)}));
      AStatement.BindParameter(static_cast<qint32>(Position) + 1, AParams.at(Position));
    } catch (const Exception& E) {
      if (ACommand)
        FLog->SilentError(QStringLiteral("%s.PrepareCommandParameters[%d](%s=%s): %s"),
                          {ClassName(), static_cast<qint32>(Position), Name, ValueText, E.Message()});
      else
        FLog->SilentError(QStringLiteral("%s.PrepareQueryParameters(%d): %s %s"),
                          {ClassName(), static_cast<qint32>(Position), ValueText, E.Message()});
      throw;
    }
  }
}

// The one query object is closed and its parameters dropped before it runs the next text.
void TSimpleDatabase::PrepareQuery(const QString& ASQL) {
  CheckConnected();
  if (FLogSql)
    FLog->LogSqlQuery(ASQL);
  FQuery->Close();
  FQuery->Reset();
}

TDataSet* TSimpleDatabase::FastQuery(const QString& ASQL) {
  PrepareQuery(ASQL);
  Guarded(*FQuery, [&] { FQuery->OpenQuery(ASQL); });
  return FQuery.get();
}

TDataSet* TSimpleDatabase::FastQuery(const QString& ASQL, const QVariantList& AParams) {
  PrepareQuery(ASQL);
  QString OdbcText;
  const QStringList Names = ScanPlaceholders(ASQL, OdbcText);
  BindParameters(*FQuery, Names, AParams, false);
  Guarded(*FQuery, [&] { FQuery->OpenQuery(OdbcText); });
  return FQuery.get();
}

qint32 TSimpleDatabase::ExecuteCommand(const QString& ASQL) { return ExecuteCommand(ASQL, {}); }

qint32 TSimpleDatabase::ExecuteCommand(const QString& ASQL, const QVariantList& AParams) {
  CheckConnected();
  if (FLogSql)
    FLog->LogSqlCommand(ASQL);
  FCommand->Reset();
  QString OdbcText = ASQL;
  if (!AParams.isEmpty()) {
    const QStringList Names = ScanPlaceholders(ASQL, OdbcText);
    BindParameters(*FCommand, Names, AParams, true);
  }
  FProviderErrors.clear();
  Guarded(*FCommand, [&] {
    FCommand->Execute(OdbcText);
    while (FCommand->MoreResults()) {
    }
  });
  FProviderErrors = FCommand->Warnings();
  FCommand->Reset();
  if (FProviderErrors.isEmpty())
    return 1;
  return ProcessErrors();
}

qint32 TSimpleDatabase::ProcessErrors() {
  TMethodLog Method(FLog, typeid(*this), QStringLiteral("ProcessErrors"));
  FErrorMessages.clear();
  FErrorLevel = ltDebug;
  const QList<TOdbcDiagnostic> Errors = std::exchange(FProviderErrors, {});
  for (const TOdbcDiagnostic& Error : Errors) {
    FLog->Event(QStringLiteral("%s.ProcessErrors: NativeError=%d Number=%d SQLState=\"%s\" Source=\"%s\" Description=%s"),
                {ClassName(), Error.NativeError, Error.NativeError, Error.SqlState, Error.Source(),
                 Error.Description()},
                ltInfo);
    FErrorMessages.append(Error.Description());
    FErrorLevel = std::max(FErrorLevel, ltWarning);
  }
  if (FErrorLevel > ltMessage && FHandleAdoErrorsAsExceptions) {
    QString Text;
    for (const QString& Message : FErrorMessages)
      Text += Message + u'\n';
    throw EDatabaseCommandFailed(Text);
  }
  return 1;
}

void TSimpleDatabase::AddUser(const QString& AUserName, const QString& APassword) {
  ExecuteCommand(QStringLiteral("EXEC dbo.AddUser :UserName, :Password"), {AUserName, APassword});
}

bool TSimpleDatabase::ObjectExists(const QString& AObjectName, TDbObjectType ADbObjectType) {
  const QString Code = DbObjectTypeCode(ADbObjectType);
  if (Code.isEmpty())
    return false;
  // As parameters the name travels as Unicode, whatever letters it holds, and needs no quoting.
  TDataSet* Result = FastQuery(QStringLiteral("SELECT OBJECT_ID(:Name,:Type)"), {AObjectName, Code});
  const bool Exists = !Result->Eof() && !Result->Fields(0).IsNull();
  Result->Close();
  return Exists;
}

void TSimpleDatabase::AddLoginObserver(ILoginObserver* AObserver) {
  Assert(!GetConnected(), QStringLiteral("Login observers should be added before login"));
  FLoginObservers.append(AObserver);
}

void TSimpleDatabase::RemoveLoginObserver(ILoginObserver* AObserver) { FLoginObservers.removeOne(AObserver); }

void TSimpleDatabase::RemoveAllLoginObservers() {
  FLog->Event(QStringLiteral("%s.RemoveAllLoginObservers"), {ClassName()}, ltInfo);
  FLoginObservers.clear();
}

// The data-access components' registry key does not exist on this platform, so the check
// always ends in its warning; the driver manager's version is what tells the setup here.
void TSimpleDatabase::GetDataAccessVersion() {
  FLog->SilentWarning(QStringLiteral("%s.%s: MDAC version check failed."),
                      {ClassName(), QStringLiteral("GetDataAccessVersion")});
  FLog->Event(QStringLiteral("%s.%s: ODBC driver manager version \"%s\""),
              {ClassName(), QStringLiteral("GetDataAccessVersion"), fConnection->DriverManagerVersion()}, ltInfo);
}

}  // namespace quillon
