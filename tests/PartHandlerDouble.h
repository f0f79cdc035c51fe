// A part handler for tests: every method answers as a handler that accepts everything and has
// nothing to export; tests override what they look at.
#pragma once

#include <string>

#include "host/velaxml/VelaXMLPartHandlerIntf.h"

namespace vela::test {

class TPartHandlerDouble : public TInterfacedObject, public IXMLImportPartHandler {
  VELA_INTERFACES(TInterfacedObject, IXMLImportPartHandler)

 public:
  explicit TPartHandlerDouble(std::string AIdent = {}) : FIdent(std::move(AIdent)) {}
  std::string GetIdent() override { return FIdent; }
  bool ImportItem(const std::string&, TXMLDataStore&) override { return true; }
  void EndPartTag(const std::string&) override {}
  bool BeginPart(TXMLDataStore&, IXMLImportProcessor*) override { return true; }
  void EndPart() override {}
  std::string GetLastErrorText() override { return {}; }
  std::string GetCaption() override { return FIdent; }
  std::string GetTableName() override { return {}; }
  std::string GetKeyFields() override { return {}; }
  int64_t GetInsertedCount() override { return 0; }
  int64_t GetUpdatedCount() override { return 0; }
  int64_t GetDeletedCount() override { return 0; }
  bool SupportsChildParts() override { return false; }
  void EndItem(const std::string&) override {}
  bool CanExport() override { return false; }
  bool ExportPart(IVelaXMLWriter*, bool) override { return false; }

 protected:
  std::string FIdent;
};

}  // namespace vela::test
