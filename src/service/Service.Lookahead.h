// Gold-standard lookups of a compare run, which a client may send ahead of their turn over
// several connections.
#pragma once

#include "service/OstrelService.h"

#include <vector>

namespace quillon {

// One gold-standard lookup of a compare run: a Get… operation of the port and its arguments.
struct TServiceLookup {
  enum TOperation { GetDbCheckConstraint, GetDbView, GetDbRoutine, GetDbIndex };

  TOperation Operation;
  QString SchemaName;
  // The constraint, view, routine or index name.
  QString ObjectName;
  // The index's table; empty for the other operations.
  QString TableName;
  qint32 DbVer = 0;

  bool operator==(const TServiceLookup&) const = default;
};

// Asks AService the lookup's question through the port's own operation: the text of a check
// constraint, view or routine, or whether an index is unique.
QString LookupText(OstrelServiceSoap& AService, const TServiceLookup& ALookup);
bool LookupIsUnique(OstrelServiceSoap& AService, const TServiceLookup& ALookup);

// A client that can send the lookups of a run ahead of their turn, over several connections.
// The caller still asks every lookup through the port, in the announced order, and each answer
// or failure reaches it only then, exactly as if nothing had been sent ahead: a lookup that
// failed ahead raises when its turn comes, and nothing is asked twice.
class IServiceLookahead {
public:
  virtual ~IServiceLookahead() = default;
  // ALookups will be asked next, in this order; replaces an earlier announcement.
  virtual void BeginLookahead(std::vector<TServiceLookup> ALookups) = 0;
  // Abandons whatever is still in flight or unasked.
  virtual void EndLookahead() = 0;
};

// Announces ALookups to AService for as long as it lives, when the service can send them ahead
// (a client that cannot is asked one lookup at a time as before). Ending the scope, by an
// exception too, abandons the lookups still in flight.
class TLookahead {
public:
  TLookahead(OstrelServiceSoap* AService, std::vector<TServiceLookup> ALookups);
  ~TLookahead();
  TLookahead(const TLookahead&) = delete;
  TLookahead& operator=(const TLookahead&) = delete;

private:
  IServiceLookahead* FService;
};

}  // namespace quillon
