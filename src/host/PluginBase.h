// The host's plug-in framework: the plug-in object that a module library hands to the host
// through InitProc, the data modules it brings, and the class list through which a library
// announces them.
//
// Life of a plug-in, driven by the host (see PluginLoader.h):
//   InitProc -> Do_CreateDataModules (class list order) -> Do_Init -> Do_AfterStartup ... ->
//   Do_CanShutDown -> Do_BeforeUnInit -> Do_FreeDataModules (reverse order) -> release.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/ArdoLang.h"
#include "host/InterfacedData.h"
#include "host/MainInterface.h"
#include "host/db/ClientSQL.h"
#include "host/db/VelaDatabase.h"
#include "rtl/Exceptions.h"
#include "rtl/Interfaces.h"

namespace vela {

// A library's instance handle: the address at which it is loaded.
using HMODULE = void*;

class TClientPluginBase;
class TPluginBaseDataModule;

// A class reference for data modules: the class name and its virtual constructor.
struct TPluginDataModuleClassInfo {
  const char* ClassName;
  TPluginBaseDataModule* (*Create)(TClientPluginBase* AOwner);
};
using TPluginDataModuleClass = const TPluginDataModuleClassInfo*;

// The class reference of T, which needs a constructor T(TClientPluginBase*) and a static
// StaticClassName().
template <class T>
TPluginDataModuleClass PluginDataModuleClassOf() {
  static const TPluginDataModuleClassInfo info{
      T::StaticClassName(),
      [](TClientPluginBase* owner) -> TPluginBaseDataModule* { return new T(owner); }};
  return &info;
}

// The data module classes a library offers, in registration order. Owns nothing.
using TPluginModuleClassList = std::vector<TPluginDataModuleClass>;

// What the host sees of a plug-in. No method lets an exception through: failures come back as
// false with "ClassName: message" in ErrorMessage.
struct IClientPlugin : virtual IInterface {
  VELA_IID("{7E3B1F42-9C0D-4A8E-B5D1-2F6A7C3E9B14}");
  virtual std::string Get_PluginGuid() noexcept = 0;
  // The file of the library that registered the plug-in ('' when unknown).
  virtual std::string Get_ModuleFileName() noexcept = 0;
  virtual int32_t Get_DataModuleClassCount() noexcept = 0;
  virtual std::string Get_DataModuleClassName(int32_t AIndex) noexcept = 0;
  // Creates the registered data modules in class list order (none when the plug-in was built
  // without automatic data modules). A failure frees the ones already created.
  virtual bool Do_CreateDataModules(IMainInterface* AMainInterface,
                                    std::string& ErrorMessage) noexcept = 0;
  virtual int32_t Get_DataModuleCount() noexcept = 0;
  virtual std::string Get_DataModuleName(int32_t AIndex) noexcept = 0;
  virtual bool Do_Init(std::string& ErrorMessage) noexcept = 0;
  virtual bool Do_AfterStartup(std::string& ErrorMessage) noexcept = 0;
  // True when every data module agrees; a refusal tells the others ShutDownAborted.
  virtual bool Do_CanShutDown() noexcept = 0;
  virtual void Do_SetLanguage(TArdoLanguage ALanguage) noexcept = 0;
  virtual void Do_BeforeUnInit() noexcept = 0;
  // Frees the data modules in reverse creation order.
  virtual void Do_FreeDataModules() noexcept = 0;
  // The object of the first data module that offers the external function interface AIID
  // (query it with Supports for the typed interface).
  virtual bool Do_GetExtFunc(const TGUID& AIID, IPtr<IInterface>& AIntf) noexcept = 0;
};

// The plug-in object. A library creates it in InitProc and the host owns it from then on.
class TClientPluginBase : public TInterfacedObject, public IClientPlugin {
  VELA_INTERFACES(TInterfacedObject, IClientPlugin)

  // AGuid identifies the plug-in; AModule is the library's instance handle; AClassList lists
  // the data modules (it must outlive the plug-in object); ACreateDataModules true makes the
  // host create them at start-up.
  TClientPluginBase(std::string AGuid, HMODULE AModule, const TPluginModuleClassList* AClassList,
                    bool ACreateDataModules);
  ~TClientPluginBase() override;

  // Adds a data module class to a class list (ignores nil and duplicates).
  static void RegisterPluginDataModule(TPluginDataModuleClass AClass,
                                       TPluginModuleClassList* AList);

  std::string Get_PluginGuid() noexcept override { return FGuid; }
  std::string Get_ModuleFileName() noexcept override;
  int32_t Get_DataModuleClassCount() noexcept override;
  std::string Get_DataModuleClassName(int32_t AIndex) noexcept override;
  bool Do_CreateDataModules(IMainInterface* AMainInterface,
                            std::string& ErrorMessage) noexcept override;
  int32_t Get_DataModuleCount() noexcept override;
  std::string Get_DataModuleName(int32_t AIndex) noexcept override;
  bool Do_Init(std::string& ErrorMessage) noexcept override;
  bool Do_AfterStartup(std::string& ErrorMessage) noexcept override;
  bool Do_CanShutDown() noexcept override;
  void Do_SetLanguage(TArdoLanguage ALanguage) noexcept override;
  void Do_BeforeUnInit() noexcept override;
  void Do_FreeDataModules() noexcept override;
  bool Do_GetExtFunc(const TGUID& AIID, IPtr<IInterface>& AIntf) noexcept override;

  HMODULE ModuleHandle() const noexcept { return FModule; }
  IMainInterface* MainInterface() const noexcept { return FMainInterface.get(); }
  const std::vector<TPluginBaseDataModule*>& DataModules() const noexcept { return FDataModules; }

 private:
  std::string FGuid;
  HMODULE FModule;
  const TPluginModuleClassList* FClassList;
  bool FCreateDataModules;
  IPtr<IMainInterface> FMainInterface;
  std::vector<TPluginBaseDataModule*> FDataModules;  // owned, in creation order
};

// Base of a plug-in's data modules. Owned by the plug-in object, which creates them through
// their class reference ("virtual constructor") and deletes them; references counted through
// its interfaces never free it.
class TPluginBaseDataModule : public TInterfacedObject {
 public:
  explicit TPluginBaseDataModule(TClientPluginBase* AOwner);
  ~TPluginBaseDataModule() override;

  static const char* StaticClassName() noexcept { return "TPluginBaseDataModule"; }
  virtual const char* ClassName() const noexcept { return StaticClassName(); }

  // --- hooks, called by the plug-in object in this order ---
  // After all data modules are created.
  virtual void Init() {}
  // Once the host is up.
  virtual void AfterStartup() {}
  // False refuses the host's shut-down.
  virtual bool CanShutDown() { return true; }
  // Another data module refused the shut-down after this one agreed.
  virtual void ShutDownAborted() {}
  // Before the data modules are freed.
  virtual void BeforeUnInit() {}
  virtual void SetLanguage(TArdoLanguage ALanguage) { FLanguage = ALanguage; }

  // --- services ---
  IPtr<IMainInterface> GetMainInterface() const;
  // The database that the host opened (IVelaHostDatabase of the main interface), a new
  // command object on it and its field schemas. Raise EDatabaseError while the host has none.
  TVelaDatabase& GetDatabase() const;
  std::unique_ptr<TClientSQL> GetDBInterface() const;
  TDBFieldSchema& GetDBFieldSchema() const;
  // False without a main interface.
  bool HasRight(int32_t ARight) const;
  TArdoLanguage GetLanguage() const noexcept { return FLanguage; }
  // Name=value lines; empty without a main interface.
  IPtr<IStringListData> GetGlobalSettings() const;
  std::string GetPluginGuid() const;
  TClientPluginBase* Owner() const noexcept { return FOwner; }

  // --- external function lookup ---
  // Declares that this data module itself is its external function interface.
  void SetSelfIsExtFunc(bool AValue) noexcept { FSelfIsExtFunc = AValue; }
  bool SelfIsExtFunc() const noexcept { return FSelfIsExtFunc; }
  // The object that offers the data module's external functions (this one when
  // SelfIsExtFunc, else nil).
  virtual IPtr<IInterface> DoOnGetExtFunc();
  // DoOnGetExtFunc, when it offers AIID (query AIntf with Supports for the typed interface).
  bool GetExtFunc(const TGUID& AIID, IPtr<IInterface>& AIntf);

 private:
  TClientPluginBase* FOwner;
  TArdoLanguage FLanguage;
  bool FSelfIsExtFunc = false;
};

}  // namespace vela
