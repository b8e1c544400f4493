// The kinds of object a check can take part in: their flags, what the window and the command
// line call them, and which of them only a baseline compares.
#pragma once

#include "drift/Drift.Engine.h"

#include <QList>
#include <QString>

namespace quillon {

class TDatabaseDescriber;

enum TKindFlag : unsigned {
  kindSchemata = 1,
  kindChecks = 2,
  kindViews = 4,
  kindRoutines = 8,
  kindForeignKeys = 16,
  kindIndexes = 32,
  // Every kind --kinds names; tables, which have no comparison of their own, are the window's.
  kindAll = 63,
  kindTables = 64
};

struct TCheckKind {
  TKindFlag Flag;
  // The window's list: "Check constraints".
  QString Caption;
  // --kinds: "checks"; empty for a kind the command line does not name.
  QString OptionName;
  // What a baseline compares of the kind, for the kinds the gold standard holds no definitions
  // of; empty for the kinds it holds.
  QList<TDriftKind> BaselineKinds;
};

// In the order the window lists them.
const QList<TCheckKind>& CheckKinds();

// Sets the describer's Compare flags from AKinds.
void SelectKinds(TDatabaseDescriber& ADescriber, unsigned AKinds);

// The drift kinds a baseline compares for AKinds, privileges with any of them; empty when AKinds
// holds no kind only a baseline compares.
QList<TDriftKind> BaselineDriftKinds(unsigned AKinds);
// "schemata, tables, privileges": the kinds of AKinds only a baseline compares, as people read
// them.
QString BaselineKindsText(unsigned AKinds);

}  // namespace quillon
