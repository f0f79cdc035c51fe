// The SQL pre-processor: a dataset pre-processor whose tables are tables or queries of the host
// database or of any ODBC data source. Each table's "DB" section names "TableName" or "Query"
// and, optionally, "Connection" (an ODBC connection string; the unprefixed "DB" section's is the
// default; none means the host database). A detail's query parameters (":NAME") take the master
// record's value of the field of the same name.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "_CustomDataSetImportPreProcessor.h"

namespace vela {

class TVelaDatabase;

class TSQLDataSetImportPreProcessor : public TCustomDataSetImportPreProcessor {
  VELA_PREPROCESSOR_CLASS(TSQLDataSetImportPreProcessor)

 public:
  TSQLDataSetImportPreProcessor();

  // The database used when a table names no connection; without it the host's database (of the
  // conversion's main interface) is used. Not owned.
  void SetDatabase(TVelaDatabase* ADatabase) noexcept { FDatabase = ADatabase; }

  std::unique_ptr<TDataSet> CreateDataSet(const std::string& ATableName, const std::string& AQuery,
                                          const std::string& AInFile, const TStringList& AMapping,
                                          const TFieldSplitting& AFieldSplitting,
                                          TXMLPreProcessorFunction AFunction,
                                          const std::string& ASectionPrefix,
                                          TDataSetTableSettings& ASettings) override;
  bool GetSupportsTableList() override { return true; }
  bool Do_RetreiveTableList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                            IDataStream* AInData, TXMLPreProcessorFmt AInFmt, TVXCAction AVXCAction,
                            IPtr<IStringListData>& ATableList, std::string& ErrorMessage,
                            const std::string& ADetailConfigPartNamePrefix) noexcept override;

 protected:
  // The connection string a table's section names ("" for the host database).
  std::string ConnectionString(const TMemIniFile& AConfig, const std::string& APrefix) const;
  TVelaDatabase& HostDatabase() const;

 private:
  TVelaDatabase* FDatabase = nullptr;
};

}  // namespace vela
