// Gold-standard lookups of a compare run, which a client may send ahead of their turn over
// several connections.
#include "service/Service.Lookahead.h"

#include "infra/platform/Support.Exceptions.h"

namespace quillon {

QString LookupText(OstrelServiceSoap& AService, const TServiceLookup& ALookup) {
  switch (ALookup.Operation) {
    case TServiceLookup::GetDbCheckConstraint:
      return AService.GetDbCheckConstraint(ALookup.SchemaName, ALookup.ObjectName, ALookup.DbVer);
    case TServiceLookup::GetDbView:
      return AService.GetDbView(ALookup.SchemaName, ALookup.ObjectName, ALookup.DbVer);
    case TServiceLookup::GetDbRoutine:
      return AService.GetDbRoutine(ALookup.SchemaName, ALookup.ObjectName, ALookup.DbVer);
    case TServiceLookup::GetDbIndex:
      break;
  }
  throw EAssertionFailed(QStringLiteral("LookupText: GetDbIndex answers a truth value, not a text"));
}

bool LookupIsUnique(OstrelServiceSoap& AService, const TServiceLookup& ALookup) {
  if (ALookup.Operation != TServiceLookup::GetDbIndex)
    throw EAssertionFailed(QStringLiteral("LookupIsUnique: only GetDbIndex answers a truth value"));
  return AService.GetDbIndex(ALookup.SchemaName, ALookup.TableName, ALookup.ObjectName, ALookup.DbVer);
}

TLookahead::TLookahead(OstrelServiceSoap* AService, std::vector<TServiceLookup> ALookups)
    : FService(dynamic_cast<IServiceLookahead*>(AService)) {
  if (FService)
    FService->BeginLookahead(std::move(ALookups));
}

TLookahead::~TLookahead() {
  if (FService)
    FService->EndLookahead();
}

}  // namespace quillon
