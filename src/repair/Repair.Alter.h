// The ALTER that repairs an object from its gold-standard text, for each kind that has one, and
// how it is sent: under the SET options a module was created with, or in one transaction.
#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

class ISQL;
class TDatabaseObject;
class TModuleSetOptions;

// True for the kinds a repair alters: views, routines and check constraints.
bool IsAlterable(const TDatabaseObject& AObject);
// The batch that gives AObject its gold-standard text:
// - a view: the gold text with its leading "CREATE VIEW" (any case) made "ALTER VIEW", after the
//   SET options the view was created with; for an indexed view, after a warning that the ALTER
//   drops its indexes;
// - a routine: the same with "CREATE <routine type>"; Exception "Standard definition missing"
//   without a gold text;
// - a check constraint: one batch that drops the constraint and adds it back with the gold
//   clause, inside a transaction with XACT_ABORT ON, so that a failed add rolls the drop back.
//   It keeps NOT FOR REPLICATION, and a constraint the server did not trust comes back WITH
//   NOCHECK (the script says so), so that rows it never checked do not block the repair.
// A view or routine whose definition is unreadable is refused: it may be encrypted, and the gold
// text would replace it unencrypted. Raises Exception for a kind IsAlterable refuses.
QString AlterCommand(const TDatabaseObject& AObject);
// Sends ACommand, a text AlterCommand gave, with what the kind needs around it: a repair that
// was shown to the user first runs exactly what was shown. A view or routine runs its SET
// statements and its ALTER as batches of their own and gives the session its options back; it
// is refused when its options are not known, and an indexed view unless the loss of its indexes
// was allowed.
void ExecuteAlter(ISQL* ASQL, const TDatabaseObject& AObject, const QString& ACommand);
// ExecuteAlter with AlterCommand.
void Alter(ISQL* ASQL, const TDatabaseObject& AObject);

// The repair script of a module: the SET statements of its options, then AAlter in a batch of
// its own; AAlter alone, after a comment that says so, when the options are not known; nothing
// without an ALTER.
QString SetOptionsScript(const TModuleSetOptions& AOptions, const QString& AAlter);
// Runs AScript, a text SetOptionsScript gave, as its two batches (the SET statements, then the
// ALTER, which must come first in a batch of its own) and gives the session back the options it
// had, whatever the outcome. Raises, running nothing, when the options are not known: the repair
// does not guess them.
void ExecuteWithSetOptions(ISQL* ASQL, const TModuleSetOptions& AOptions, const QString& AObjectName,
                           const QString& AScript);

// A module definition with the CREATE that begins its statement (after white space and
// comments) turned into ALTER, when the kind after it (past more comments) is one of AKinds
// in any letter case; any other text comes back unchanged. CREATE in later comments, string
// literals or nested statements stays as it is, and so does CREATE OR ALTER.
QString LeadingCreateToAlter(const QString& ADefinition, const QStringList& AKinds);

// Runs ACommands in turn, then ARestore, which puts the connection's settings back as they
// were. ARestore runs after a failure too, and the failure is what is raised: should the
// clean-up fail as well, the link is gone, and the next call says so.
void RunThenRestore(ISQL* ASQL, const QStringList& ACommands, const QString& ARestore);

// Raises Exception "<AKindName> <full name> cannot be repaired: ..." when AObject's definition is
// unreadable: the module may be encrypted, and the gold text would replace it unencrypted.
void RefuseRepairOfUnreadable(const TDatabaseObject& AObject, const QString& AKindName);

}  // namespace quillon
