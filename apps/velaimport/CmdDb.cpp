// velaimport db init | db tables: the host database's tables, and opening the database that
// --db names for every command.
#include <iostream>
#include <memory>
#include <sstream>

#include "Commands.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {

// JSON string literal of UTF-8 text.
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

int RunInit(GlobalOptions& global) {
  auto db = OpenHostDatabase(global);
  int version = db->InitHostTables();
  if (global.Json) {
    std::cout << "{\"result\":true,\"database\":" << JsonQuote(db->Url())
              << ",\"version\":" << version << ",\"tables\":[";
    bool first = true;
    for (auto& t : HostTableDefs()) {
      std::cout << (first ? "" : ",") << JsonQuote(t.Name);
      first = false;
    }
    std::cout << "]}\n";
  } else if (!global.Quiet) {
    std::cout << "Host tables of " << db->Url() << " are at version " << version << ":\n";
    for (auto& t : HostTableDefs())
      std::cout << "  " << t.Name << "\n";
  }
  return kExitOk;
}

int RunTables(GlobalOptions& global) {
  auto db = OpenHostDatabase(global);
  auto items = db->GetDBFieldSchema().GetItems();
  if (global.Json) {
    std::ostringstream out;
    out << "{\"database\":" << JsonQuote(db->Url()) << ",\"tables\":[";
    for (size_t i = 0; i < items.size(); ++i) {
      auto& t = items[i];
      out << (i ? "," : "") << "{\"name\":" << JsonQuote(t->GetName())
          << ",\"caption\":" << JsonQuote(t->GetCaption()) << ",\"fields\":[";
      for (int k = 0; k < t->GetFieldCount(); ++k) {
        const auto& f = t->GetField(k);
        out << (k ? "," : "") << "{\"name\":" << JsonQuote(f.Name)
            << ",\"caption\":" << JsonQuote(f.Caption)
            << ",\"type\":" << JsonQuote(FieldTypeName(f.DataType)) << ",\"size\":" << f.Size
            << ",\"required\":" << (f.Required ? "true" : "false")
            << ",\"kind\":" << JsonQuote(KindName(f.FieldKind));
        if (f.FieldKind == vfkLookup)
          out << ",\"lookupTable\":" << JsonQuote(f.LookupTable)
              << ",\"lookupField\":" << JsonQuote(f.LookupField);
        out << "}";
      }
      out << "]}";
    }
    out << "]}\n";
    std::cout << out.str();
    return kExitOk;
  }
  for (auto& t : items) {
    std::cout << t->GetName();
    if (t->GetCaption() != t->GetName()) std::cout << " (" << t->GetCaption() << ")";
    std::cout << "\n";
    for (int k = 0; k < t->GetFieldCount(); ++k) {
      const auto& f = t->GetField(k);
      std::cout << "  " << f.Name << "  " << FieldTypeName(f.DataType);
      if (f.Size > 0) std::cout << "(" << f.Size << ")";
      if (f.Required) std::cout << " required";
      if (f.FieldKind != vfkData) std::cout << " " << KindName(f.FieldKind);
      if (f.FieldKind == vfkLookup) std::cout << " -> " << f.LookupTable << "." << f.LookupField;
      if (f.Caption != f.Name) std::cout << "  \"" << f.Caption << "\"";
      std::cout << "\n";
    }
  }
  return kExitOk;
}

// Runs a db action; a database URL that names no known backend is a usage error.
int Guarded(GlobalOptions& global, int (*run)(GlobalOptions&)) {
  try {
    BackendOfUrl(TVelaDatabase::ResolveUrl(global.Db));
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << "\n";
    return kExitUsage;
  }
  return run(global);
}

}  // namespace

std::unique_ptr<TVelaDatabase> OpenHostDatabase(const GlobalOptions& global) {
  if (!global.Home.empty()) SetApplicationFolder(global.Home);
  return TVelaDatabase::Open(TVelaDatabase::ResolveUrl(global.Db));
}

void RegisterDbCommands(CLI::App& app, GlobalOptions& global, CommandAction& action) {
  auto* db = app.add_subcommand("db", "the host database");
  db->require_subcommand(1);
  auto* init = db->add_subcommand("init", "create the host tables and run pending migrations");
  init->callback([&] { action = [&] { return Guarded(global, RunInit); }; });
  auto* tables =
      db->add_subcommand("tables", "the tables and fields of the application schema with captions");
  tables->callback([&] { action = [&] { return Guarded(global, RunTables); }; });
}

}  // namespace vela::cli
