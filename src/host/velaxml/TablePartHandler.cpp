#include "host/velaxml/TablePartHandler.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "host/db/DbConnection.h"
#include "host/velaxml/VelaXMLImportContainer.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr const char* kCommandAttr = "velaxml_command";
constexpr const char* kPartSavepoint = "velaxml_part";

// A field element carries an encoding or the file mode; everything else in a store is an
// attribute.
bool HasFieldItems(const TXMLDataStore& AStore) {
  for (int i = 0; i < AStore.Count(); ++i) {
    const TXMLDataStoreItem& item = AStore.GetItem(i);
    if (item.DataEncoding() != xdeNone || item.BinaryHandlingMode() != xbhInline) return true;
  }
  return false;
}

bool IsSyncExisting(const TXMLDataStore& AAttrs) {
  return SameText(Trim(AAttrs.ValueByName(kCommandAttr)), "syncexisting");
}

}  // namespace

void TTablePartHandler::TIdRuns::Add(int64_t AId) {
  if (!FRuns.empty()) {
    auto& last = FRuns.back();
    if (AId >= last.first && AId <= last.second) return;
    if (last.second < std::numeric_limits<int64_t>::max() && AId == last.second + 1) {
      last.second = AId;
      return;
    }
  }
  FRuns.emplace_back(AId, AId);
}

void TTablePartHandler::TIdRuns::Seal() {
  std::sort(FRuns.begin(), FRuns.end());
  size_t out = 0;
  for (size_t i = 1; i < FRuns.size(); ++i) {
    auto& run = FRuns[out];
    const bool joins =
        FRuns[i].first <= run.second ||
        (run.second < std::numeric_limits<int64_t>::max() && FRuns[i].first == run.second + 1);
    if (joins)
      run.second = std::max(run.second, FRuns[i].second);
    else
      FRuns[++out] = FRuns[i];
  }
  if (!FRuns.empty()) FRuns.resize(out + 1);
}

bool TTablePartHandler::TIdRuns::Contains(int64_t AId) const {
  auto it = std::upper_bound(FRuns.begin(), FRuns.end(), AId,
                             [](int64_t id, const auto& run) { return id < run.first; });
  return it != FRuns.begin() && std::prev(it)->second >= AId;
}

TTablePartHandler::TTablePartHandler(TVelaDatabase& ADatabase, std::string AIdent,
                                     IPtr<IDBFieldSchemaItem> ASchema)
    : FDb(ADatabase),
      FIdent(std::move(AIdent)),
      FMain(std::make_unique<TTableRecordWriter>(ADatabase, std::move(ASchema))) {}

TTablePartHandler::~TTablePartHandler() {
  if (FInPart) {
    try {
      EndTransaction(false);
    } catch (...) {
      // A handler released in the middle of a part leaves nothing behind.
    }
  }
}

std::string TTablePartHandler::GetKeyFields() {
  return FMain->GlobalRecUidColumn() >= 0
             ? FMain->Schema().GetField(FMain->GlobalRecUidColumn()).Name
             : std::string();
}

IPtr<IDBFieldSchemaItem> TTablePartHandler::FindTable(const std::string& AName) {
  if (AName.empty() || IsVelaXMLHostTable(AName)) return nullptr;
  return FDb.GetDBFieldSchema().GetSchemaByName(AName);
}

TTableRecordWriter& TTablePartHandler::Writer(const IPtr<IDBFieldSchemaItem>& ASchema) {
  if (SameText(ASchema->GetName(), FMain->TableName())) return *FMain;
  auto& writer = FDetails[LowerCase(ASchema->GetName())];
  if (!writer) writer = std::make_unique<TTableRecordWriter>(FDb, ASchema);
  return *writer;
}

std::vector<int> TTablePartHandler::KeyColumns(const TTableRecordWriter& ATable,
                                               std::string_view AList) {
  std::vector<int> keys;
  size_t start = 0;
  while (start <= AList.size()) {
    size_t end = AList.find_first_of(",;", start);
    if (end == std::string_view::npos) end = AList.size();
    const std::string name = Trim(AList.substr(start, end - start));
    start = end + 1;
    if (name.empty()) continue;
    const int column = ATable.Schema().IndexOfField(name);
    if (column < 0)
      throw EDatabaseError("key field '" + name + "' is not a field of table '" +
                           ATable.TableName() + "'");
    keys.push_back(column);
  }
  return keys;
}

void TTablePartHandler::EndTransaction(bool ACommit) {
  FInPart = false;
  if (!FConn) return;
  auto release = [this] {
    FConn.reset();
    FChildScopes.clear();
    FContexts.clear();
  };
  try {
    if (FOwnTransaction) {
      if (ACommit)
        FDb.Commit();
      else
        FDb.Rollback();
    } else {
      if (!ACommit) (*FConn)->RollbackToSavepoint(kPartSavepoint);
      (*FConn)->ReleaseSavepoint(kPartSavepoint);
    }
  } catch (...) {
    if (ACommit && FOwnTransaction && FDb.InTransaction()) {
      try {
        FDb.Rollback();
      } catch (...) {
      }
    }
    release();
    throw;
  }
  release();
}

bool TTablePartHandler::BeginPart(TXMLDataStore& AAttrs, IXMLImportProcessor* AProcessor) {
  if (FInPart) {
    try {
      EndTransaction(false);
    } catch (...) {
    }
  }
  FFailed = FFailureReported = false;
  FLastError.clear();
  FInserted = FUpdated = FDeleted = 0;
  FRecordNo = 0;
  FChildScopes.clear();
  FContexts.clear();
  try {
    FBaseDir.clear();
    if (AProcessor != nullptr) {
      const std::string file = AProcessor->Get_FileName();
      if (!file.empty())
        FBaseDir = std::filesystem::absolute(std::filesystem::path(file)).parent_path().string();
    }
    FKeys = KeyColumns(*FMain, AAttrs.ValueByName("keyfields"));
    FSyncExisting = IsSyncExisting(AAttrs);
    if (FSyncExisting && FMain->IdColumn() < 0)
      throw EDatabaseError("syncexisting needs the column 'id' in table '" + FMain->TableName() +
                           "'");
    FTopScope = TSyncScope{FMain.get(), -1, 0, FSyncExisting, {}};
    FOwnTransaction = !FDb.InTransaction();
    if (FOwnTransaction) FDb.StartTransaction();
    FInPart = true;
    FConn.emplace(FDb.Connection());
    if (!FOwnTransaction) (*FConn)->Savepoint(kPartSavepoint);
    return true;
  } catch (const std::exception& e) {
    FLastError = FIdent + ": " + e.what();
    if (FInPart) {
      try {
        EndTransaction(false);
      } catch (...) {
      }
    }
    return false;
  }
}

void TTablePartHandler::Fail(const std::string& AMessage) {
  FFailed = true;
  FLastError = FIdent + ": record " + std::to_string(FRecordNo) + ": " + AMessage;
}

const std::vector<int>& TTablePartHandler::MatchColumns(TTableRecordWriter& ATable,
                                                        const std::vector<int>& AKeys,
                                                        int ARefColumn, bool ACommand) {
  FMatch.clear();
  const bool allKeys = !AKeys.empty() && std::all_of(AKeys.begin(), AKeys.end(),
                                                     [&](int k) { return ATable.HasValue(k); });
  if (allKeys) {
    FMatch = AKeys;
    if (ARefColumn >= 0 && std::find(AKeys.begin(), AKeys.end(), ARefColumn) == AKeys.end())
      FMatch.push_back(ARefColumn);
  } else if (ATable.HasValue(ATable.GlobalRecUidColumn())) {
    FMatch.push_back(ATable.GlobalRecUidColumn());
  } else if (ACommand) {
    FMatch = ATable.LoadedColumns();
    // A command must name something besides its parent.
    if (FMatch.empty() || (FMatch.size() == 1 && FMatch[0] == ARefColumn))
      throw EDatabaseError("the command names no field of table '" + ATable.TableName() + "'");
  }
  return FMatch;
}

int64_t TTablePartHandler::ImportRow(TTableRecordWriter& ATable, const TXMLDataStore& AStore,
                                     const std::vector<int>& AKeys, bool ASyncExisting,
                                     int ARefColumn, int64_t AParentId, TSyncScope& AScope) {
  TDbConnection& conn = **FConn;
  const std::string_view commandAttr = AStore.ValueByName(kCommandAttr);
  const std::string command = commandAttr.empty() ? std::string() : LowerCase(Trim(commandAttr));
  if (command == "deleterecords") {
    FDeleted += ATable.DeleteRecords(conn, AStore.ValueByName("filterfield"),
                                     AStore.ValueByName("filtertype"),
                                     AStore.ValueByName("filtervalue"), ARefColumn, AParentId);
    return 0;
  }
  ATable.Load(AStore, FBaseDir);
  if (ARefColumn >= 0) ATable.SetInt(ARefColumn, AParentId);
  int64_t id = 0;
  if (command == "delete") {
    FDeleted += ATable.DeleteByKeys(conn, MatchColumns(ATable, AKeys, ARefColumn, true));
    return 0;
  }
  if (command == "sync" || ASyncExisting) {
    if (ATable.IdColumn() < 0)
      throw EDatabaseError("synchronising needs the column 'id' in table '" + ATable.TableName() +
                           "'");
    AScope.Active = true;
    if (!ATable.Find(conn, MatchColumns(ATable, AKeys, ARefColumn, true), id)) return 0;
    AScope.Keep.Add(id);
    return id;
  }
  if (!command.empty()) throw EDatabaseError("unknown velaxml_command '" + command + "'");

  const std::vector<int>& match = MatchColumns(ATable, AKeys, ARefColumn, false);
  if (match.empty()) {
    id = ATable.Insert(conn);
    ++FInserted;
  } else if (ATable.IdColumn() >= 0) {
    if (ATable.Find(conn, match, id)) {
      ATable.Update(conn, id);
      ++FUpdated;
    } else {
      id = ATable.Insert(conn);
      ++FInserted;
    }
  } else if (const int64_t changed = ATable.UpdateByKeys(conn, match); changed > 0) {
    FUpdated += changed;
  } else {
    ATable.Insert(conn);
    ++FInserted;
  }
  if (ATable.IdColumn() >= 0) AScope.Keep.Add(id);
  return id;
}

TTablePartHandler::TDetailLink& TTablePartHandler::DetailLink(const TTableRecordWriter& AParent,
                                                              const std::string& AName) {
  std::pair<const TTableRecordWriter*, std::string> key(&AParent, AName);
  if (auto it = FDetailLinks.find(key); it != FDetailLinks.end()) return it->second;
  TDetailLink link;
  link.Detail = FindTable(AName);
  return FDetailLinks.emplace(std::move(key), std::move(link)).first->second;
}

void TTablePartHandler::ImportChild(const std::string& AName, TXMLDataStore& AStore) {
  TStoreContext context;
  auto parentIt = FContexts.find(AStore.ParentStore());
  const TStoreContext* parent = parentIt != FContexts.end() ? &parentIt->second : nullptr;
  if (parent != nullptr && parent->Kind == TStoreContext::Record) {
    TDetailLink& link = DetailLink(*parent->Table, AName);
    const IPtr<IDBFieldSchemaItem>& detail = link.Detail;
    if (detail && parent->Id > 0) {
      if (link.RefColumn == -2)
        link.RefColumn = DetailReferenceColumn(*detail, parent->Table->TableName());
      const int ref = link.RefColumn;
      if (ref < 0)
        throw EDatabaseError("table '" + detail->GetName() +
                             "' has no column referring to table '" + parent->Table->TableName() +
                             "'");
      if (link.Table == nullptr) link.Table = &Writer(detail);
      TTableRecordWriter& table = *link.Table;
      if (HasFieldItems(AStore)) {
        // A detail record written directly inside its parent record.
        TSyncScope scope;
        context.Kind = TStoreContext::Record;
        context.Table = &table;
        context.Id = ImportRow(table, AStore, {}, false, ref, parent->Id, scope);
      } else {
        // A child part: its rows are the detail records.
        context.Kind = TStoreContext::Group;
        context.Table = &table;
        context.RefColumn = ref;
        context.ParentId = parent->Id;
        context.Keys = KeyColumns(table, AStore.ValueByName("keyfields"));
        context.SyncExisting = IsSyncExisting(AStore);
        context.Scope = FChildScopes.size();
        FChildScopes.push_back(TSyncScope{&table, ref, parent->Id, context.SyncExisting, {}});
      }
    } else if (detail && parent->Table->IdColumn() < 0) {
      throw EDatabaseError("child records need the column 'id' in table '" +
                           parent->Table->TableName() + "'");
    }
  } else if (parent != nullptr && parent->Kind == TStoreContext::Group) {
    TTableRecordWriter& table = *parent->Table;
    const std::vector<int> keys = parent->Keys;
    const int ref = parent->RefColumn;
    const int64_t parentId = parent->ParentId;
    const bool syncExisting = parent->SyncExisting;
    const size_t scope = parent->Scope;
    context.Kind = TStoreContext::Record;
    context.Table = &table;
    context.Id = ImportRow(table, AStore, keys, syncExisting, ref, parentId, FChildScopes[scope]);
  }
  FContexts[&AStore] = std::move(context);
}

bool TTablePartHandler::ImportItem(const std::string& AName, TXMLDataStore& AStore) {
  if (!FInPart) {
    FLastError = FIdent + ": a record outside the part";
    return false;
  }
  if (FFailed) {
    FFailureReported = true;
    return false;
  }
  try {
    if (AStore.ParentStore() == nullptr) {
      ++FRecordNo;
      FContexts.clear();
      FChildScopes.clear();
      const int64_t id = ImportRow(*FMain, AStore, FKeys, FSyncExisting, -1, 0, FTopScope);
      TStoreContext& context = FContexts[&AStore];
      context.Kind = TStoreContext::Record;
      context.Table = FMain.get();
      context.Id = id;
    } else {
      ImportChild(AName, AStore);
    }
    return true;
  } catch (const std::exception& e) {
    Fail(e.what());
    FFailureReported = true;
    return false;
  }
}

void TTablePartHandler::FinishSync(TSyncScope& AScope) {
  if (!AScope.Active) return;
  AScope.Active = false;
  AScope.Keep.Seal();
  AScope.Table->ReadIds(**FConn, AScope.RefColumn, AScope.ParentId, FIds);
  for (int64_t id : FIds)
    if (!AScope.Keep.Contains(id)) {
      AScope.Table->DeleteById(**FConn, id);
      ++FDeleted;
    }
  AScope.Keep.Clear();
  FIds.clear();
  FIds.shrink_to_fit();
}

void TTablePartHandler::FinishChildScopes() {
  for (TSyncScope& scope : FChildScopes)
    FinishSync(scope);
  FChildScopes.clear();
  FContexts.clear();
}

void TTablePartHandler::EndItem(const std::string& AName) {
  (void)AName;
  if (!FInPart || FFailed) return;
  try {
    FinishChildScopes();
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}

void TTablePartHandler::AbortPart() {
  if (!FInPart) return;
  if (!FFailed) FLastError = FIdent + ": the document failed while the part was read";
  FFailed = true;
  FFailureReported = true;
}

void TTablePartHandler::EndPart() {
  if (!FInPart) return;
  if (!FFailed) {
    try {
      FinishChildScopes();
      FinishSync(FTopScope);
      EndTransaction(true);
      FDb.NoteTableChanged(FMain->TableName());
      for (const auto& [name, writer] : FDetails)
        FDb.NoteTableChanged(writer->TableName());
      return;
    } catch (const std::exception& e) {
      if (!FFailed) FLastError = FIdent + ": " + e.what();
      FFailed = true;
    }
  }
  try {
    EndTransaction(false);
  } catch (...) {
    // The failure that ended the part is the one to report.
  }
  if (!FFailureReported) {
    FFailureReported = true;
    throw EVelaXMLImportError(FLastError, true);
  }
}

}  // namespace vela
