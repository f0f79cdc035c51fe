// velaimport outlook folders: the stores and folders of an Outlook data file with the entry ids
// that make up an Outlook source name, read through the module's folder catalog.
#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "ModuleHost.h"
#include "plugins/OutlookFolderCatalogIntf.h"
#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {

int Fail(const GlobalOptions& global, int code, const std::string& message) {
  if (global.Json)
    std::cerr << "{\"type\":\"error\",\"message\":" << JsonQuote(message) << "}\n";
  else
    std::cerr << "error: " << message << "\n";
  return code;
}

// The Outlook source name that reads the folder (without password; data files have none).
std::string SourceName(const std::string& file, const TOutlookStoreInfo& store,
                       const TOutlookFolderInfo& folder) {
  return file + "@" + folder.EntryID + "@" + store.EntryID;
}

void WriteJson(const std::string& file, const std::vector<TOutlookStoreInfo>& stores) {
  std::cout << "{\"file\":" << JsonQuote(file) << ",\"stores\":[";
  for (size_t s = 0; s < stores.size(); ++s) {
    const TOutlookStoreInfo& store = stores[s];
    std::cout << (s ? "," : "") << "{\"entryId\":" << JsonQuote(store.EntryID)
              << ",\"name\":" << JsonQuote(store.Name) << ",\"folders\":[";
    for (size_t f = 0; f < store.Folders.size(); ++f) {
      const TOutlookFolderInfo& folder = store.Folders[f];
      std::cout << (f ? "," : "") << "{\"entryId\":" << JsonQuote(folder.EntryID)
                << ",\"name\":" << JsonQuote(folder.Name) << ",\"path\":" << JsonQuote(folder.Path)
                << ",\"items\":" << folder.ContactCount
                << ",\"contacts\":" << (folder.IsContacts ? "true" : "false")
                << ",\"defaultContacts\":" << (folder.IsDefaultContacts ? "true" : "false")
                << ",\"source\":" << JsonQuote(SourceName(file, store, folder)) << "}";
    }
    std::cout << "]}";
  }
  std::cout << "]}\n";
}

// Per store a heading and one aligned row per folder, then the source names of the folders
// that hold contacts.
void WriteTable(const std::string& file, const std::vector<TOutlookStoreInfo>& stores) {
  for (const TOutlookStoreInfo& store : stores) {
    std::cout << "store " << store.EntryID << "  " << store.Name << "\n";
    size_t idWidth = 9;  // "FOLDER ID"
    for (const auto& folder : store.Folders)
      idWidth = std::max(idWidth, folder.EntryID.size());
    std::cout << "  " << std::left << std::setw(static_cast<int>(idWidth)) << "FOLDER ID"
              << "  ITEMS  CONTACTS  PATH\n";
    for (const auto& folder : store.Folders) {
      const char* kind = folder.IsDefaultContacts ? "default" : folder.IsContacts ? "yes" : "-";
      std::cout << "  " << std::left << std::setw(static_cast<int>(idWidth)) << folder.EntryID
                << "  " << std::right << std::setw(5) << folder.ContactCount << "  " << std::left
                << std::setw(8) << kind << "  " << folder.Path << "\n";
    }
    for (const auto& folder : store.Folders)
      if (folder.IsContacts)
        std::cout << "source " << folder.Path << ": " << SourceName(file, store, folder) << "\n";
  }
}

int ListOutlookFolders(const GlobalOptions& global, const std::string& fileArg) {
  if (!FileExists(fileArg) || std::filesystem::is_directory(fileArg))
    return Fail(global, kExitUsage, "file not found: " + fileArg);
  // Absolute: relative profiles of a source name lie below the application folder.
  const std::string file = std::filesystem::absolute(fileArg).lexically_normal().string();

  TModuleHost* host = CurrentModuleHost();
  IPtr<IInterface> ext;
  IPtr<IVelaOutlookFolderCatalog> catalog;
  if (host && host->Plugin() &&
      host->Plugin()->Do_GetExtFunc(IVelaOutlookFolderCatalog::IID(), ext))
    catalog = Supports<IVelaOutlookFolderCatalog>(ext);
  if (!catalog) return Fail(global, kExitFailed, "the module offers no Outlook folder list");

  std::vector<TOutlookStoreInfo> stores;
  std::string error;
  if (!catalog->Get_OutlookStores(file, stores, error))
    return Fail(global, kExitFailed, error.empty() ? "cannot read " + fileArg : error);
  if (global.Json)
    WriteJson(file, stores);
  else
    WriteTable(file, stores);
  return kExitOk;
}

}  // namespace

void RegisterOutlookCommands(CLI::App& app, GlobalOptions& global, CommandAction& action) {
  auto* outlook = app.add_subcommand("outlook", "Outlook data files (.pst, .ost)");
  outlook->require_subcommand(1);
  auto file = std::make_shared<std::string>();
  auto* folders = outlook->add_subcommand(
      "folders",
      "the stores and folders of an Outlook data file with their entry ids (hex), names and item "
      "counts, for building the source name profile@folderid@storeid@password");
  folders->add_option("FILE", *file, "the data file")->required();
  folders->callback([&action, &global, file] {
    action = [&global, file] { return ListOutlookFolders(global, *file); };
  });
}

}  // namespace vela::cli
