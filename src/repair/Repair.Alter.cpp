// The repair ALTER of views, routines and check constraints, and the SET options and transaction
// it is sent with.
#include "repair/Repair.Alter.h"

#include "database/Database.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "model/Constraints.h"
#include "model/ModuleSetOptions.h"
#include "model/Routines.h"
#include "model/Tables.h"

namespace quillon {

namespace {

const QString BatchSeparator = QStringLiteral("\r\nGO\r\n");
// Bits of @@OPTIONS.
constexpr qint32 AnsiNullsOption = 32;
constexpr qint32 QuotedIdentifierOption = 256;
constexpr qint32 XactAbortOption = 16384;

QString OnOff(bool AValue) { return AValue ? QStringLiteral("ON") : QStringLiteral("OFF"); }

QString SetStatementsFor(bool AQuotedIdentifier, bool AAnsiNulls) {
  return QStringLiteral("SET QUOTED_IDENTIFIER %1;\r\nSET ANSI_NULLS %2;").arg(OnOff(AQuotedIdentifier), OnOff(AAnsiNulls));
}

// The position of the first character at or after APosition that is neither white space nor
// part of a comment. Block comments nest in T-SQL.
qsizetype SkipSpaceAndComments(const QString& AText, qsizetype APosition) {
  const qsizetype Size = AText.size();
  const auto PairAt = [&AText](qsizetype AAt) { return QStringView(AText).mid(AAt, 2); };
  while (APosition < Size) {
    if (AText[APosition].isSpace()) {
      ++APosition;
    } else if (PairAt(APosition) == u"--") {
      const qsizetype LineEnd = AText.indexOf(u'\n', APosition);
      APosition = LineEnd < 0 ? Size : LineEnd + 1;
    } else if (PairAt(APosition) == u"/*") {
      qint32 Depth = 0;
      do {
        if (PairAt(APosition) == u"/*") {
          ++Depth;
          APosition += 2;
        } else if (PairAt(APosition) == u"*/") {
          --Depth;
          APosition += 2;
        } else {
          ++APosition;
        }
      } while (Depth > 0 && APosition < Size);
    } else {
      break;
    }
  }
  return APosition;
}

bool IsWordCharacter(QChar AChar) {
  return AChar.isLetterOrNumber() || AChar == u'_' || AChar == u'@' || AChar == u'#' || AChar == u'$';
}

QString WordAt(const QString& AText, qsizetype APosition) {
  qsizetype End = APosition;
  while (End < AText.size() && IsWordCharacter(AText[End]))
    ++End;
  return AText.mid(APosition, End - APosition);
}

QString ViewAlterCommand(const TDatabaseView& AView) {
  RefuseRepairOfUnreadable(AView, QStringLiteral("VIEW"));
  const QString Alter = LeadingCreateToAlter(AView.GetStandardDefinition(), {QStringLiteral("VIEW")});
  const QString Warning =
      AView.Indexed()
          ? QStringLiteral("-- An indexed view: this ALTER drops all its indexes, which must be made again.\r\n")
          : QString();
  return Warning + SetOptionsScript(AView.SetOptions(), Alter);
}

void ViewExecuteAlter(ISQL* ASQL, const TDatabaseView& AView, const QString& ACommand) {
  if (AView.Indexed() && !AView.IndexLossAllowed())
    throw Exception(QStringLiteral("%1 is an indexed view: altering it drops all its indexes, so it is altered only "
                                   "when that is allowed")
                        .arg(AView.FullName()));
  ExecuteWithSetOptions(ASQL, AView.SetOptions(), AView.FullName(), ACommand);
}

QString RoutineAlterCommand(const TDatabaseRoutine& ARoutine) {
  RefuseRepairOfUnreadable(ARoutine, ARoutine.RoutineType());
  if (ARoutine.GetStandardDefinition().isEmpty())
    throw Exception(QStringLiteral("Standard definition missing"));
  // SQL Server takes PROC for PROCEDURE.
  const bool IsProcedure = SameTextAscii(ARoutine.RoutineType(), QStringLiteral("PROCEDURE"));
  const QString Alter = LeadingCreateToAlter(
      ARoutine.GetStandardDefinition(),
      IsProcedure ? QStringList{ARoutine.RoutineType(), QStringLiteral("PROC")} : QStringList{ARoutine.RoutineType()});
  return SetOptionsScript(ARoutine.SetOptions(), Alter);
}

// XACT_ABORT dooms the transaction on any run-time error and the CATCH block rolls it back and
// passes the error on, so the constraint is either replaced or left exactly as it was.
QString CheckAlterCommand(const TDatabaseCheckConstraint& ACheck) {
  const QString Table = QuoteName(ACheck.TableSchema()) + QLatin1Char('.') + QuoteName(ACheck.TableName());
  const QString Untrusted = ACheck.NotTrusted() ? QStringLiteral("-- Added back WITH NOCHECK, as it was: the rows it "
                                                                "never checked are not checked now.\r\n")
                                                : QString();
  return Untrusted +
         Format(QStringLiteral("SET XACT_ABORT ON;\r\n"
                               "BEGIN TRY\r\n"
                               "BEGIN TRANSACTION;\r\n"
                               "ALTER TABLE %s DROP CONSTRAINT %s;\r\n"
                               "ALTER TABLE %s%s ADD CONSTRAINT %s CHECK%s %s;\r\n"
                               "COMMIT TRANSACTION;\r\n"
                               "END TRY\r\n"
                               "BEGIN CATCH\r\n"
                               "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;\r\n"
                               "THROW;\r\n"
                               "END CATCH;"),
                {Table, QuoteName(ACheck.ConstraintName()), Table,
                 ACheck.NotTrusted() ? QStringLiteral(" WITH NOCHECK") : QString(), QuoteName(ACheck.ConstraintName()),
                 ACheck.NotForReplication() ? QStringLiteral(" NOT FOR REPLICATION") : QString(),
                 ACheck.GetStandardDefinition()});
}

// Some errors (a name that cannot be resolved until the statement runs) end the batch before its
// CATCH block, with the transaction still open; and SET XACT_ABORT outlasts the batch. So the
// connection is put back afterwards, whatever the outcome: nothing left open, the setting as
// it was found.
void CheckExecuteAlter(ISQL* ASQL, const QString& ACommand) {
  TDataSet* Options = ASQL->FastQuery(QStringLiteral("SELECT @@OPTIONS"));
  const bool XactAbortWasOn = (Options->Fields(0).AsInteger() & XactAbortOption) != 0;
  Options->Close();
  const QString Restore = XactAbortWasOn ? QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;")
                                         : QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;\r\n"
                                                          "SET XACT_ABORT OFF;");
  RunThenRestore(ASQL, {ACommand}, Restore);
}

[[noreturn]] void RefuseKind(const TDatabaseObject& AObject) {
  throw Exception(Format(QStringLiteral("%s cannot be repaired: objects of its kind are not altered"), {AObject.FullName()}));
}

}  // namespace

bool IsAlterable(const TDatabaseObject& AObject) {
  return dynamic_cast<const TDatabaseView*>(&AObject) || dynamic_cast<const TDatabaseRoutine*>(&AObject) ||
         dynamic_cast<const TDatabaseCheckConstraint*>(&AObject);
}

QString AlterCommand(const TDatabaseObject& AObject) {
  if (const auto* View = dynamic_cast<const TDatabaseView*>(&AObject))
    return ViewAlterCommand(*View);
  if (const auto* Routine = dynamic_cast<const TDatabaseRoutine*>(&AObject))
    return RoutineAlterCommand(*Routine);
  if (const auto* Check = dynamic_cast<const TDatabaseCheckConstraint*>(&AObject))
    return CheckAlterCommand(*Check);
  RefuseKind(AObject);
}

void ExecuteAlter(ISQL* ASQL, const TDatabaseObject& AObject, const QString& ACommand) {
  if (const auto* View = dynamic_cast<const TDatabaseView*>(&AObject))
    ViewExecuteAlter(ASQL, *View, ACommand);
  else if (const auto* Routine = dynamic_cast<const TDatabaseRoutine*>(&AObject))
    ExecuteWithSetOptions(ASQL, Routine->SetOptions(), Routine->FullName(), ACommand);
  else if (dynamic_cast<const TDatabaseCheckConstraint*>(&AObject))
    CheckExecuteAlter(ASQL, ACommand);
  else
    RefuseKind(AObject);
}

void Alter(ISQL* ASQL, const TDatabaseObject& AObject) { ExecuteAlter(ASQL, AObject, AlterCommand(AObject)); }

QString SetOptionsScript(const TModuleSetOptions& AOptions, const QString& AAlter) {
  // No gold text, no repair: SET statements alone would make an empty ALTER look repairable.
  if (AAlter.trimmed().isEmpty())
    return {};
  if (!AOptions.Known())
    return QStringLiteral("-- The SET options this object was created with are not known: it is not altered.\r\n") +
           AAlter;
  return SetStatementsFor(*AOptions.QuotedIdentifier(), *AOptions.AnsiNulls()) + BatchSeparator + AAlter;
}

void ExecuteWithSetOptions(ISQL* ASQL, const TModuleSetOptions& AOptions, const QString& AObjectName,
                           const QString& AScript) {
  if (!AOptions.Known())
    throw Exception(QStringLiteral("The SET options (QUOTED_IDENTIFIER, ANSI_NULLS) %1 was created with cannot be "
                                   "read, so it is not altered: an ALTER under other options would change it")
                        .arg(AObjectName));
  const qsizetype Separator = AScript.indexOf(BatchSeparator);
  if (Separator < 0)
    throw Exception(QStringLiteral("The repair script of %1 does not set the options it was created with").arg(AObjectName));
  TDataSet* Options = ASQL->FastQuery(QStringLiteral("SELECT @@OPTIONS"));
  const qint32 Session = Options->Fields(0).AsInteger();
  Options->Close();
  const QString Restore =
      SetStatementsFor((Session & QuotedIdentifierOption) != 0, (Session & AnsiNullsOption) != 0);
  RunThenRestore(ASQL, {AScript.left(Separator), AScript.mid(Separator + BatchSeparator.size())}, Restore);
}

QString LeadingCreateToAlter(const QString& ADefinition, const QStringList& AKinds) {
  const QString Create = QStringLiteral("CREATE");
  const qsizetype Start = SkipSpaceAndComments(ADefinition, 0);
  if (!SameTextAscii(WordAt(ADefinition, Start), Create))
    return ADefinition;
  const QString Kind = WordAt(ADefinition, SkipSpaceAndComments(ADefinition, Start + Create.size()));
  if (!AKinds.contains(Kind, Qt::CaseInsensitive))
    return ADefinition;
  return QString(ADefinition).replace(Start, Create.size(), QStringLiteral("ALTER"));
}

void RunThenRestore(ISQL* ASQL, const QStringList& ACommands, const QString& ARestore) {
  try {
    for (const QString& Command : ACommands)
      ASQL->ExecuteCommand(Command);
  } catch (...) {
    try {
      ASQL->ExecuteCommand(ARestore);
    } catch (const std::exception&) {
    }
    throw;
  }
  ASQL->ExecuteCommand(ARestore);
}

void RefuseRepairOfUnreadable(const TDatabaseObject& AObject, const QString& AKindName) {
  const auto* Coded = dynamic_cast<const ICodedObject*>(&AObject);
  if (Coded && Coded->DefinitionUnreadable())
    throw Exception(Format(QStringLiteral("%s %s cannot be repaired: its definition is unreadable (%s)"),
                           {AKindName, AObject.FullName(), UnreadableReason}));
}

}  // namespace quillon
