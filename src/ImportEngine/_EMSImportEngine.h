// The standard file import engine: dBase tables, XML data packets and delimited text through
// the file import components, one component per format. The components keep the assignment of
// file columns to destination fields themselves.
#pragma once

#include <memory>
#include <vector>

#include "ImportEngine/QImport2.h"
#include "ImportEngine/_BaseDataImportEngine.h"
#include "ImportEngine/_ImportEngineInfoIntf.h"

namespace vela {

class TEMSImportEngine : public TBaseDataImportEngine, public IImportSourcePosition {
  VELA_IMPORT_ENGINE_CLASS(TEMSImportEngine)
  VELA_INTERFACES(TBaseDataImportEngine, IImportSourcePosition)

  explicit TEMSImportEngine(TObject* AOwner = nullptr);
  ~TEMSImportEngine() override;

  // The component of a format (0 dBase, 1 XML data packet, 2 text).
  TQImport2* Importer(int32_t Index) const {
    return FEMSImporter.at(static_cast<size_t>(Index)).get();
  }

  // --- IImportSourcePosition: the line of the delimited text format's current row ---
  int64_t GetSourceLine() override;

 protected:
  bool DoImport() override;
  void DoQueryFields(TStringList& Dest, bool QueryForSave) override;
  void ParametersSet(IFieldChangeConditions* Conditions) override;
  void DoSetFieldAssignment(TStringList& Fields) override;
  bool DoEditSettings() override;

 private:
  TQImport2* CurrentImporter() const;
  void ImportCancel(bool& Continue) const { Continue = !FAbort; }
  void UserDefinedImport(const TQImportRow& Row);

  bool FAbort = false;
  std::vector<std::unique_ptr<TQImport2>> FEMSImporter;
};

// A component name made of the letters, digits and underscores of Text ("XML-DATAPACKET" →
// "XMLDATAPACKET"); never starts with a digit.
std::string MakeCompName(std::string_view Text);

}  // namespace vela
