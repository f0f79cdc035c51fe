// The pre-processor factory: finds the pre-processor libraries (*.vxp) in custom/plugins below
// the application folder, reads what the dialogs list of each, and hands out library instances
// by file name. One per process (PreProcessorFactory); the folder is scanned once, on a
// thread-pool task that every concurrent first caller waits for.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "module/_VelaXMLPreProcessorInstance.h"
#include "rtl/Threading.h"
#include "vela/XMLPreProcessorIntf.h"

namespace vela {

// One library found by the scan.
class TFactoryPreProcessorItem {
 public:
  // diskFileName: the name as the folder lists it.
  TFactoryPreProcessorItem(std::string diskFileName, std::string path);

  std::string FileName;      // without folder, lower case: what names are matched against
  std::string DiskFileName;  // as listed: what is loaded (file names are case-sensitive here)
  std::string Path;          // folder with trailing delimiter
  bool CanUseByUser = false;
  TXMLPreProcessorFunctionSet Functions;
  std::string ValidFileExt;  // the extension list as text, one per line
  std::string Caption;

  // The item's library instance, created on first need and kept (it keeps the library loaded).
  void ProcInstance(IPtr<IVelaXMLPreProcessorInstance>& Instance);
  // vxcImport: pemImportTransformXML; vxcExport: pemExportTransformXML or pemExportSAXWriter.
  bool IsVelaXMLActionSupported(TVXCAction Action) const noexcept;
  // Loads the library and reads the properties above from one pre-processor. Raises the
  // library's load errors.
  void Load();

 private:
  IPtr<IVelaXMLPreProcessorInstance> FInstance;
};

class TVelaXMLPreProcessorFactory {
 public:
  // Lists the bare file names of the libraries in a folder; may raise.
  using TFileLister = std::function<std::vector<std::string>(const std::string& folder)>;

  // pluginFolder empty: "custom/plugins" below the application folder. lister empty: the
  // runtime's GetFileList with mask "*.vxp", no directories.
  explicit TVelaXMLPreProcessorFactory(std::string pluginFolder = {}, TFileLister lister = {});
  // Waits for a running scan, then frees the items (and so unloads their libraries).
  ~TVelaXMLPreProcessorFactory();
  TVelaXMLPreProcessorFactory(const TVelaXMLPreProcessorFactory&) = delete;
  TVelaXMLPreProcessorFactory& operator=(const TVelaXMLPreProcessorFactory&) = delete;

  // Number of items; waits for the scan.
  int Count();
  // The item at Index (call Count first: no scan of its own).
  TFactoryPreProcessorItem& GetItem(int Index);
  // Waits for the scan; the first item whose file name equals Name ignoring case, or -1.
  int IndexByName(std::string_view Name);
  // Sets Instance to nil and waits for the scan. After a complete scan: the listed item's
  // kept instance, false for a name not listed. After a failed scan: a new, uncached instance
  // for the file in the plug-in folder, false when there is no such file. A name that is not a
  // plain file name (a path delimiter or "..") is never found.
  bool GetInstance(std::string_view Name, IPtr<IVelaXMLPreProcessorInstance>& Instance);

  bool Loaded() const noexcept { return FLoaded.load(); }
  // With trailing delimiter.
  const std::string& PluginFolder() const noexcept { return FPluginFolder; }

 private:
  void WaitForScan();
  // The scan task's body; never raises (a failed listing leaves FLoaded false).
  void Scan() noexcept;

  std::string FPluginFolder;
  TFileLister FLister;
  std::atomic<bool> FLoaded{false};
  std::mutex FTaskLock;  // guards FLoadingTask: at most one scan runs at a time
  IPtr<ITask> FLoadingTask;
  // Written only by the scan, read only after waiting for it.
  std::vector<std::unique_ptr<TFactoryPreProcessorItem>> FItems;
};

// Whether Name may be loaded from the plug-in folder: a non-empty file name without path
// delimiters ('/' or '\') and without "..".
bool IsPlainLibraryName(std::string_view Name) noexcept;

// The process's factory, created on first call.
TVelaXMLPreProcessorFactory& PreProcessorFactory();
// Whether the singleton exists.
bool PreProcessorFactoryAssigned() noexcept;
// Frees the singleton if it exists (module unload, and the main data module's BeforeUnInit).
void FreePreProcessorFactory() noexcept;

}  // namespace vela
