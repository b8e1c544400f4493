// The log's back-end: timestamped, coloured entries kept in memory and written out as text.
#include "infra/logging/Logging.Backend.h"

#include "infra/logging/Logging.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/platform/Support.Paths.h"
#include "infra/platform/Win.User.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QLocale>
#include <QSysInfo>

namespace quillon {

namespace {

std::unique_ptr<TSmartInspect> TheBackend;

const QString Indent = QStringLiteral("    ");

// The protocol names of a connection text such as "pipe(reconnect=true), mem()", lower-cased.
QStringList ProtocolNames(const QString& AConnections) {
  QStringList Names;
  QString Current;
  int Depth = 0;
  bool InName = true;
  for (const QChar C : AConnections + u',') {
    if (C == u'(') {
      ++Depth;
      InName = false;
    } else if (C == u')') {
      --Depth;
    } else if (C == u',' && Depth == 0) {
      if (!Current.trimmed().isEmpty())
        Names.append(Current.trimmed().toLower());
      Current.clear();
      InName = true;
    } else if (InName) {
      Current += C;
    }
  }
  return Names;
}

QString PacketText(const TSiPacket& APacket) {
  QStringList Lines = (APacket.Title + (APacket.Data.isEmpty() ? QString() : u'\n' + APacket.Data)).split(u'\n');
  for (QString& Line : Lines)
    if (Line.endsWith(u'\r'))
      Line.chop(1);
  QString Text = APacket.Timestamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral("  ") +
                 SiLevelName(APacket.Level).leftJustified(7) + QStringLiteral("  ") +
                 APacket.Color.Name() + QStringLiteral("  ") + Lines.takeFirst() + u'\n';
  for (const QString& Line : Lines)
    Text += Indent + Line + u'\n';
  return Text;
}

}  // namespace

QString SiLevelName(TSiLevel ALevel) {
  static const char* const Names[] = {"Debug", "Verbose", "Message", "Warning", "Error", "Fatal"};
  return QString::fromLatin1(Names[ALevel]);
}

TSiSession::TSiSession(TSmartInspect& AParent, QString AName) : FParent(AParent), FName(std::move(AName)) {}

void TSiSession::Send(TSiLevel ALevel, TLogColor AColor, const QString& ATitle, const QString& AData) {
  if (FParent.IsOn(ALevel))
    FParent.SendPacket({QDateTime::currentDateTime(), ALevel, AColor, ATitle, AData});
}

void TSiSession::LogColored(TSiLevel ALevel, TLogColor AColor, const QString& ATitle) { Send(ALevel, AColor, ATitle); }

void TSiSession::LogColored(TLogColor AColor, const QString& ATitle) { Send(FDefaultLevel, AColor, ATitle); }

void TSiSession::LogText(TSiLevel ALevel, const QString& ATitle, const QString& AText) {
  Send(ALevel, FColorBackground, ATitle, AText);
}

void TSiSession::LogStringList(const QString& ATitle, const QStringList& AStrings) {
  Send(FDefaultLevel, FColorBackground, ATitle, AStrings.join(u'\n'));
}

void TSiSession::EnterMethod(const std::type_info& AInstance, const QString& AMethodName) {
  Send(FDefaultLevel, FColorBackground, QStringLiteral("Enter: ") + ClassNameOf(AInstance) + u'.' + AMethodName);
}

void TSiSession::LeaveMethod(const std::type_info& AInstance, const QString& AMethodName) {
  Send(FDefaultLevel, FColorBackground, QStringLiteral("Leave: ") + ClassNameOf(AInstance) + u'.' + AMethodName);
}

void TSiSession::LogSeparator() { Send(FDefaultLevel, FColorBackground, QString(60, u'-')); }

void TSiSession::LogSystem() {
  const QStringList Lines = {
      QStringLiteral("Application: ") + FParent.AppName(),
      QStringLiteral("Executable: ") + ExePath(),
      QStringLiteral("Process id: ") + QString::number(QCoreApplication::applicationPid()),
      QStringLiteral("User: ") + GetWindowsUserName(),
      QStringLiteral("Computer: ") + GetWindowsComputerName(),
      QStringLiteral("Operating system: ") + QSysInfo::prettyProductName() + QStringLiteral(" (") +
          QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion() + u')',
      QStringLiteral("Architecture: ") + QSysInfo::currentCpuArchitecture(),
      QStringLiteral("Qt: ") + QString::fromLatin1(qVersion()),
      QStringLiteral("Locale: ") + QLocale::system().name(),
  };
  Send(FDefaultLevel, FColorBackground, QStringLiteral("System information"), Lines.join(u'\n'));
}

TSmartInspect::TSmartInspect(QString AAppName) : FAppName(std::move(AAppName)) {}

TSmartInspect::~TSmartInspect() = default;

void TSmartInspect::SetConnections(const QString& Value) {
  FConnections = Value;
  FMemoryProtocol = ProtocolNames(Value).contains(QStringLiteral("mem"));
  const std::lock_guard Lock(FBufferLock);
  FBuffer.clear();
}

TSiSession* TSmartInspect::AddSession(const QString& AName) {
  FSessions.push_back(std::make_unique<TSiSession>(*this, AName));
  return FSessions.back().get();
}

void TSmartInspect::SendPacket(TSiPacket APacket) {
  const std::lock_guard Lock(FBufferLock);
  if (FMemoryProtocol)
    FBuffer.append(std::move(APacket));
}

void TSmartInspect::Dispatch(const QString& ACaption, qint32 AAction, QIODevice& AState) {
  if (!FMemoryProtocol || AAction != 0 || ACaption.compare(QStringLiteral("mem"), Qt::CaseInsensitive) != 0)
    return;
  const std::lock_guard Lock(FBufferLock);
  for (const TSiPacket& Packet : FBuffer) {
    const QByteArray Bytes = PacketText(Packet).toUtf8();
    if (AState.write(Bytes) != Bytes.size())
      throw Exception(QStringLiteral("Cannot write the log: ") + AState.errorString());
  }
}

void SiInitialize(const QString& AAppName) {
  TheBackend = std::make_unique<TSmartInspect>(AAppName);
  TheBackend->SetConnections(QStringLiteral("pipe(reconnect=true, reconnect.interval=1s)"));
  Si = TheBackend.get();
  SiMain = Si->AddSession(QStringLiteral("Main"));
}

void SiFinalize() {
  SiMain = nullptr;
  Si = nullptr;
  TheBackend.reset();
}

}  // namespace quillon
