#include "_SQLDataSetImportPreProcessor.h"

#include "host/MainInterface.h"
#include "host/db/SQLDataSet.h"
#include "host/db/VelaDatabase.h"
#include "platform/ado/ADODB.h"
#include "platform/ado/ODBCDataSet.h"

namespace vela {

TSQLDataSetImportPreProcessor::TSQLDataSetImportPreProcessor() {
  SetCaption("SQL tables and queries");
  ValidFileExt().Add(".ini");
}

std::string TSQLDataSetImportPreProcessor::ConnectionString(const TMemIniFile& AConfig,
                                                            const std::string& APrefix) const {
  std::string connection = AConfig.ReadString(APrefix + "DB", "Connection", "");
  if (connection.empty()) connection = AConfig.ReadString("DB", "Connection", "");
  return const_cast<TSQLDataSetImportPreProcessor*>(this)->GetConfigEntryValue(connection);
}

TVelaDatabase& TSQLDataSetImportPreProcessor::HostDatabase() const {
  if (FDatabase != nullptr) return *FDatabase;
  if (IPtr<IVelaHostDatabase> host = Supports<IVelaHostDatabase>(MainInterface()))
    if (TVelaDatabase* db = host->Get_Database()) return *db;
  throw EDatabaseError(
      "No database: the table names no \"Connection\" and the host has no database open");
}

std::unique_ptr<TDataSet> TSQLDataSetImportPreProcessor::CreateDataSet(
    const std::string& ATableName, const std::string& AQuery, const std::string&,
    const TStringList&, const TFieldSplitting&, TXMLPreProcessorFunction,
    const std::string& ASectionPrefix, TDataSetTableSettings& ASettings) {
  if (ATableName.empty() && AQuery.empty())
    throw Exception("[" + ASectionPrefix + "DB]: neither \"TableName\" nor \"Query\" is given");
  const TMemIniFile* config = ASettings.Config() != nullptr ? ASettings.Config() : Config();
  const std::string connection =
      config != nullptr ? ConnectionString(*config, ASectionPrefix) : std::string();
  std::unique_ptr<TSQLDataSet> ds;
  if (connection.empty())
    ds = std::make_unique<TSQLDataSet>(HostDatabase());
  else
    ds = std::make_unique<TODBCDataSet>(connection);
  if (!AQuery.empty())
    ds->SetSQL(AQuery);
  else
    ds->SetTableName(ATableName);
  return ds;
}

bool TSQLDataSetImportPreProcessor::Do_RetreiveTableList(
    const std::string& AParams, TXMLPreProcessorFmt AParamsFmt, IDataStream*, TXMLPreProcessorFmt,
    TVXCAction, IPtr<IStringListData>& ATableList, std::string& ErrorMessage,
    const std::string& ADetailConfigPartNamePrefix) noexcept {
  ATableList = nullptr;
  ErrorMessage.clear();
  try {
    LoadConfig(AParams, AParamsFmt);
    const std::string connection =
        Config() != nullptr ? ConnectionString(*Config(), ADetailConfigPartNamePrefix) : "";
    std::vector<std::string> names;
    if (connection.empty()) {
      auto lease = HostDatabase().Connection();
      for (const TDbTableInfo& table : lease->ReadCatalog())
        names.push_back(table.Name);
    } else {
      TADOConnection ado;
      ado.ConnectionString = connection;
      TStringList tables;
      ado.GetTableNames(tables);
      for (int i = 0; i < tables.Count(); ++i)
        names.push_back(tables[i]);
    }
    ATableList = NewStringListData(names);
    return true;
  } catch (const std::exception& e) {
    ErrorMessage = ExceptionText(e);
    return false;
  }
}

}  // namespace vela
