#include "infra/logging/Classes.Auditing.h"
#include "infra/platform/Support.Exceptions.h"
#include "support/RecordingLog.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace quillon {
namespace auditing_test {
class TfrmOwner : public QObject {};
class TPart : public QObject {
public:
  using QObject::QObject;
};
struct TPlain {
  explicit TPlain(bool& ADestroyed) : FDestroyed(ADestroyed) {}
  ~TPlain() { FDestroyed = true; }
  bool& FDestroyed;
};
struct TFailingDestructor {
  ~TFailingDestructor() noexcept(false) { throw Exception(QStringLiteral("handle already closed")); }
};
}  // namespace auditing_test

namespace {

using namespace auditing_test;
using test::TLogEntry;

class AuditingTest : public ::testing::Test {
protected:
  test::TRecordingLog Log;
  test::TGlobalLogGuard Guard{&Log};
  void SetUp() override { Log.SetLogCallStack(true); }
};

TEST_F(AuditingTest, ReportAtDestructionWithNoInstancesLeft) {
  {
    TClassCounter Counter;
    Counter.AddInstance(QStringLiteral("Ulmora.Db.TList"));
    Counter.RemoveInstance(QStringLiteral("Ulmora.Db.TList"));
  }
  EXPECT_EQ(Log.Entries,
            (QList<TLogEntry>{
                {TLogEntry::Enter, ltDebug, QStringLiteral("TClassCounter.BeforeDestruction")},
                {TLogEntry::SilentSuccess, ltDebug,
                 QStringLiteral("TClassCounter.BeforeDestruction: All instances destroyed successfully!")},
                {TLogEntry::Leave, ltDebug, QStringLiteral("TClassCounter.BeforeDestruction")}}))
      << Log.Dump().toStdString();
}

TEST_F(AuditingTest, ReportNamesEveryClassWithANonZeroCount) {
  {
    TClassCounter Counter;
    for (const char* Name : {"Ulmora.Db.TList", "Ulmora.Db.TList", "Ulmora.Db.TGone"})
      Counter.AddInstance(QString::fromLatin1(Name));
    for (const char* Name : {"Ulmora.Db.TList", "Ulmora.Db.TGone", "Ulmora.Db.TNever"})
      Counter.RemoveInstance(QString::fromLatin1(Name));
    EXPECT_EQ(Counter.GetClassInstanceCount(QStringLiteral("Ulmora.Db.TList")), 1);
    EXPECT_EQ(Counter.GetClassInstanceCount(QStringLiteral("Ulmora.Db.TNever")), -1);
    EXPECT_EQ(Counter.GetClassInstanceCount(QStringLiteral("Ulmora.Db.TUnseen")), 0);
  }
  EXPECT_EQ(Log.Texts(TLogEntry::SilentWarning),
            (QStringList{QStringLiteral("Ulmora.Db.TList: n=1"), QStringLiteral("Ulmora.Db.TNever: n=-1")}));
  EXPECT_EQ(Log.Texts(TLogEntry::SilentError),
            QStringList{QStringLiteral("TClassCounter.BeforeDestruction: Instances of 2 classes remain")});
  EXPECT_TRUE(Log.Texts(TLogEntry::SilentSuccess).isEmpty());
}

TEST_F(AuditingTest, LogEverythingSkipsIgnoredClassesWhateverTheirCase) {
  TClassCounter Counter;
  Counter.AddInstance(QStringLiteral("Ulmora.Db.TList"));
  Counter.SetLogEverything(true);
  Counter.DoNotLog(QStringLiteral("Ulmora.Db.TCache"));
  Counter.DoNotLog(QStringLiteral("ULMORA.DB.TCACHE"));
  Counter.AddInstance(QStringLiteral("Ulmora.Db.TList"));
  Counter.AddInstance(QStringLiteral("ulmora.db.tcache"));
  Counter.RemoveInstance(QStringLiteral("Ulmora.Db.TList"));
  EXPECT_EQ(Log.Entries, (QList<TLogEntry>{
                             {TLogEntry::Event, ltInfo, QStringLiteral("TClassCounter.AddInstance: Ulmora.Db.TList Create(n=2)")},
                             {TLogEntry::Event, ltInfo, QStringLiteral("TClassCounter.RemoveInstance: Ulmora.Db.TList ( n = 1 )")}}))
      << Log.Dump().toStdString();
  EXPECT_EQ(Counter.GetClassInstanceCount(QStringLiteral("ulmora.db.tcache")), 1);
}

TEST_F(AuditingTest, GlobalCounterLivesBetweenStartAndStop) {
  StartClassAuditing();
  ASSERT_NE(GlobalClassCounter, nullptr);
  GlobalClassCounter->SetLogEverything(true);
  GlobalClassCounter->AddInstance(QStringLiteral("ulmora.reports.treportcache"));
  EXPECT_TRUE(Log.Entries.isEmpty()) << Log.Dump().toStdString();
  GlobalClassCounter->RemoveInstance(QStringLiteral("ulmora.reports.treportcache"));
  StopClassAuditing();
  EXPECT_EQ(GlobalClassCounter, nullptr);
  EXPECT_EQ(Log.Texts(TLogEntry::Enter), (QStringList{QStringLiteral("QCoreApplication.Finalizing Ulmora.Classes.Auditing"),
                                                     QStringLiteral("TClassCounter.BeforeDestruction")}));
  EXPECT_EQ(Log.Texts(TLogEntry::Leave), (QStringList{QStringLiteral("TClassCounter.BeforeDestruction"),
                                                     QStringLiteral("QCoreApplication.Finalized Ulmora.Classes.Auditing")}));
}

TEST_F(AuditingTest, SafeFreeLeavesAnOwnedObjectAlive) {
  TfrmOwner Form;
  QPointer<TPart> Part = new TPart(&Form);
  SafeFree(Part.data());
  std::unique_ptr<TPart> Held(new TPart(&Form));
  QPointer<TPart> HeldPart = Held.get();
  SafeFree(Held);
  EXPECT_FALSE(Part.isNull());
  EXPECT_FALSE(HeldPart.isNull());
  EXPECT_EQ(Held, nullptr);
  const QString Warning = QStringLiteral(
      "SafeFree: Somebody else (TfrmOwner) owns TPart, free is unsafe. Not freed, young Zaphod plays it safe.");
  EXPECT_EQ(Log.Texts(TLogEntry::SilentWarning), (QStringList{Warning, Warning}));
}

TEST_F(AuditingTest, SafeFreeFreesWhatNobodyOwns) {
  QPointer<TPart> Part = new TPart();
  SafeFree(Part.data());
  EXPECT_TRUE(Part.isNull());
  bool Destroyed = false;
  auto Plain = std::make_unique<TPlain>(Destroyed);
  SafeFree(Plain);
  EXPECT_TRUE(Destroyed);
  EXPECT_EQ(Plain, nullptr);
  SafeFree(static_cast<QObject*>(nullptr));
  EXPECT_EQ(Log.Entries, (QList<TLogEntry>{{TLogEntry::Event, ltInfo,
                                             QStringLiteral("SafeFree: Nobody owns TPart, should be safe to free.")}}))
      << Log.Dump().toStdString();
}

TEST_F(AuditingTest, SafeFreeLogsAFailedFreeAndCarriesOn) {
  auto Failing = std::make_unique<TFailingDestructor>();
  EXPECT_NO_THROW(SafeFree(Failing));
  EXPECT_EQ(Failing, nullptr);
  EXPECT_EQ(Log.Texts(TLogEntry::SilentError),
            QStringList{QStringLiteral("SafeFree(TFailingDestructor) failed: handle already closed")});
}

}  // namespace
}  // namespace quillon
