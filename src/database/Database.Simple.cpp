#include "database/Database.Simple.h"

#include "infra/Classes.Auditing.h"
#include "infra/Support.Format.h"
#include "infra/Support.IniFile.h"
#include "infra/Utils.Params.h"
#include "infra/Win.User.h"
#include "service/Service.Config.h"

#include <algorithm>

namespace quillon {

namespace {

const QString ConnectMethod = QStringLiteral("Connect");
const qint32 DefaultLoginTimeout = 15;
// A statement that gets no answer for this long is cancelled, as the OLE DB layer did.
const qint32 DefaultQueryTimeout = 30;

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

// FreeTDS knows neither Encrypt nor TrustServerCertificate and would connect in clear text
// whatever they say; its own key is Encryption. Any value not known to turn encryption off
// requires it, so that a mistyped value never means clear text.
QString FreeTdsEncryption(const QString& AEncrypt) {
  return SameKey(AEncrypt.trimmed(), {u"no", u"false", u"optional"}) ? QStringLiteral("request")
                                                                     : QStringLiteral("require");
}

QString OdbcValue(const QString& AValue, bool AFreeTds) {
  const bool NeedsBraces = AValue.contains(u';') || AValue.contains(u'{') || AValue.contains(u'}') ||
                           AValue != AValue.trimmed();
  if (!NeedsBraces)
    return AValue;
  // FreeTDS reads a braced value up to the brace that ends the field and does not undouble.
  return u'{' + (AFreeTds ? AValue : QString(AValue).replace(QStringLiteral("}"), QStringLiteral("}}"))) + u'}';
}

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

QString OdbcConnectionString(const TMSSQLConnString& AConnString, const QString& ADriver, qint32& ALoginTimeout) {
  const bool FreeTds = ADriver.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive);
  ALoginTimeout = DefaultLoginTimeout;
  QStringList Pairs{QStringLiteral("DRIVER=") + OdbcValue(ADriver, FreeTds)};
  bool HasServer = false;
  bool HasVersion = false;
  bool HasEncryption = false;
  for (const QString& Line : AConnString.Lines()) {
    const qsizetype Separator = Line.indexOf(u'=');
    if (Separator < 0)
      continue;
    const QString Key = Line.left(Separator).trimmed();
    QString Value = Line.mid(Separator + 1);
    QString OdbcKey = Key;
    if (IsOleDbOnlyKey(Key)) {
      continue;
    } else if (SameKey(Key, {u"Data Source", u"Server", u"Address", u"Addr", u"Network Address"})) {
      OdbcKey = QStringLiteral("Server");
      Value = OdbcServer(Value);
      HasServer = true;
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
        ALoginTimeout = Seconds;
      continue;
    } else if (SameKey(Key, {u"Application Name"})) {
      OdbcKey = QStringLiteral("APP");
    } else if (SameKey(Key, {u"Workstation ID"})) {
      OdbcKey = QStringLiteral("WSID");
    } else if (SameKey(Key, {u"Current Language"})) {
      OdbcKey = QStringLiteral("Language");
    } else if (SameKey(Key, {u"TDS_Version"})) {
      HasVersion = true;
    } else if (FreeTds && SameKey(Key, {u"Encrypt"})) {
      OdbcKey = QStringLiteral("Encryption");
      Value = FreeTdsEncryption(Value);
      HasEncryption = true;
    } else if (FreeTds && SameKey(Key, {u"Encryption"})) {
      HasEncryption = true;
    } else if (FreeTds && SameKey(Key, {u"TrustServerCertificate"})) {
      // FreeTDS checks a certificate only against the CA file its own configuration names.
      continue;
    } else if (SameKey(Key, {u"DRIVER"})) {
      continue;
    }
    Pairs.append(OdbcKey + u'=' + OdbcValue(Value, FreeTds));
  }
  if (!HasServer)
    Pairs.insert(1, QStringLiteral("Server=") + OdbcServer(QString()));
  if (FreeTds && !HasVersion)
    Pairs.append(QStringLiteral("TDS_Version=7.4"));
  if (FreeTds && !HasEncryption)
    Pairs.append(QStringLiteral("Encryption=request"));
  return Pairs.join(u';');
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
  qint32 LoginTimeout = 0;
  const QString OdbcText = OdbcConnectionString(*FConnString, FOdbcDriver, LoginTimeout);
  fConnection->Open(OdbcText, LoginTimeout);
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
    fConnection->CloseIfLost(E);
    if (fConnection->Connected() && !E.TimedOut() && !fConnection->SurvivesRoundTrip())
      fConnection->Close();
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
