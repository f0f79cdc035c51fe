#include "business_integration/_ArdoRestAPIExchangeContainerImpl.h"

#include "business_integration/_dmBusinessIntegration.h"
#include "host/db/ClientSQL.h"
#include "host/server/RestContext.h"

namespace vela {

void TArdoRestAPIExchangeContainerImpl::Register(TVelaRestRouter& router, TVelaDatabase& db) {
  TArdoRestAPICustomSingleVelaRecordSetServiceImpl::Register(
      router, TdmBusinessIntegration::kAPIRoot, "ExchangeContainer",
      [&db] { return std::make_unique<TArdoRestAPIExchangeContainerImpl>(db); });
}

uint32_t TArdoRestAPIExchangeContainerImpl::GetValidConnectorSessionTypes() const {
  return 7;
}

void TArdoRestAPIExchangeContainerImpl::NotifyRecordAdded(int64_t AId) {
  TArdoRestAPICustomSingleVelaRecordSetServiceImpl::NotifyRecordAdded(AId);
  if (BusinessIntegrationModule) BusinessIntegrationModule->StartDataContainerImportJob();
}

void TArdoRestAPIExchangeContainerImpl::CopyJsonValuesToSQLEdit(const TJsonValue& json,
                                                                TClientSQL& sql,
                                                                TVelaRestRequestContext* ctx) {
  TArdoRestAPICustomSingleVelaRecordSetServiceImpl::CopyJsonValuesToSQLEdit(json, sql, ctx);
  if (!ctx) return;
  // What the client says about itself is replaced by what its request shows.
  sql.SetFieldValue("useragent", ctx->GetUserAgent());
  sql.SetFieldValue("remoteip", ctx->GetRemoteIP());
  sql.SetFieldValue("incomminguri", ctx->Url());
}

std::string TArdoRestAPIExchangeContainerImpl::GetSchemaName() const {
  return "businessintegration_exchangecontainer";
}

}  // namespace vela
