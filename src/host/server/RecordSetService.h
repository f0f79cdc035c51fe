// The host's generic single-table record service: a REST service method that inserts one record,
// sent as a JSON object whose members are field names, into the table a descendant serves.
// Descendants choose the table, the connector session types they accept, add values of their own
// to the insert, and hear of each record added.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/json/JsonValue.h"

namespace vela {

class TClientSQL;
class TVelaDatabase;
class TVelaRestRequestContext;
class TVelaRestRouter;

// Connector session types of REST callers (bit numbers of a set; the first three are the ones a
// normal record service accepts).
enum TArdoConnectorSessionType {
  cstRestToken = 0,  // a client with an access token
  cstInternal = 1,   // a call inside the host, not made over REST
  cstScript = 2,     // a script of the host
  cstAnonymous = 3,  // a REST client without a token
};

class TArdoRestAPICustomSingleVelaRecordSetServiceImpl {
 public:
  explicit TArdoRestAPICustomSingleVelaRecordSetServiceImpl(TVelaDatabase& db);
  virtual ~TArdoRestAPICustomSingleVelaRecordSetServiceImpl();

  // Inserts one record from RecordData (one JSON object, members = field names of the served
  // table). MethodResult tells success; ResultInfo is the JSON answer ({"result":true,"id":N} or
  // {"errorCode":STATUS,"errorText":TEXT}). ctx is nil for a call not made over REST.
  void AddRecord(TVelaRestRequestContext* ctx, const std::string& RecordData, bool& MethodResult,
                 std::string& ResultInfo);

  // Registers POST /root/service.AddRecord on the router: each request gets a new service object
  // from factory and is answered with ResultInfo (status 200 on success, the error's status
  // otherwise). The route lets anonymous callers reach the service, which refuses them unless
  // its session types include cstAnonymous.
  static void Register(
      TVelaRestRouter& router, std::string_view root, std::string_view service,
      std::function<std::unique_ptr<TArdoRestAPICustomSingleVelaRecordSetServiceImpl>()> factory);

  // The session type of a caller: a token's, an anonymous REST client's, or cstInternal for nil.
  static TArdoConnectorSessionType SessionTypeOf(const TVelaRestRequestContext* ctx);

 protected:
  // The accepted session types as bits (1 << type); default cstRestToken, cstInternal and
  // cstScript (7).
  virtual uint32_t GetValidConnectorSessionTypes() const;
  // Called after a record was added; the default does nothing.
  virtual void NotifyRecordAdded(int64_t AId);
  // Copies the members of json into the insert, converted by the field types. A descendant adds
  // or overrides values after calling it.
  virtual void CopyJsonValuesToSQLEdit(const TJsonValue& json, TClientSQL& sql,
                                       TVelaRestRequestContext* ctx);
  // The served table.
  virtual std::string GetSchemaName() const = 0;

  TVelaDatabase& Database() const { return FDb; }

 private:
  // AddRecord's work; returns the answer's HTTP status.
  int DoAddRecord(TVelaRestRequestContext* ctx, const std::string& RecordData, bool& MethodResult,
                  std::string& ResultInfo);

  TVelaDatabase& FDb;
};

}  // namespace vela
