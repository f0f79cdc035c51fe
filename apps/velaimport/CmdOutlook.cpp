// velaimport outlook folders: the stores and folders of an Outlook data file with the entry ids
// that make up an Outlook source name, read through the module's folder catalog.
#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "plugins/OutlookFolderCatalogIntf.h"
#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {

// The Outlook source name that reads the folder (without password; data files have none).
std::string SourceName(const std::string& file, const TOutlookStoreInfo& store,
                       const TOutlookFolderInfo& folder) {
  return file + "@" + folder.EntryID + "@" + store.EntryID;
}

TJson StoresJson(const std::string& file, const std::vector<TOutlookStoreInfo>& stores) {
  TJson json = {{"file", file}, {"stores", TJson::array()}};
  for (const TOutlookStoreInfo& store : stores) {
    TJson folders = TJson::array();
    for (const TOutlookFolderInfo& folder : store.Folders)
      folders.push_back(TJson{{"entryId", folder.EntryID},
                              {"name", folder.Name},
                              {"path", folder.Path},
                              {"items", folder.ContactCount},
                              {"contacts", folder.IsContacts},
                              {"defaultContacts", folder.IsDefaultContacts},
                              {"source", SourceName(file, store, folder)}});
    json["stores"].push_back(
        TJson{{"entryId", store.EntryID}, {"name", store.Name}, {"folders", folders}});
  }
  return json;
}

// Per store a heading and one aligned row per folder, then the source names of the folders
// that hold contacts.
void WriteTable(std::ostream& out, const std::string& file,
                const std::vector<TOutlookStoreInfo>& stores) {
  for (const TOutlookStoreInfo& store : stores) {
    out << "store " << store.EntryID << "  " << store.Name << "\n";
    size_t idWidth = 9;  // "FOLDER ID"
    for (const auto& folder : store.Folders)
      idWidth = std::max(idWidth, folder.EntryID.size());
    out << "  " << std::left << std::setw(static_cast<int>(idWidth)) << "FOLDER ID"
        << "  ITEMS  CONTACTS  PATH\n";
    for (const auto& folder : store.Folders) {
      const char* kind = folder.IsDefaultContacts ? "default" : folder.IsContacts ? "yes" : "-";
      out << "  " << std::left << std::setw(static_cast<int>(idWidth)) << folder.EntryID << "  "
          << std::right << std::setw(5) << folder.ContactCount << "  " << std::left << std::setw(8)
          << kind << "  " << folder.Path << "\n";
    }
    for (const auto& folder : store.Folders)
      if (folder.IsContacts)
        out << "source " << folder.Path << ": " << SourceName(file, store, folder) << "\n";
  }
}

int ListOutlookFolders(TCommandContext& c, const std::string& fileArg) {
  if (!FileExists(fileArg) || std::filesystem::is_directory(fileArg))
    throw EUsageError("file not found: " + fileArg);
  // Absolute: relative profiles of a source name lie below the application folder.
  const std::string file = std::filesystem::absolute(fileArg).lexically_normal().string();
  auto catalog = c.ModuleFunction<IVelaOutlookFolderCatalog>("Outlook folder list");
  std::vector<TOutlookStoreInfo> stores;
  std::string error;
  if (!catalog->Get_OutlookStores(file, stores, error))
    throw ECommandFailed(error.empty() ? "cannot read " + fileArg : error);
  c.Output(StoresJson(file, stores), [&](std::ostream& out) { WriteTable(out, file, stores); });
  return kExitOk;
}

}  // namespace

void RegisterOutlookCommands(TCommandLine& cli) {
  auto* outlook = cli.AddGroup("outlook", "Outlook data files (.pst, .ost)");
  auto file = std::make_shared<std::string>();
  auto* folders = cli.Add(
      *outlook, "folders",
      "the stores and folders of an Outlook data file with their entry ids (hex), names and item "
      "counts, for building the source name profile@folderid@storeid@password",
      [file](TCommandContext& c) { return ListOutlookFolders(c, *file); });
  folders->add_option("FILE", *file, "the data file")->required();
}

}  // namespace vela::cli
