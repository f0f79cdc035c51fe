#include "host/server/RecordSetService.h"

#include "host/db/ClientSQL.h"
#include "host/db/VelaDatabase.h"
#include "host/server/JsonRecordValues.h"
#include "host/server/RestRouter.h"

namespace vela {

namespace {

const char* const kSessionTypeNames[] = {"REST token", "internal", "script", "anonymous"};

std::string ErrorJson(int status, const std::string& text) {
  TJsonValue answer = TJsonValue::MakeObject();
  answer.Add("errorCode", TJsonValue(status));
  answer.Add("errorText", TJsonValue(text));
  return answer.ToJSON();
}

}  // namespace

TArdoRestAPICustomSingleVelaRecordSetServiceImpl::TArdoRestAPICustomSingleVelaRecordSetServiceImpl(
    TVelaDatabase& db)
    : FDb(db) {}

TArdoRestAPICustomSingleVelaRecordSetServiceImpl::
    ~TArdoRestAPICustomSingleVelaRecordSetServiceImpl() = default;

TArdoConnectorSessionType TArdoRestAPICustomSingleVelaRecordSetServiceImpl::SessionTypeOf(
    const TVelaRestRequestContext* ctx) {
  if (!ctx) return cstInternal;
  return ctx->Session().Kind == TRestSessionKind::rskToken ? cstRestToken : cstAnonymous;
}

uint32_t TArdoRestAPICustomSingleVelaRecordSetServiceImpl::GetValidConnectorSessionTypes() const {
  return (1u << cstRestToken) | (1u << cstInternal) | (1u << cstScript);
}

void TArdoRestAPICustomSingleVelaRecordSetServiceImpl::NotifyRecordAdded(int64_t) {}

void TArdoRestAPICustomSingleVelaRecordSetServiceImpl::CopyJsonValuesToSQLEdit(
    const TJsonValue& json, TClientSQL& sql, TVelaRestRequestContext*) {
  auto table = FDb.GetSchemaByName(sql.GetSchemaName());
  if (!table) throw ERestError(500, "The served table '" + sql.GetSchemaName() + "' is missing");
  SetJsonRecordValues(sql, *table, json);
}

void TArdoRestAPICustomSingleVelaRecordSetServiceImpl::AddRecord(TVelaRestRequestContext* ctx,
                                                                 const std::string& RecordData,
                                                                 bool& MethodResult,
                                                                 std::string& ResultInfo) {
  DoAddRecord(ctx, RecordData, MethodResult, ResultInfo);
}

int TArdoRestAPICustomSingleVelaRecordSetServiceImpl::DoAddRecord(TVelaRestRequestContext* ctx,
                                                                  const std::string& RecordData,
                                                                  bool& MethodResult,
                                                                  std::string& ResultInfo) {
  MethodResult = false;
  int64_t id = 0;
  try {
    const TArdoConnectorSessionType type = SessionTypeOf(ctx);
    if ((GetValidConnectorSessionTypes() & (1u << type)) == 0)
      throw ERestError(403, std::string("The service accepts no calls of ") +
                                kSessionTypeNames[type] + " sessions");
    const TJsonValue json = ParseJsonObject(RecordData);
    TClientSQL sql(FDb);
    sql.SetSchemaName(GetSchemaName());
    sql.SetMode(csmInsert);
    CopyJsonValuesToSQLEdit(json, sql, ctx);
    id = sql.Execute();
    if (id <= 0) throw ERestError(500, "The record was not added");
  } catch (const ERestError& e) {
    ResultInfo = ErrorJson(e.Status(), e.Message());
    return e.Status();
  } catch (const EDatabaseError& e) {
    // A value the database refuses (type, length, required field, foreign key).
    ResultInfo = ErrorJson(400, e.Message());
    return 400;
  } catch (const std::exception& e) {
    ResultInfo = ErrorJson(500, ExceptionText(e));
    return 500;
  }
  MethodResult = true;
  TJsonValue answer = TJsonValue::MakeObject();
  answer.Add("result", TJsonValue(true));
  answer.Add("id", TJsonValue(id));
  ResultInfo = answer.ToJSON();
  // The record is committed: a failing notification must not turn the answer into an error that
  // makes the client send it again.
  try {
    NotifyRecordAdded(id);
  } catch (...) {
  }
  return 200;
}

void TArdoRestAPICustomSingleVelaRecordSetServiceImpl::Register(
    TVelaRestRouter& router, std::string_view root, std::string_view service,
    std::function<std::unique_ptr<TArdoRestAPICustomSingleVelaRecordSetServiceImpl>()> factory) {
  router.RegisterService(
      root, service, "AddRecord",
      [factory = std::move(factory)](TVelaRestRequestContext& ctx) {
        if (ctx.Method() != "POST") {
          ctx.Error("AddRecord needs a POST request", 405);
          return;
        }
        auto impl = factory();
        bool ok = false;
        std::string info;
        const int status = impl->DoAddRecord(&ctx, ctx.InContent(), ok, info);
        ctx.ReturnsJson(std::move(info), status);
      },
      /*allowUnauthenticated=*/true);
}

}  // namespace vela
