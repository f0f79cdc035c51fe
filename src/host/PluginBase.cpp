#include "host/PluginBase.h"

#include <dlfcn.h>

#include <algorithm>

namespace vela {

namespace {

// Runs f and turns any exception into false + "ClassName: message".
template <class F>
bool Guarded(std::string& errorMessage, F&& f) noexcept {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    try {
      errorMessage = ExceptionText(e);
    } catch (...) {
    }
  } catch (...) {
    errorMessage = "Exception: unknown exception";
  }
  return false;
}

}  // namespace

// --- TClientPluginBase ---

TClientPluginBase::TClientPluginBase(std::string AGuid, HMODULE AModule,
                                     const TPluginModuleClassList* AClassList,
                                     bool ACreateDataModules)
    : FGuid(std::move(AGuid)),
      FModule(AModule),
      FClassList(AClassList),
      FCreateDataModules(ACreateDataModules) {}

TClientPluginBase::~TClientPluginBase() {
  Do_FreeDataModules();
}

void TClientPluginBase::RegisterPluginDataModule(TPluginDataModuleClass AClass,
                                                 TPluginModuleClassList* AList) {
  if (!AClass || !AList) return;
  if (std::find(AList->begin(), AList->end(), AClass) == AList->end()) AList->push_back(AClass);
}

std::string TClientPluginBase::Get_ModuleFileName() noexcept {
  Dl_info info{};
  if (FModule && ::dladdr(FModule, &info) && info.dli_fname) return info.dli_fname;
  return {};
}

int32_t TClientPluginBase::Get_DataModuleClassCount() noexcept {
  return FClassList ? static_cast<int32_t>(FClassList->size()) : 0;
}

std::string TClientPluginBase::Get_DataModuleClassName(int32_t AIndex) noexcept {
  if (AIndex < 0 || AIndex >= Get_DataModuleClassCount()) return {};
  return (*FClassList)[static_cast<size_t>(AIndex)]->ClassName;
}

bool TClientPluginBase::Do_CreateDataModules(IMainInterface* AMainInterface,
                                             std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  if (!FDataModules.empty()) return true;
  FMainInterface = AMainInterface;
  if (!FCreateDataModules || !FClassList) return true;
  const bool ok = Guarded(ErrorMessage, [&] {
    FDataModules.reserve(FClassList->size());
    for (TPluginDataModuleClass cls : *FClassList)
      FDataModules.push_back(cls->Create(this));
  });
  if (!ok) Do_FreeDataModules();
  return ok;
}

int32_t TClientPluginBase::Get_DataModuleCount() noexcept {
  return static_cast<int32_t>(FDataModules.size());
}

std::string TClientPluginBase::Get_DataModuleName(int32_t AIndex) noexcept {
  if (AIndex < 0 || AIndex >= Get_DataModuleCount()) return {};
  return FDataModules[static_cast<size_t>(AIndex)]->ClassName();
}

bool TClientPluginBase::Do_Init(std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  return Guarded(ErrorMessage, [&] {
    for (auto* dm : FDataModules)
      dm->Init();
  });
}

bool TClientPluginBase::Do_AfterStartup(std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  return Guarded(ErrorMessage, [&] {
    for (auto* dm : FDataModules)
      dm->AfterStartup();
  });
}

bool TClientPluginBase::Do_CanShutDown() noexcept {
  std::string ignored;
  for (size_t i = 0; i < FDataModules.size(); ++i) {
    bool can = false;
    if (!Guarded(ignored, [&] { can = FDataModules[i]->CanShutDown(); })) can = false;
    if (!can) {
      // Those that already agreed learn that the shut-down does not happen.
      for (size_t j = 0; j < i; ++j)
        Guarded(ignored, [&] { FDataModules[j]->ShutDownAborted(); });
      return false;
    }
  }
  return true;
}

void TClientPluginBase::Do_SetLanguage(TArdoLanguage ALanguage) noexcept {
  std::string ignored;
  for (auto* dm : FDataModules)
    Guarded(ignored, [&] { dm->SetLanguage(ALanguage); });
}

void TClientPluginBase::Do_BeforeUnInit() noexcept {
  std::string ignored;
  for (auto* dm : FDataModules)
    Guarded(ignored, [&] { dm->BeforeUnInit(); });
}

void TClientPluginBase::Do_FreeDataModules() noexcept {
  while (!FDataModules.empty()) {
    TPluginBaseDataModule* dm = FDataModules.back();
    FDataModules.pop_back();
    delete dm;
  }
  FMainInterface = nullptr;
}

bool TClientPluginBase::Do_GetExtFunc(const TGUID& AIID, IPtr<IInterface>& AIntf) noexcept {
  AIntf = nullptr;
  std::string ignored;
  for (auto* dm : FDataModules) {
    bool found = false;
    Guarded(ignored, [&] { found = dm->GetExtFunc(AIID, AIntf); });
    if (found) return true;
  }
  return false;
}

// --- TPluginBaseDataModule ---

TPluginBaseDataModule::TPluginBaseDataModule(TClientPluginBase* AOwner)
    : FOwner(AOwner), FLanguage(TArdoLanguage::English) {
  // The plug-in object owns the data module; interface references never free it.
  SetFreeOnRelease(false);
  if (auto* mi = AOwner ? AOwner->MainInterface() : nullptr) FLanguage = mi->Get_Language();
}

TPluginBaseDataModule::~TPluginBaseDataModule() = default;

IPtr<IMainInterface> TPluginBaseDataModule::GetMainInterface() const {
  return FOwner ? IPtr<IMainInterface>(FOwner->MainInterface()) : nullptr;
}

TVelaDatabase& TPluginBaseDataModule::GetDatabase() const {
  IPtr<IVelaHostDatabase> host;
  TVelaDatabase* db = nullptr;
  if (auto mi = GetMainInterface(); mi && Supports(mi.get(), host)) db = host->Get_Database();
  if (!db) throw EDatabaseError("The host has no database open");
  return *db;
}

std::unique_ptr<TClientSQL> TPluginBaseDataModule::GetDBInterface() const {
  return GetDatabase().GetDBInterface();
}

TDBFieldSchema& TPluginBaseDataModule::GetDBFieldSchema() const {
  return GetDatabase().GetDBFieldSchema();
}

bool TPluginBaseDataModule::HasRight(int32_t ARight) const {
  auto mi = GetMainInterface();
  return mi && mi->HasRight(ARight);
}

IPtr<IStringListData> TPluginBaseDataModule::GetGlobalSettings() const {
  auto mi = GetMainInterface();
  return mi ? mi->Get_GlobalSettings() : NewStringListData();
}

std::string TPluginBaseDataModule::GetPluginGuid() const {
  return FOwner ? FOwner->Get_PluginGuid() : std::string();
}

IPtr<IInterface> TPluginBaseDataModule::DoOnGetExtFunc() {
  return FSelfIsExtFunc ? IPtr<IInterface>(static_cast<IInterface*>(this)) : nullptr;
}

bool TPluginBaseDataModule::GetExtFunc(const TGUID& AIID, IPtr<IInterface>& AIntf) {
  AIntf = nullptr;
  IPtr<IInterface> ext = DoOnGetExtFunc();
  if (!ext) return false;
  if (!Supports(ext.get(), AIID)) return false;
  AIntf = std::move(ext);
  return true;
}

}  // namespace vela
