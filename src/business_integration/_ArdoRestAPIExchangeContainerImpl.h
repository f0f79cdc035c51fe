// The exchange container service: adds a container record from JSON; the request's own user
// agent, address and URL replace what the JSON says, and each added container requests an import
// run.
#pragma once

#include "host/server/RecordSetService.h"

namespace vela {

class TArdoRestAPIExchangeContainerImpl : public TArdoRestAPICustomSingleVelaRecordSetServiceImpl {
 public:
  using TArdoRestAPICustomSingleVelaRecordSetServiceImpl::
      TArdoRestAPICustomSingleVelaRecordSetServiceImpl;

  // Registers ExchangeContainer.AddRecord below the business integration API root.
  static void Register(TVelaRestRouter& router, TVelaDatabase& db);

 protected:
  uint32_t GetValidConnectorSessionTypes() const override;
  void NotifyRecordAdded(int64_t AId) override;
  void CopyJsonValuesToSQLEdit(const TJsonValue& json, TClientSQL& sql,
                               TVelaRestRequestContext* ctx) override;
  std::string GetSchemaName() const override;
};

}  // namespace vela
