#include "module/_VelaXMLPreProcessorFactory.h"

#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

// --- TFactoryPreProcessorItem ---

TFactoryPreProcessorItem::TFactoryPreProcessorItem(std::string diskFileName, std::string path)
    : FileName(LowerCase(diskFileName)),
      DiskFileName(std::move(diskFileName)),
      Path(std::move(path)) {}

void TFactoryPreProcessorItem::ProcInstance(IPtr<IVelaXMLPreProcessorInstance>& Instance) {
  if (!FInstance)
    FInstance =
        MakeIntf<TVelaXMLPreProcessorInstance, IVelaXMLPreProcessorInstance>(Path + DiskFileName);
  Instance = FInstance;
}

bool TFactoryPreProcessorItem::IsVelaXMLActionSupported(TVXCAction Action) const noexcept {
  switch (Action) {
    case vxcImport:
      return Functions.Contains(pemImportTransformXML);
    case vxcExport:
      return Functions.Contains(pemExportTransformXML) || Functions.Contains(pemExportSAXWriter);
  }
  return false;
}

void TFactoryPreProcessorItem::Load() {
  IPtr<IVelaXMLPreProcessorInstance> instance;
  ProcInstance(instance);
  IPtr<IXMLPreProcessor> preProc = instance->Do_CreatePreProc();
  if (!preProc)
    throw Exception("Error: Pre-Processor '" + Path + DiskFileName + "' yields no object!");
  CanUseByUser = preProc->Get_CanUseByUser();
  Functions = preProc->Get_FunctionSet();
  IPtr<IStringListData> ext = preProc->Get_ValidFileExt();
  ValidFileExt = ext ? ext->Get_Text() : std::string();
  Caption = preProc->Get_Caption();
  // The pre-processor goes before the instance may unload its library.
  preProc = nullptr;
}

// --- TVelaXMLPreProcessorFactory ---

bool IsPlainLibraryName(std::string_view Name) noexcept {
  return !Name.empty() && Name.find('/') == std::string_view::npos &&
         Name.find('\\') == std::string_view::npos && Name.find("..") == std::string_view::npos &&
         Name.find('\0') == std::string_view::npos;
}

TVelaXMLPreProcessorFactory::TVelaXMLPreProcessorFactory(std::string pluginFolder,
                                                         TFileLister lister)
    : FPluginFolder(std::move(pluginFolder)), FLister(std::move(lister)) {
  if (FPluginFolder.empty())
    FPluginFolder = IncludeTrailingPathDelimiter(GetApplicationFolder()) + "custom/plugins";
  FPluginFolder = IncludeTrailingPathDelimiter(NormalizePathDelims(FPluginFolder));
  if (!FLister)
    FLister = [](const std::string& folder) {
      return GetFileList(folder, "*.vxp", faAnyFile & ~faDirectory);
    };
}

TVelaXMLPreProcessorFactory::~TVelaXMLPreProcessorFactory() {
  IPtr<ITask> task;
  {
    std::lock_guard lock(FTaskLock);
    task = std::move(FLoadingTask);
  }
  if (task) {
    try {
      task->Wait();
    } catch (...) {
    }
  }
  // Items release their instances in scan order; each instance unloads its library.
  FItems.clear();
}

void TVelaXMLPreProcessorFactory::Scan() noexcept {
  try {
    FItems.clear();
    const std::vector<std::string> files = FLister(FPluginFolder);
    FItems.reserve(files.size());
    for (const std::string& file : files) {
      auto item = std::make_unique<TFactoryPreProcessorItem>(file, FPluginFolder);
      try {
        item->Load();
      } catch (...) {
        // A broken library is left out; the others are still listed.
        continue;
      }
      FItems.push_back(std::move(item));
    }
    FLoaded = true;
  } catch (...) {
    // The listing failed: FLoaded stays false and GetInstance falls back to the file itself.
  }
}

void TVelaXMLPreProcessorFactory::WaitForScan() {
  if (FLoaded) return;
  IPtr<ITask> task;
  {
    std::lock_guard lock(FTaskLock);
    if (FLoaded) return;
    const bool running = FLoadingTask && (FLoadingTask->Status() == TTaskStatus::WaitingToRun ||
                                          FLoadingTask->Status() == TTaskStatus::Running);
    if (!running) FLoadingTask = TTask::Run([this] { Scan(); });
    task = FLoadingTask;
  }
  try {
    task->Wait();
  } catch (...) {
    // Scan raises nothing; a task failure leaves FLoaded false like a failed listing.
  }
}

int TVelaXMLPreProcessorFactory::Count() {
  WaitForScan();
  return static_cast<int>(FItems.size());
}

TFactoryPreProcessorItem& TVelaXMLPreProcessorFactory::GetItem(int Index) {
  if (Index < 0 || Index >= static_cast<int>(FItems.size()))
    throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
  return *FItems[static_cast<size_t>(Index)];
}

int TVelaXMLPreProcessorFactory::IndexByName(std::string_view Name) {
  WaitForScan();
  const std::string name = LowerCase(Name);
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->FileName == name) return static_cast<int>(i);
  return -1;
}

bool TVelaXMLPreProcessorFactory::GetInstance(std::string_view Name,
                                              IPtr<IVelaXMLPreProcessorInstance>& Instance) {
  Instance = nullptr;
  WaitForScan();
  // A configuration must not make the module load a library from anywhere else.
  if (!IsPlainLibraryName(Name)) return false;
  if (FLoaded) {
    const int index = IndexByName(Name);
    if (index < 0) return false;
    FItems[static_cast<size_t>(index)]->ProcInstance(Instance);
    return true;
  }
  const std::string fileName = FPluginFolder + std::string(Name);
  if (!FileExists(fileName)) return false;
  Instance = MakeIntf<TVelaXMLPreProcessorInstance, IVelaXMLPreProcessorInstance>(fileName);
  return true;
}

// --- the singleton ---

namespace {
std::mutex gFactoryLock;
TVelaXMLPreProcessorFactory* gFactory = nullptr;
}  // namespace

TVelaXMLPreProcessorFactory& PreProcessorFactory() {
  std::lock_guard lock(gFactoryLock);
  if (!gFactory) gFactory = new TVelaXMLPreProcessorFactory();
  return *gFactory;
}

bool PreProcessorFactoryAssigned() noexcept {
  std::lock_guard lock(gFactoryLock);
  return gFactory != nullptr;
}

void FreePreProcessorFactory() noexcept {
  TVelaXMLPreProcessorFactory* factory;
  {
    std::lock_guard lock(gFactoryLock);
    factory = std::exchange(gFactory, nullptr);
  }
  delete factory;
}

}  // namespace vela
