// velaimport container ...: data container bodies saved in files, converted into the VelaXML
// document that their background import reads, or shown as the converters show them to users
// (the module's business integration data module does the work, IBIContainerConverter); and the
// container types that the application server accepts posts of.
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "Commands.h"
#include "business_integration/BIContainerConverterIntf.h"
#include "host/InterfacedData.h"
#include "host/db/ClientSQL.h"
#include "host/db/TransactionGuard.h"
#include "host/db/VelaDatabase.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

struct TContainerOptions {
  std::string Config;
  std::string File;
  std::string ContentType;
  std::string Out;
  bool Html = false;
};

// A container type as `container type add` writes it.
struct TContainerTypeOptions {
  std::string Name;
  std::string Config;
  bool AllowUnauth = false;
  std::string ContentType;
  std::string ResponseContentType;
  std::string Response;
};

const char* const kContainerTypes = "businessintegration_exchangecontainertype";

std::string ReadWholeFile(const std::string& APath, const char* AWhat) {
  if (std::filesystem::is_directory(APath)) throw EUsageError(APath + " is a folder, not a file");
  std::ifstream in(APath, std::ios::binary);
  if (!in) throw EUsageError(std::string(AWhat) + " '" + APath + "' not found");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The content type of a saved body: JSON for a ".json" file or a body that begins with "{" or
// "[" (after blanks); multipart when the body begins with a boundary line ("--" and a token);
// url-encoded otherwise.
std::string GuessContentType(const std::string& AFile, std::string_view ABody) {
  if (ABody.starts_with("\xEF\xBB\xBF")) ABody.remove_prefix(3);
  const size_t first = ABody.find_first_not_of(" \t\r\n");
  if (SameText(std::filesystem::path(AFile).extension().string(), ".json") ||
      (first != std::string_view::npos && (ABody[first] == '{' || ABody[first] == '[')))
    return "application/json";
  if (ABody.starts_with("--") && ABody.size() > 2 && ABody.find_first_of(" \r\n") > 2)
    return "multipart/form-data";
  return "application/x-www-form-urlencoded";
}

// The body of FILE and its content type (--content-type, else guessed). A UTF-8 byte-order mark
// in front of a JSON body is dropped: JSON texts have none.
std::pair<std::string, std::string> ReadContainer(const TContainerOptions& o) {
  std::string body = ReadWholeFile(o.File, "container file");
  std::string type = o.ContentType.empty() ? GuessContentType(o.File, body) : o.ContentType;
  if (StartsText("application/json", type) && body.starts_with("\xEF\xBB\xBF")) body.erase(0, 3);
  return {std::move(body), std::move(type)};
}

int RunConvert(TCommandContext& c, const TContainerOptions& o) {
  const std::string config = ReadWholeFile(o.Config, "configuration file");
  const auto [body, type] = ReadContainer(o);
  auto converter = c.ModuleFunction<IBIContainerConverter>("data container conversion");
  auto* memory = new TMemoryStream();
  IPtr<IDataStream> out = NewDataStream(memory, true);
  std::string error;
  if (!converter->Do_ConvertContainer(type, body, config, out.get(), error))
    throw ECommandFailed(o.File + ": " + error);
  const std::string document(memory->Memory(), static_cast<size_t>(memory->Size()));
  if (!o.Out.empty()) {
    std::ofstream file(o.Out, std::ios::binary);
    if (!(file << document)) throw ECommandFailed("cannot write " + o.Out);
  }
  TJson summary{{"result", true},
                {"contentType", type},
                {"output", o.Out.empty() ? TJson() : TJson(o.Out)},
                {"bytes", document.size()}};
  if (c.Json()) {
    if (o.Out.empty()) summary["document"] = document;
    c.Output(summary);
  } else if (o.Out.empty()) {
    c.Output({}, [&](std::ostream& os) { os << document; });
  }
  if (!o.Out.empty())
    c.Message(TMessageKind::Info,
              IntToStr(static_cast<int64_t>(document.size())) + " bytes written to " + o.Out);
  return kExitOk;
}

int RunShow(TCommandContext& c, const TContainerOptions& o) {
  const auto [body, type] = ReadContainer(o);
  auto converter = c.ModuleFunction<IBIContainerConverter>("data container display");
  std::string text, error;
  if (!converter->Do_ShowContainer(type, body, o.Html, text, error))
    throw ECommandFailed(o.File + ": " + error);
  if (c.Json())
    c.Output({{"result", true}, {"contentType", type}, {o.Html ? "html" : "text", text}});
  else
    c.Output({}, [&](std::ostream& os) {
      os << text;
      if (!text.empty() && text.back() != '\n') os << '\n';
    });
  return kExitOk;
}

// '' is stored as NULL.
Variant TextOrNull(const std::string& text) {
  return text.empty() ? Variant::MakeNull() : Variant(text);
}

// The id of the container type named descr, 0 when there is none.
int64_t FindContainerType(TVelaDatabase& db, const std::string& descr) {
  auto conn = db.Connection();
  TStatementRun st(conn->Prepare(
      "SELECT \"id\" FROM \"businessintegration_exchangecontainertype\" WHERE \"descr\" = " +
      conn->Placeholder(1) + " ORDER BY \"id\""));
  st->BindText(1, descr);
  st->Execute();
  return st->Next() ? st->ColumnInt64(0) : 0;
}

int RunTypeAdd(TCommandContext& c, const TContainerTypeOptions& o) {
  if (o.Name.empty()) throw EUsageError("the container type needs a name");
  const std::string config = ReadWholeFile(o.Config, "configuration file");
  TVelaDatabase& db = c.Database();
  TTransactionGuard transaction(db);
  int64_t id = FindContainerType(db, o.Name);
  const bool replaced = id > 0;
  TClientSQL sql(db);
  sql.SetSchemaName(kContainerTypes);
  sql.SetMode(replaced ? csmUpdate : csmInsert);
  if (replaced) sql.AddFilter("id", Variant(id));
  sql.SetFieldValue("descr", Variant(o.Name));
  sql.SetFieldValue("importconfig", Variant::FromBytes(config));
  sql.SetFieldValue("allowunauth", Variant(o.AllowUnauth));
  sql.SetFieldValue("contenttype", TextOrNull(o.ContentType));
  sql.SetFieldValue("rawresponsecontenttype", TextOrNull(o.ResponseContentType));
  sql.SetFieldValue("rawresponsecontent", TextOrNull(o.Response));
  const int64_t result = sql.Execute();
  if (!replaced) id = result;
  transaction.Commit();
  c.Output({{"result", true}, {"id", id}, {"name", o.Name}, {"replaced", replaced}},
           [&](std::ostream& out) {
             out << "container type '" << o.Name << "' " << (replaced ? "replaced" : "added")
                 << " (id " << id << ")\n";
           });
  return kExitOk;
}

int RunTypes(TCommandContext& c) {
  TVelaDatabase& db = c.Database();
  TJson types = TJson::array();
  {
    auto conn = db.Connection();
    TStatementRun st(
        conn->Prepare("SELECT \"id\", \"descr\", \"allowunauth\", \"contenttype\", "
                      "\"rawresponsecontenttype\", \"rawresponsecontent\", \"importconfig\" FROM "
                      "\"businessintegration_exchangecontainertype\" ORDER BY \"id\""));
    st->Execute();
    auto text = [&](int column) {
      return st->ColumnIsNull(column) ? std::string() : std::string(st->ColumnText(column));
    };
    while (st->Next())
      types.push_back({{"id", st->ColumnInt64(0)},
                       {"name", text(1)},
                       {"allowUnauth", !st->ColumnIsNull(2) && st->ColumnBool(2)},
                       {"contentType", text(3)},
                       {"responseContentType", text(4)},
                       {"response", text(5)},
                       {"configBytes", st->ColumnIsNull(6) ? 0 : st->ColumnBlob(6).size()}});
  }
  c.Output({{"types", types}}, [&](std::ostream& out) {
    for (const auto& t : types) {
      out << t["id"].get<int64_t>() << "  " << t["name"].get<std::string>() << "  "
          << t["configBytes"].get<size_t>() << " bytes of configuration";
      if (t["allowUnauth"].get<bool>()) out << ", open to unauthenticated clients";
      if (!t["contentType"].get<std::string>().empty())
        out << ", content type " << t["contentType"].get<std::string>();
      out << "\n";
    }
  });
  return kExitOk;
}

}  // namespace

void RegisterContainerCommands(TCommandLine& cli) {
  auto* group = cli.AddGroup("container", "data containers: JSON documents and forms");
  auto o = std::make_shared<TContainerOptions>();
  const std::string typeHelp =
      "the body's content type, e.g. \"application/json\" or "
      "\"application/x-www-form-urlencoded; charset=ISO-8859-1\"; without it: JSON for a .json "
      "file or a body beginning with { or [, multipart/form-data for a body beginning with a "
      "boundary line, else url-encoded";
  auto* convert = cli.Add(*group, "convert",
                          "runs the data container pre-processor on a body saved in FILE with the "
                          "container configuration CONFIG and writes the VelaXML document "
                          "(stdout without --out)",
                          [o](TCommandContext& c) { return RunConvert(c, *o); });
  convert->add_option("CONFIG", o->Config, "the container type's import configuration")->required();
  convert->add_option("FILE", o->File, "the container body")->required();
  convert->add_option("--content-type", o->ContentType, typeHelp);
  convert->add_option("--out", o->Out, "the file to write the VelaXML document to");
  auto* show = cli.Add(*group, "show", "prints a body saved in FILE as text (or HTML)",
                       [o](TCommandContext& c) { return RunShow(c, *o); });
  show->add_option("FILE", o->File, "the container body")->required();
  show->add_option("--content-type", o->ContentType, typeHelp);
  show->add_flag("--html", o->Html, "the HTML fragment instead of the text");

  cli.Add(*group, "types", "the container types that the application server accepts", RunTypes);
  auto t = std::make_shared<TContainerTypeOptions>();
  auto* type = group->add_subcommand("type", "manage container types");
  type->require_subcommand(1);
  auto* add = cli.Add(*type, "add",
                      "adds the container type NAME, or replaces the one of that name (its "
                      "stored containers keep referring to it)",
                      [t](TCommandContext& c) { return RunTypeAdd(c, *t); });
  add->add_option("NAME", t->Name, "the type's name, which posts give as ?container=NAME")
      ->required();
  add->add_option("--config", t->Config, "the file holding the type's import configuration")
      ->required();
  add->add_flag("--allow-unauth", t->AllowUnauth,
                "clients without an access token may post containers of this type");
  add->add_option("--content-type", t->ContentType,
                  "the content type assumed when a container carries none");
  add->add_option("--response-content-type", t->ResponseContentType,
                  "the content type of the answer to a post");
  add->add_option("--response", t->Response, "the text of the answer to a post");
}

}  // namespace vela::cli
