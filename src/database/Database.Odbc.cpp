// The ODBC wrapper: handles, the driver's diagnostics as exceptions, a connection and its
// queries with bound parameters.
#include "database/Database.Odbc.h"

#include "infra/text/Support.Format.h"

#include <QDateTime>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace quillon {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16 SQLWCHAR");

namespace {

// A length the driver reports for a value is never negative but for its two markers; taken
// as it is, a negative one would be a negative size.
void CheckIndicator(SQLLEN AIndicator) {
  if (AIndicator < 0 && AIndicator != SQL_NO_TOTAL)
    throw Exception(Format(QStringLiteral("The ODBC driver reported a value of %d bytes"), {qint64(AIndicator)}));
}

SQLWCHAR* Wide(const QString& AText) {
  return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(AText.utf16()));
}

QString FromWide(const SQLWCHAR* AText, qsizetype ALength) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(AText), ALength);
}

bool Failed(SQLRETURN AResult) { return AResult == SQL_ERROR || AResult == SQL_INVALID_HANDLE; }

// A length, count or position as the narrower integer type an ODBC call takes, where a cast
// would wrap without a word.
template <class TOdbc, class TValue>
TOdbc OdbcValue(TValue AValue, const char* AWhat) {
  if (!std::in_range<TOdbc>(AValue))
    throw Exception(Format(QStringLiteral("%s is out of range for the ODBC driver: %d (it takes %d to %d)"),
                           {QString::fromLatin1(AWhat), qint64(AValue), qint64(std::numeric_limits<TOdbc>::min()),
                            qint64(std::numeric_limits<TOdbc>::max())}));
  return static_cast<TOdbc>(AValue);
}

// A length the driver reported, as a count of characters no larger than the buffer it filled.
qsizetype ReportedLength(qint64 ALength, qsizetype ABuffer) { return std::clamp<qint64>(ALength, 0, ABuffer); }

// An ODBC call that must not fail for a reason worth reporting (allocation, attributes).
odbc::THandle Allocate(SQLSMALLINT AType, const odbc::THandle& AParent) {
  SQLHANDLE Handle = SQL_NULL_HANDLE;
  const SQLRETURN Result = SQLAllocHandle(AType, AParent ? AParent.Get() : SQL_NULL_HANDLE, &Handle);
  if (Failed(Result)) {
    if (AParent)
      odbc::Check(Result, AParent);
    throw EOdbcError({{0, QStringLiteral("HY001"), QStringLiteral("Cannot allocate an ODBC handle")}});
  }
  return odbc::THandle(AType, Handle);
}

}  // namespace

QString TOdbcDiagnostic::Source() const {
  qsizetype End = 0;
  while (End < Message.size() && Message[End] == u'[') {
    const qsizetype Close = Message.indexOf(u']', End);
    if (Close < 0)
      break;
    End = Close + 1;
  }
  return Message.left(End);
}

QString TOdbcDiagnostic::Description() const { return Message.mid(Source().size()); }

QString EOdbcError::ServerMessages() const {
  QStringList FromServer;
  QStringList All;
  for (const TOdbcDiagnostic& Diagnostic : FDiagnostics) {
    All.append(Diagnostic.Description());
    if (Diagnostic.NativeError != 0)
      FromServer.append(Diagnostic.Description());
  }
  return (FromServer.isEmpty() ? All : FromServer).join(u'\n');
}

EOdbcError::EOdbcError(QList<TOdbcDiagnostic> ADiagnostics)
    : Exception([&ADiagnostics] {
        QStringList Messages;
        for (const TOdbcDiagnostic& Diagnostic : ADiagnostics)
          Messages.append(Diagnostic.Message);
        return Messages.join(u'\n');
      }()),
      FDiagnostics(std::move(ADiagnostics)) {}

bool EOdbcError::ConnectionLost() const {
  return std::any_of(FDiagnostics.cbegin(), FDiagnostics.cend(),
                     [](const TOdbcDiagnostic& ADiagnostic) { return ADiagnostic.SqlState.startsWith(u"08"); });
}

bool EOdbcError::TimedOut() const {
  return std::any_of(FDiagnostics.cbegin(), FDiagnostics.cend(),
                     [](const TOdbcDiagnostic& ADiagnostic) { return ADiagnostic.SqlState.startsWith(u"HYT"); });
}

namespace odbc {

THandle::THandle(THandle&& AOther) noexcept : FType(AOther.FType), FHandle(AOther.FHandle) {
  AOther.FHandle = nullptr;
}

THandle& THandle::operator=(THandle&& AOther) noexcept {
  if (this != &AOther) {
    Reset();
    FType = AOther.FType;
    FHandle = AOther.FHandle;
    AOther.FHandle = nullptr;
  }
  return *this;
}

void THandle::Reset() {
  if (FHandle)
    SQLFreeHandle(FType, FHandle);
  FHandle = nullptr;
}

constexpr size_t MaxDiagnosticBuffer = std::numeric_limits<SQLSMALLINT>::max();

QList<TOdbcDiagnostic> Diagnostics(const THandle& AHandle) {
  QList<TOdbcDiagnostic> Result;
  if (!AHandle)
    return Result;
  for (SQLSMALLINT Record = 1;; ++Record) {
    SQLWCHAR State[6] = {};
    SQLINTEGER Native = 0;
    std::vector<SQLWCHAR> Text(1024);
    SQLSMALLINT Length = 0;
    SQLRETURN Status = SQLGetDiagRecW(AHandle.Type(), AHandle.Get(), Record, State, &Native, Text.data(),
                                      static_cast<SQLSMALLINT>(Text.size()), &Length);
    // The buffer's size is passed as a SQLSMALLINT: a longer message is cut at its largest value.
    if (Status == SQL_SUCCESS_WITH_INFO && Length >= static_cast<SQLSMALLINT>(Text.size()) && Text.size() < MaxDiagnosticBuffer) {
      Text.resize(std::min<size_t>(static_cast<size_t>(Length) + 1, MaxDiagnosticBuffer));
      Status = SQLGetDiagRecW(AHandle.Type(), AHandle.Get(), Record, State, &Native, Text.data(),
                              static_cast<SQLSMALLINT>(Text.size()), &Length);
    }
    if (Status != SQL_SUCCESS && Status != SQL_SUCCESS_WITH_INFO)
      break;
    Result.append({static_cast<qint32>(Native), FromWide(State, 5),
                   FromWide(Text.data(), ReportedLength(Length, static_cast<qsizetype>(Text.size()) - 1))});
  }
  return Result;
}

void Check(short AResult, const THandle& AHandle) {
  if (!Failed(AResult))
    return;
  QList<TOdbcDiagnostic> Found = Diagnostics(AHandle);
  if (Found.isEmpty())
    Found.append({0, QStringLiteral("HY000"),
                  Format(QStringLiteral("ODBC call failed with return code %d"), {static_cast<qint32>(AResult)})});
  throw EOdbcError(std::move(Found));
}

}  // namespace odbc

// --- TOdbcConnection ---------------------------------------------------------------------------

TOdbcConnection::TOdbcConnection() : FEnv(Allocate(SQL_HANDLE_ENV, odbc::THandle())) {
  odbc::Check(SQLSetEnvAttr(FEnv.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), FEnv);
  FDbc = Allocate(SQL_HANDLE_DBC, FEnv);
}

TOdbcConnection::~TOdbcConnection() { Close(); }

void TOdbcConnection::Open(const QString& AConnectionString, qint32 ALoginTimeout) {
  if (ALoginTimeout > 0)
    odbc::Check(SQLSetConnectAttrW(FDbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(ALoginTimeout)), 0),
                FDbc);
  const SQLRETURN Result = SQLDriverConnectW(FDbc.Get(), nullptr, Wide(AConnectionString),
                                             OdbcValue<SQLSMALLINT>(AConnectionString.size(), "The connection string's length"), nullptr, 0,
                                             nullptr, SQL_DRIVER_NOPROMPT);
  odbc::Check(Result, FDbc);
  FConnected = true;
}

void TOdbcConnection::Close() {
  for (TOdbcStatement* Statement : FStatements)
    Statement->Release();
  if (FConnected)
    SQLDisconnect(FDbc.Get());
  FConnected = false;
}

bool TOdbcConnection::Dead() const {
  SQLUINTEGER State = SQL_CD_FALSE;
  return FConnected && !Failed(SQLGetConnectAttrW(FDbc.Get(), SQL_ATTR_CONNECTION_DEAD, &State, 0, nullptr)) &&
         State == SQL_CD_TRUE;
}

void TOdbcConnection::CloseIfEnded(const EOdbcError& AError) {
  if (AError.ConnectionLost() || Dead() || (!AError.TimedOut() && !SurvivesRoundTrip()))
    Close();
}

bool TOdbcConnection::SurvivesRoundTrip() {
  if (!FConnected)
    return false;
  const QString Probe = QStringLiteral("SELECT 1");
  const odbc::THandle Statement = Allocate(SQL_HANDLE_STMT, FDbc);
  SQLExecDirectW(Statement.Get(), Wide(Probe), static_cast<SQLINTEGER>(Probe.size()));
  return !Dead();
}

QString TOdbcConnection::DriverManagerVersion() const {
  SQLWCHAR Text[64] = {};
  SQLSMALLINT Length = 0;
  if (Failed(SQLGetInfoW(FDbc.Get(), SQL_DM_VER, Text, sizeof(Text), &Length)))
    return QString();
  return FromWide(Text, ReportedLength(Length / 2, 63));
}

void TOdbcConnection::Attach(TOdbcStatement* AStatement) { FStatements.push_back(AStatement); }

void TOdbcConnection::Detach(TOdbcStatement* AStatement) { std::erase(FStatements, AStatement); }

// --- TOdbcStatement ----------------------------------------------------------------------------

struct TOdbcStatement::TBoundValue {
  std::vector<unsigned char> Data;
  SQLLEN Indicator = 0;

  template <typename T>
  void Set(const T& AValue) {
    Data.resize(sizeof(T));
    std::memcpy(Data.data(), &AValue, sizeof(T));
    Indicator = sizeof(T);
  }
};

TOdbcStatement::TOdbcStatement(TOdbcConnection& AConnection) : FConnection(AConnection) {
  FConnection.Attach(this);
}

TOdbcStatement::~TOdbcStatement() {
  FStmt.Reset();
  FConnection.Detach(this);
}

const odbc::THandle& TOdbcStatement::Handle() {
  if (!FStmt) {
    FStmt = Allocate(SQL_HANDLE_STMT, FConnection.Handle());
    // Routine sources may hold braces that must not be read as ODBC escape sequences.
    SQLSetStmtAttrW(FStmt.Get(), SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
    if (FConnection.FQueryTimeout > 0)
      odbc::Check(SQLSetStmtAttrW(FStmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(FConnection.FQueryTimeout)), 0),
                  FStmt);
  }
  return FStmt;
}

void TOdbcStatement::Release() {
  Released();
  FBound.clear();
  FStmt.Reset();
}

void TOdbcStatement::Collect(short AResult) {
  odbc::Check(AResult, FStmt);
  if (AResult == SQL_SUCCESS_WITH_INFO)
    FWarnings.append(odbc::Diagnostics(FStmt));
}

void TOdbcStatement::BindParameter(qint32 APosition, const QVariant& AValue) {
  auto Bound = std::make_unique<TBoundValue>();
  SQLSMALLINT CType = SQL_C_WCHAR;
  SQLSMALLINT SqlType = SQL_WVARCHAR;
  SQLULEN ColumnSize = 1;
  SQLSMALLINT Digits = 0;
  const int Type = AValue.typeId();
  const auto BindInteger = [&](qint64 AInteger) {
    if (AInteger >= std::numeric_limits<qint32>::min() && AInteger <= std::numeric_limits<qint32>::max()) {
      Bound->Set(static_cast<SQLINTEGER>(AInteger));
      CType = SQL_C_SLONG;
      SqlType = SQL_INTEGER;
      ColumnSize = 10;
    } else {
      Bound->Set(static_cast<SQLBIGINT>(AInteger));
      CType = SQL_C_SBIGINT;
      SqlType = SQL_BIGINT;
      ColumnSize = 19;
    }
  };
  if (!AValue.isValid() || AValue.isNull()) {
    Bound->Indicator = SQL_NULL_DATA;
  } else if (Type == QMetaType::QString) {
    const QString Text = AValue.toString();
    const qsizetype Bytes = Text.size() * 2;
    Bound->Data.resize(static_cast<size_t>(std::max<qsizetype>(Bytes, 2)));
    std::memcpy(Bound->Data.data(), Text.utf16(), static_cast<size_t>(Bytes));
    Bound->Indicator = Bytes;
    ColumnSize = static_cast<SQLULEN>(std::max<qsizetype>(Text.size(), 1));
    SqlType = Text.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
  } else if (Type == QMetaType::Bool) {
    Bound->Set(static_cast<unsigned char>(AValue.toBool() ? 1 : 0));
    CType = SQL_C_BIT;
    SqlType = SQL_BIT;
  } else if (Type == QMetaType::Int || Type == QMetaType::Short || Type == QMetaType::UShort ||
             Type == QMetaType::SChar || Type == QMetaType::UChar || Type == QMetaType::UInt ||
             Type == QMetaType::LongLong || Type == QMetaType::Long) {
    BindInteger(AValue.toLongLong());
  } else if (Type == QMetaType::ULongLong || Type == QMetaType::ULong) {
    if (AValue.toULongLong() > static_cast<quint64>(std::numeric_limits<qint64>::max()))
      throw Exception(Format(QStringLiteral("Integer parameter out of range: %s"), {AValue.toString()}));
    BindInteger(AValue.toLongLong());
  } else if (Type == QMetaType::Double || Type == QMetaType::Float) {
    Bound->Set(AValue.toDouble());
    CType = SQL_C_DOUBLE;
    SqlType = SQL_DOUBLE;
    ColumnSize = 15;
  } else if (Type == QMetaType::QDateTime || Type == QMetaType::QDate) {
    const QDateTime Stamp = Type == QMetaType::QDate ? AValue.toDate().startOfDay() : AValue.toDateTime();
    SQL_TIMESTAMP_STRUCT Value{};
    Value.year = OdbcValue<SQLSMALLINT>(Stamp.date().year(), "The year of a date parameter");
    Value.month = static_cast<SQLUSMALLINT>(Stamp.date().month());
    Value.day = static_cast<SQLUSMALLINT>(Stamp.date().day());
    Value.hour = static_cast<SQLUSMALLINT>(Stamp.time().hour());
    Value.minute = static_cast<SQLUSMALLINT>(Stamp.time().minute());
    Value.second = static_cast<SQLUSMALLINT>(Stamp.time().second());
    Value.fraction = static_cast<SQLUINTEGER>(Stamp.time().msec()) * 1000000u;
    Bound->Set(Value);
    CType = SQL_C_TYPE_TIMESTAMP;
    SqlType = SQL_TYPE_TIMESTAMP;
    ColumnSize = 23;
    Digits = 3;
  } else if (Type == QMetaType::QByteArray) {
    const QByteArray Bytes = AValue.toByteArray();
    Bound->Data.assign(Bytes.cbegin(), Bytes.cend());
    Bound->Data.resize(std::max<size_t>(Bound->Data.size(), 1));
    Bound->Indicator = Bytes.size();
    CType = SQL_C_BINARY;
    SqlType = Bytes.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
    ColumnSize = static_cast<SQLULEN>(std::max<qsizetype>(Bytes.size(), 1));
  } else {
    throw Exception(Format(QStringLiteral("A parameter of type %s cannot be passed to the database"),
                           {QString::fromLatin1(AValue.typeName())}));
  }
  odbc::Check(SQLBindParameter(Handle().Get(), OdbcValue<SQLUSMALLINT>(APosition, "A parameter's position"), SQL_PARAM_INPUT, CType,
                               SqlType, ColumnSize, Digits, Bound->Data.data(),
                               static_cast<SQLLEN>(Bound->Data.size()), &Bound->Indicator),
              FStmt);
  FBound.push_back(std::move(Bound));
}

void TOdbcStatement::Execute(const QString& ASQL) {
  FWarnings.clear();
  const SQLRETURN Result =
      SQLExecDirectW(Handle().Get(), Wide(ASQL), OdbcValue<SQLINTEGER>(ASQL.size(), "The length of a SQL text"));
  if (Result != SQL_NO_DATA)
    Collect(Result);
}

bool TOdbcStatement::MoreResults() {
  const SQLRETURN Result = SQLMoreResults(Handle().Get());
  if (Result == SQL_NO_DATA)
    return false;
  Collect(Result);
  return true;
}

qint32 TOdbcStatement::ResultColumns() {
  SQLSMALLINT Count = 0;
  odbc::Check(SQLNumResultCols(Handle().Get(), &Count), FStmt);
  return Count;
}

void TOdbcStatement::Reset() {
  if (FStmt) {
    SQLFreeStmt(FStmt.Get(), SQL_CLOSE);
    SQLFreeStmt(FStmt.Get(), SQL_RESET_PARAMS);
  }
  FBound.clear();
}

// --- TOdbcQuery --------------------------------------------------------------------------------

TOdbcQuery::~TOdbcQuery() { Close(); }

void TOdbcQuery::OpenQuery(const QString& ASQL) {
  Close();
  Execute(ASQL);
  qint32 Count = ResultColumns();
  while (Count == 0 && MoreResults())
    Count = ResultColumns();
  FColumns.clear();
  QStringList Names;
  for (qint32 Index = 1; Index <= Count; ++Index) {
    SQLWCHAR Name[256] = {};
    SQLSMALLINT NameLength = 0;
    SQLSMALLINT SqlType = 0;
    SQLULEN Size = 0;
    SQLSMALLINT Digits = 0;
    SQLSMALLINT Nullable = 0;
    odbc::Check(SQLDescribeColW(Handle().Get(), static_cast<SQLUSMALLINT>(Index), Name, 256, &NameLength, &SqlType,
                                &Size, &Digits, &Nullable),
                Handle());
    Names.append(FromWide(Name, ReportedLength(NameLength, 255)));
    SQLSMALLINT CType = SQL_C_WCHAR;
    switch (SqlType) {
      case SQL_BIT:
        CType = SQL_C_BIT;
        break;
      case SQL_TINYINT:
      case SQL_SMALLINT:
      case SQL_INTEGER:
        CType = SQL_C_SLONG;
        break;
      case SQL_BIGINT:
        CType = SQL_C_SBIGINT;
        break;
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
      case SQL_DECIMAL:
      case SQL_NUMERIC:
        CType = SQL_C_DOUBLE;
        break;
      case SQL_TYPE_DATE:
      case SQL_TYPE_TIMESTAMP:
      case SQL_DATETIME:
      case SQL_TIMESTAMP:
        CType = SQL_C_TYPE_TIMESTAMP;
        break;
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        CType = SQL_C_BINARY;
        break;
      default:
        break;
    }
    FColumns.append({SqlType, CType});
  }
  Open(Names);
}

// A link lost, or a session the server ended, while the rows are read closes the connection
// here, as it would for a statement that failed, so that Connected tells the truth.
bool TOdbcQuery::FetchRow(QVector<QVariant>& AValues) {
  if (FColumns.isEmpty())
    return false;
  try {
    const SQLRETURN Result = SQLFetch(Handle().Get());
    if (Result == SQL_NO_DATA)
      return false;
    odbc::Check(Result, Handle());
    for (qint32 Index = 0; Index < FColumns.size(); ++Index)
      AValues[Index] = ReadColumn(Index + 1, FColumns.at(Index));
  } catch (const EOdbcError& E) {
    Connection().CloseIfEnded(E);
    throw;
  }
  return true;
}

QVariant TOdbcQuery::ReadColumn(qint32 AIndex, const TColumn& AColumn) {
  const SQLHSTMT Stmt = Handle().Get();
  const auto Column = OdbcValue<SQLUSMALLINT>(AIndex, "A column's position");
  SQLLEN Indicator = 0;
  switch (AColumn.CType) {
    case SQL_C_BIT: {
      unsigned char Value = 0;
      odbc::Check(SQLGetData(Stmt, Column, SQL_C_BIT, &Value, sizeof(Value), &Indicator), Handle());
      return Indicator == SQL_NULL_DATA ? QVariant() : QVariant(Value != 0);
    }
    case SQL_C_SLONG: {
      SQLINTEGER Value = 0;
      odbc::Check(SQLGetData(Stmt, Column, SQL_C_SLONG, &Value, sizeof(Value), &Indicator), Handle());
      return Indicator == SQL_NULL_DATA ? QVariant() : QVariant(static_cast<qint32>(Value));
    }
    case SQL_C_SBIGINT: {
      SQLBIGINT Value = 0;
      odbc::Check(SQLGetData(Stmt, Column, SQL_C_SBIGINT, &Value, sizeof(Value), &Indicator), Handle());
      return Indicator == SQL_NULL_DATA ? QVariant() : QVariant(static_cast<qlonglong>(Value));
    }
    case SQL_C_DOUBLE: {
      double Value = 0;
      odbc::Check(SQLGetData(Stmt, Column, SQL_C_DOUBLE, &Value, sizeof(Value), &Indicator), Handle());
      return Indicator == SQL_NULL_DATA ? QVariant() : QVariant(Value);
    }
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT Value{};
      odbc::Check(SQLGetData(Stmt, Column, SQL_C_TYPE_TIMESTAMP, &Value, sizeof(Value), &Indicator), Handle());
      if (Indicator == SQL_NULL_DATA)
        return QVariant();
      return QVariant(QDateTime(QDate(Value.year, Value.month, Value.day),
                                QTime(Value.hour, Value.minute, Value.second,
                                      static_cast<int>(Value.fraction / 1000000u))));
    }
    case SQL_C_BINARY: {
      QByteArray Bytes;
      for (;;) {
        char Chunk[8192];
        const SQLRETURN Result = SQLGetData(Stmt, Column, SQL_C_BINARY, Chunk, sizeof(Chunk), &Indicator);
        if (Result == SQL_NO_DATA)
          break;
        odbc::Check(Result, Handle());
        if (Indicator == SQL_NULL_DATA)
          return QVariant();
        CheckIndicator(Indicator);
        const bool Whole = Indicator != SQL_NO_TOTAL && Indicator <= static_cast<SQLLEN>(sizeof(Chunk));
        Bytes.append(Chunk, Whole ? static_cast<qsizetype>(Indicator) : static_cast<qsizetype>(sizeof(Chunk)));
        if (Whole)
          break;
      }
      return QVariant(Bytes);
    }
    default: {
      bool IsNull = false;
      QString Text = ReadText(AIndex, IsNull);
      return IsNull ? QVariant() : QVariant(Text);
    }
  }
}

// Reads a text column in as many pieces as it takes: after the first piece the driver tells
// how much is left, so a long text needs one more call.
QString TOdbcQuery::ReadText(qint32 AIndex, bool& AIsNull) {
  if (FTextBuffer.size() < 8192)
    FTextBuffer.resize(8192);
  QString Text;
  for (;;) {
    SQLLEN Indicator = 0;
    const auto Bytes = static_cast<SQLLEN>(FTextBuffer.size() * sizeof(char16_t));
    const SQLRETURN Result = SQLGetData(Handle().Get(), OdbcValue<SQLUSMALLINT>(AIndex, "A column's position"), SQL_C_WCHAR,
                                        FTextBuffer.data(), Bytes, &Indicator);
    if (Result == SQL_NO_DATA)
      break;
    odbc::Check(Result, Handle());
    if (Indicator == SQL_NULL_DATA) {
      AIsNull = true;
      return QString();
    }
    CheckIndicator(Indicator);
    if (Indicator != SQL_NO_TOTAL && Indicator < Bytes) {
      Text.append(QStringView(FTextBuffer.data(), static_cast<qsizetype>(Indicator / 2)));
      break;
    }
    const qsizetype InBuffer = static_cast<qsizetype>(FTextBuffer.size()) - 1;
    Text.append(QStringView(FTextBuffer.data(), InBuffer));
    const size_t Wanted = Indicator == SQL_NO_TOTAL ? FTextBuffer.size() * 2
                                                    : static_cast<size_t>(Indicator / 2 - InBuffer) + 1;
    if (Wanted > FTextBuffer.size())
      FTextBuffer.resize(Wanted);
  }
  return Text.isNull() ? QStringLiteral("") : Text;
}

void TOdbcQuery::DoClose() {
  FColumns.clear();
  Reset();
}

}  // namespace quillon
