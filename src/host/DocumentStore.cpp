#include "host/DocumentStore.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/db/ClientSQL.h"
#include "host/db/VelaDatabase.h"
#include "rtl/DateUtils.h"
#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

bool TVelaDocumentStore::IsFileList(const std::string& AName) {
  return AName.find_first_of("\r\n") != std::string::npos;
}

std::vector<std::string> TVelaDocumentStore::SplitFileList(const std::string& AName) {
  std::vector<std::string> files;
  std::istringstream lines(AName);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!Trim(line).empty()) files.push_back(line);
  }
  return files;
}

void TVelaDocumentStore::AttachFile(const std::string& ATableName, int64_t ARecordId,
                                    const std::string& ALocalFileName,
                                    const std::string& ADisplayName) {
  if (ALocalFileName.empty()) return;
  const std::string failed = "Cannot read the file '" + ALocalFileName + "': ";
  std::error_code ec;
  if (std::filesystem::is_directory(ALocalFileName, ec))
    throw EInOutError(failed + "it is a folder");
  std::ifstream in(ALocalFileName, std::ios::binary);
  if (!in) throw EInOutError(failed + std::strerror(errno));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw EInOutError(failed + "read error");
  TClientSQL sql(FDb);
  sql.SetSchemaName("vela_document");
  sql.SetMode(csmInsert);
  sql.SetFieldValue("tablename", Variant(ATableName));
  sql.SetFieldValue("recordid", Variant(ARecordId));
  sql.SetFieldValue("filename",
                    Variant(ADisplayName.empty() ? ExtractFileName(ALocalFileName) : ADisplayName));
  sql.SetFieldValue("content", Variant::FromBytes(content.str()));
  sql.SetFieldValue("createdate", Variant::FromDateTime(Now()));
  sql.Execute();
}

std::vector<std::string> TVelaDocumentStore::AttachedFiles(const std::string& ATableName,
                                                           int64_t ARecordId) {
  auto conn = FDb.Connection();
  TStatementRun st(conn->Prepare(
      "SELECT \"filename\" FROM \"vela_document\" WHERE \"tablename\" = " + conn->Placeholder(1) +
      " AND \"recordid\" = " + conn->Placeholder(2) + " ORDER BY \"id\""));
  st->BindText(1, ATableName);
  st->BindInt64(2, ARecordId);
  st->Execute();
  std::vector<std::string> names;
  while (st->Next())
    names.emplace_back(st->ColumnText(0));
  return names;
}

}  // namespace vela
