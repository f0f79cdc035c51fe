#include "host/velaxml/VelaXMLImportContainer.h"

#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "host/velaxml/TablePartHandler.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

bool IsVelaXMLHostTable(std::string_view ATableName) {
  if (ATableName.size() >= 7 && SameText(ATableName.substr(0, 7), "sqlite_")) return true;
  if (SameText(ATableName, "vela_schemaversion")) return true;
  for (const THostTableDef& def : HostTableDefs())
    if (SameText(def.Name, ATableName)) return true;
  return false;
}

TVelaXMLImportContainer::TVelaXMLImportContainer(TVelaDatabase& ADatabase) : FDatabase(ADatabase) {}

TVelaXMLImportContainer::~TVelaXMLImportContainer() = default;

void TVelaXMLImportContainer::ReadTableNames() {
  FTableNames.clear();
  for (const auto& item : FDatabase.GetDBFieldSchema().GetItems())
    if (!IsVelaXMLHostTable(item->GetName())) FTableNames.push_back(item->GetName());
  FTableNamesRead = true;
}

int32_t TVelaXMLImportContainer::GetPartCount() {
  ReadTableNames();
  return static_cast<int32_t>(FTableNames.size());
}

IPtr<IXMLImportPartHandler> TVelaXMLImportContainer::GetPart(int32_t AIndex) {
  if (!FTableNamesRead) ReadTableNames();
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FTableNames.size())
    throw EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
  return GetPartByIndent(FTableNames[static_cast<size_t>(AIndex)]);
}

IPtr<IXMLImportPartHandler> TVelaXMLImportContainer::GetPartByIndent(const std::string& AIdent) {
  if (auto it = FHandlers.find(AIdent); it != FHandlers.end()) return it->second;
  IPtr<IXMLImportPartHandler> handler;
  // Unknown names are remembered too: each would read the catalog again.
  if (!AIdent.empty() && !IsVelaXMLHostTable(AIdent))
    if (IPtr<IDBFieldSchemaItem> schema = FDatabase.GetSchemaByName(AIdent))
      handler = new TTablePartHandler(FDatabase, AIdent, schema);
  FHandlers.emplace(AIdent, handler);
  return handler;
}

}  // namespace vela
