// The host's document store: files attached to records of any table, kept in the host table
// "vela_document" (table name, record id, display name, content, time of attaching).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

class TVelaDatabase;

class TVelaDocumentStore {
 public:
  explicit TVelaDocumentStore(TVelaDatabase& db) : FDb(db) {}

  // True when the name holds line breaks: a list of file names, one per line.
  static bool IsFileList(const std::string& AName);
  // The file names of a list, blank lines skipped.
  static std::vector<std::string> SplitFileList(const std::string& AName);
  // Inserts one row with the file's content under the display name (the file's own name when
  // empty). An empty file name attaches nothing. Raises EInOutError naming the file when it
  // cannot be read. The row belongs to the calling thread's transaction, if any.
  void AttachFile(const std::string& ATableName, int64_t ARecordId,
                  const std::string& ALocalFileName, const std::string& ADisplayName);
  // The display names attached to the record, in the order attached.
  std::vector<std::string> AttachedFiles(const std::string& ATableName, int64_t ARecordId);

 private:
  TVelaDatabase& FDb;
};

}  // namespace vela
