// velaimport db init | db tables: the host database's tables.
#include <iostream>

#include "Commands.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"

namespace vela::cli {

namespace {

const char* KindName(int kind) {
  switch (kind) {
    case vfkRecordID:
      return "id";
    case vfkLookup:
      return "lookup";
    case vfkCheckData:
      return "checkdata";
    default:
      return "data";
  }
}

int RunInit(TCommandContext& c) {
  TVelaDatabase& db = c.Database();
  const int version = db.InitHostTables();
  TJson tables = TJson::array();
  for (const auto& t : HostTableDefs())
    tables.push_back(t.Name);
  if (c.Json() || !c.Global().Quiet)
    c.Output({{"result", true}, {"database", db.Url()}, {"version", version}, {"tables", tables}},
             [&](std::ostream& out) {
               out << "Host tables of " << db.Url() << " are at version " << version << ":\n";
               for (const auto& t : HostTableDefs())
                 out << "  " << t.Name << "\n";
             });
  return kExitOk;
}

TJson FieldJson(const TDBFieldSchemaField& f) {
  TJson json = {{"name", f.Name}, {"caption", f.Caption},   {"type", FieldTypeName(f.DataType)},
                {"size", f.Size}, {"required", f.Required}, {"kind", KindName(f.FieldKind)}};
  if (f.FieldKind == vfkLookup) {
    json["lookupTable"] = f.LookupTable;
    json["lookupField"] = f.LookupField;
  }
  return json;
}

int RunTables(TCommandContext& c) {
  TVelaDatabase& db = c.Database();
  const auto items = db.GetDBFieldSchema().GetItems();
  TJson tables = TJson::array();
  for (const auto& t : items) {
    TJson fields = TJson::array();
    for (int k = 0; k < t->GetFieldCount(); ++k)
      fields.push_back(FieldJson(t->GetField(k)));
    tables.push_back(
        TJson{{"name", t->GetName()}, {"caption", t->GetCaption()}, {"fields", fields}});
  }
  c.Output({{"database", db.Url()}, {"tables", tables}}, [&](std::ostream& out) {
    for (const auto& t : items) {
      out << t->GetName();
      if (t->GetCaption() != t->GetName()) out << " (" << t->GetCaption() << ")";
      out << "\n";
      for (int k = 0; k < t->GetFieldCount(); ++k) {
        const auto& f = t->GetField(k);
        out << "  " << f.Name << "  " << FieldTypeName(f.DataType);
        if (f.Size > 0) out << "(" << f.Size << ")";
        if (f.Required) out << " required";
        if (f.FieldKind != vfkData) out << " " << KindName(f.FieldKind);
        if (f.FieldKind == vfkLookup) out << " -> " << f.LookupTable << "." << f.LookupField;
        if (f.Caption != f.Name) out << "  \"" << f.Caption << "\"";
        out << "\n";
      }
    }
  });
  return kExitOk;
}

}  // namespace

void RegisterDbCommands(TCommandLine& cli) {
  auto* db = cli.AddGroup("db", "the host database");
  cli.Add(*db, "init", "create the host tables and run pending migrations", RunInit);
  cli.Add(*db, "tables", "the tables and fields of the application schema with captions",
          RunTables);
}

}  // namespace vela::cli
