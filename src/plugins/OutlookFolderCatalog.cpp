#include "plugins/OutlookFolderCatalog.h"

#include <charconv>
#include <filesystem>
#include <string_view>

#include "platform/mapi/VelaMapi.h"
#include "rtl/Encoders.h"

namespace vela {

namespace {

// One line of the listing without its line break; advances Pos past it.
bool NextLine(std::string_view text, size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  size_t end = text.find('\n', pos);
  if (end == std::string_view::npos) end = text.size();
  line = text.substr(pos, end - pos);
  pos = end + 1;
  return true;
}

// The listing: "store <hex id> <name>" starts a store, then "<hex id>\t<contacts>\t<path>" per
// folder.
std::vector<TOutlookStoreInfo> ParseListing(std::string_view listing) {
  std::vector<TOutlookStoreInfo> stores;
  constexpr std::string_view kStore = "store ";
  size_t pos = 0;
  std::string_view line;
  while (NextLine(listing, pos, line)) {
    if (line.empty()) continue;
    if (line.substr(0, kStore.size()) == kStore) {
      line.remove_prefix(kStore.size());
      const size_t space = line.find(' ');
      TOutlookStoreInfo& store = stores.emplace_back();
      store.EntryID = std::string(line.substr(0, space));
      if (space != std::string_view::npos) store.Name = std::string(line.substr(space + 1));
      continue;
    }
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos || stores.empty())
      throw mapi::EMapiError("Unexpected line in the folder listing: " + std::string(line));
    TOutlookFolderInfo& folder = stores.back().Folders.emplace_back();
    folder.EntryID = std::string(line.substr(0, tab1));
    const std::string_view count = line.substr(tab1 + 1, tab2 - tab1 - 1);
    std::from_chars(count.data(), count.data() + count.size(), folder.ContactCount);
    folder.Path = std::string(line.substr(tab2 + 1));
    const size_t slash = folder.Path.rfind('/');
    folder.Name = slash == std::string::npos ? folder.Path : folder.Path.substr(slash + 1);
    folder.IsContacts = folder.ContactCount > 0;
  }
  return stores;
}

}  // namespace

std::vector<TOutlookStoreInfo> ReadOutlookStores(const std::string& AFileName) {
  // Absolute, so that the session (whose profiles are relative to the application folder)
  // opens the same file as the listing.
  const std::string fileName = std::filesystem::absolute(AFileName).string();
  std::vector<TOutlookStoreInfo> stores = ParseListing(mapi::ListStoreFolders(fileName));

  // The folder an Outlook source without folder id reads; a store may have none.
  mapi::TMapiSession session;
  session.ProfileName = fileName;
  session.Logon();
  for (TOutlookStoreInfo& store : stores) {
    std::string defaultID;
    try {
      defaultID = TextToHex(session.OpenMsgStore(HexToText(store.EntryID))
                                ->OpenDefaultFolder(mapi::DefaultFolderContacts)
                                ->EntryID());
    } catch (const Exception&) {
      continue;
    }
    for (TOutlookFolderInfo& folder : store.Folders)
      if (folder.EntryID == defaultID) folder.IsDefaultContacts = folder.IsContacts = true;
  }
  return stores;
}

}  // namespace vela
