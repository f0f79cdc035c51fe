// What the host may read of an Outlook data file: its message stores and their folders with the
// entry ids (hex) that make up an Outlook source name "profile@folderid@storeid@password".
// Offered by the main data module through the external function lookup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/Interfaces.h"

namespace vela {

struct TOutlookFolderInfo {
  std::string EntryID;  // hex text of the entry id's bytes
  std::string Name;
  std::string Path;                // folder names from the top, joined by "/"
  int32_t ContactCount = 0;        // the contact items, which an import of the folder reads
  bool IsContacts = false;         // holds contacts or is the default contacts folder
  bool IsDefaultContacts = false;  // the folder an Outlook source without folder id reads
};

struct TOutlookStoreInfo {
  std::string EntryID;  // hex text of the entry id's bytes
  std::string Name;
  std::vector<TOutlookFolderInfo> Folders;  // depth first, parents before their subfolders
};

struct IVelaOutlookFolderCatalog : virtual IInterface {
  VELA_IID("{363462AA-C3A9-4A11-AB36-90874BABC905}");
  // The stores of the data file with their folders. False with a message when the file cannot
  // be read as an Outlook data file.
  virtual bool Get_OutlookStores(const std::string& AFileName,
                                 std::vector<TOutlookStoreInfo>& AStores,
                                 std::string& AErrorMessage) noexcept = 0;
};

}  // namespace vela
