// The part handler container of a database: one table part handler per application table, the
// part's element name being the table's name (ASCII case ignored). Handlers are made on first
// request and kept for the container's life. docs/velaxml-tables.md describes the rules.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "rtl/Interfaces.h"

namespace vela {

class TVelaDatabase;

// True for the tables that belong to the host itself (its own tables, the schema version table,
// SQLite's internal tables); they are not offered as parts.
bool IsVelaXMLHostTable(std::string_view ATableName);

class TVelaXMLImportContainer : public TInterfacedObject, public IVelaXMLPartHandlerContainer {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLPartHandlerContainer)

 public:
  // The database must outlive the container and every handler it hands out.
  explicit TVelaXMLImportContainer(TVelaDatabase& ADatabase);
  ~TVelaXMLImportContainer() override;

  // The application tables as the database knows them now, in name order.
  int32_t GetPartCount() override;
  IPtr<IXMLImportPartHandler> GetPart(int32_t AIndex) override;
  // The handler of the table named AIdent; its GetIdent is AIdent as written, so that a part's
  // closing tag matches it. Nil for an unknown or host table.
  IPtr<IXMLImportPartHandler> GetPartByIndent(const std::string& AIdent) override;

 private:
  void ReadTableNames();

  TVelaDatabase& FDatabase;
  std::vector<std::string> FTableNames;
  bool FTableNamesRead = false;
  // By the name asked for, exactly.
  std::map<std::string, IPtr<IXMLImportPartHandler>, std::less<>> FHandlers;
};

}  // namespace vela
