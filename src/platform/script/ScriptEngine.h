// The host's script engine: Lua 5.4 states that know the host's script classes (wrappers of
// interface references, all derived from "DIInterface"), enumerations and sets, constants and
// global variables. Plug-ins contribute to every new state through run-time type modules and
// global variables registered with TScriptRegistry.
//
//   TScriptEngine engine({.Sandbox = true, .RootFolder = app});
//   engine.DoFile(app + "/custom/nightly.lua", {Variant("arg")});
//   engine.Call("AfterImport", {Variant(fileName)});
//
// Lua is built as C++: a script error unwinds C++ frames with their destructors. Every C++
// exception that a handler raises is turned into a Lua error at the boundary, naming the method.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Interfaces.h"
#include "rtl/Variants.h"

struct lua_State;

namespace vela {

// A script failed to load or run; the message starts with the script's name and line
// ("nightly.lua:12: ...") when the error has a place.
VELA_DECLARE_EXCEPTION(EScriptError, Exception);

class TScriptEngine;
class TScriptCall;
struct TScriptClass;

using TScriptHandler = std::function<void(TScriptCall&)>;

struct TScriptMethod {
  std::string Name;  // as registered ("Do_Import"); calls match it ignoring case
  const TScriptClass* Class = nullptr;
  TScriptHandler Handler;
  std::string FullName() const;  // "DIExtFuncDataImport.Do_Import"
};

// A script class: wraps one interface reference. Objects of the class hold interfaces that
// support IID (classes without an identity take any interface).
struct TScriptClass {
  std::string Name;
  const TScriptClass* Parent = nullptr;
  TGUID IID{};
  bool HasIID = false;
  std::map<std::string, TScriptMethod> Methods;  // by upper-case name

  // The method of this class or of an ancestor (upper-case name); nil when none.
  const TScriptMethod* FindMethod(const std::string& AUpperName) const;
  bool InheritsFrom(const TScriptClass* AClass) const;
};

// The kind of a script value as a handler sees it.
enum class TScriptValueKind {
  Nil,
  Boolean,
  Integer,
  Number,
  String,
  Table,
  Function,
  Object,
  Other
};
const char* ScriptValueKindName(TScriptValueKind AKind);

// A Lua value (a table or a function) that C++ keeps beyond a call. Calling it after its state
// has closed raises EScriptError.
class TScriptRef {
 public:
  struct TLink;
  TScriptRef() = default;
  TScriptRef(std::shared_ptr<TLink> ALink, int ARef);
  ~TScriptRef();
  TScriptRef(const TScriptRef&) = delete;
  TScriptRef& operator=(const TScriptRef&) = delete;

  // Whether the table holds a function under AName (the function itself: AName empty).
  bool HasFunction(std::string_view AName) const;
  // Calls the table's function AName (with the table as first argument when AMethod is set) or
  // the function itself (AName empty); returns all results. Script errors raise EScriptError.
  std::vector<Variant> Call(std::string_view AName, const std::vector<Variant>& AArgs,
                            bool AMethod = false) const;

 private:
  std::shared_ptr<TLink> FLink;
  int FRef = -1;
};

// The arguments and results of one call of a script method. Arguments count from 0 and leave
// out the object itself. Every accessor checks the value's kind and raises EScriptError naming
// the argument when it does not fit.
class TScriptCall {
 public:
  TScriptCall(TScriptEngine& AEngine, lua_State* L, const TScriptMethod& AMethod);

  const TScriptMethod& Method() const noexcept { return FMethod; }
  TScriptEngine& Engine() const noexcept { return FEngine; }
  // The object the method was called on (the interface of its class).
  IInterface* Self() const noexcept { return FSelf; }

  int Count() const noexcept { return FCount; }
  TScriptValueKind Kind(int AIndex) const;
  bool Boolean(int AIndex) const;
  // An integral number (3.0 counts, 3.5 does not).
  int64_t Integer(int AIndex) const;
  double Number(int AIndex) const;
  std::string String(int AIndex) const;
  // The interface of an object argument (nil for nil) and the object's class.
  IInterface* Object(int AIndex, const TScriptClass** AClass = nullptr) const;
  // Nil, Boolean, numbers, strings and objects as a variant; tables raise.
  Variant ToVariant(int AIndex) const;
  // The values of a table's array part, in order.
  std::vector<Variant> Array(int AIndex) const;
  // The string-keyed entries of a table (sorted by name).
  std::vector<std::pair<std::string, Variant>> Fields(int AIndex) const;
  // Keeps a table or function for later calls.
  std::unique_ptr<TScriptRef> Ref(int AIndex) const;

  void Push(const Variant& AValue);
  // A nil interface gives nil. ATiedToSelf: the new object keeps the called object alive (for
  // parts of it that it does not count references for).
  void PushObject(const IPtr<IInterface>& AIntf, const TScriptClass* AClass,
                  bool ATiedToSelf = false);
  void PushArray(const std::vector<Variant>& AValues);
  int Results() const noexcept { return FResults; }
  // Pushes an object onto a state's stack (nil for a nil interface or class).
  static void PushObjectTo(lua_State* L, const IPtr<IInterface>& AIntf, const TScriptClass* AClass);

  // Raises EScriptError "what" for argument AIndex ("argument 2 (Name): what").
  [[noreturn]] void ArgumentError(int AIndex, const std::string& AWhat,
                                  std::string_view AName = {}) const;

 private:
  int Slot(int AIndex) const noexcept { return AIndex + FFirst; }
  void ExpectKind(int AIndex, TScriptValueKind AKind) const;

  TScriptEngine& FEngine;
  lua_State* L;
  const TScriptMethod& FMethod;
  IInterface* FSelf = nullptr;
  int FFirst = 2;  // stack slot of argument 0 (1 for global functions)
  int FCount = 0;
  int FResults = 0;
};

struct TScriptOptions {
  // Scripts that the server runs: no process execution, no native modules, files only below
  // RootFolder (relative names are taken from there).
  bool Sandbox = false;
  std::string RootFolder;
};

// One Lua state with the host's registrations.
class TScriptEngine {
 public:
  // Opens the standard libraries, applies the sandbox, then every registered run-time type
  // module and global variable (TScriptRegistry).
  explicit TScriptEngine(TScriptOptions AOptions = {});
  ~TScriptEngine();
  TScriptEngine(const TScriptEngine&) = delete;
  TScriptEngine& operator=(const TScriptEngine&) = delete;

  const TScriptOptions& Options() const noexcept { return FOptions; }
  lua_State* State() const noexcept { return L; }

  // --- registration ---
  // A class derived from AParent ("DIInterface" when empty; the base itself has none).
  TScriptClass& RegisterClass(const std::string& AName, const std::string& AParent = {},
                              const TGUID* AIID = nullptr);
  void AddMethod(TScriptClass& AClass, const std::string& AName, TScriptHandler AHandler);
  // nil when unknown (ignoring case).
  const TScriptClass* FindClass(std::string_view AName) const;
  // The values become global integers with their ordinals (0, 1, ...).
  void RegisterEnum(const std::string& ATypeName, const std::vector<std::string>& AValues);
  // The ordinal of an enumeration value (ignoring case), -1 when unknown.
  int32_t EnumValue(std::string_view AValueName) const;
  void RegisterConst(const std::string& AName, const Variant& AValue);
  void SetGlobal(const std::string& AName, const Variant& AValue);
  // A global object of the class (nil interface: the global is removed).
  void SetGlobalObject(const std::string& AName, const IPtr<IInterface>& AIntf,
                       const TScriptClass* AClass);
  // A global function written in C++ (it gets no object: Self is nil).
  void RegisterFunction(const std::string& AName, TScriptHandler AHandler);

  // --- running ---
  // Runs a script file or text; AArgs are its "..." and the global table "arg" (arg[0] the
  // name). Returns the chunk's results.
  std::vector<Variant> DoFile(const std::string& AFileName, const std::vector<Variant>& AArgs = {});
  std::vector<Variant> DoText(std::string_view AText, const std::string& AName,
                              const std::vector<Variant>& AArgs = {});
  // Runs a script file with one table argument made of the named values (its "...").
  std::vector<Variant> DoFileWithTable(const std::string& AFileName,
                                       const std::vector<std::pair<std::string, Variant>>& AFields);
  bool HasFunction(const std::string& AName) const;
  // Calls a global function; raises EScriptError when it does not exist or fails.
  std::vector<Variant> Call(const std::string& AName, const std::vector<Variant>& AArgs = {});
  // Calls a global function with one table argument made of the named values.
  std::vector<Variant> CallWithTable(const std::string& AName,
                                     const std::vector<std::pair<std::string, Variant>>& AFields);

  // The script class that wraps interfaces of this identity (nil when none).
  const TScriptClass* ClassOfIID(const TGUID& AIID) const;
  // The first class (by name) whose identity the object supports; DIInterface when none.
  const TScriptClass* ClassOfObject(IInterface* AIntf) const;
  // The engine that owns a state.
  static TScriptEngine& Of(lua_State* L);

 private:
  friend class TScriptCall;
  std::vector<Variant> Run(int AArgCount, int ABase);
  void Load(int AStatus);
  void LoadFile(const std::string& AFileName);
  void PushTable(const std::vector<std::pair<std::string, Variant>>& AFields);

  TScriptOptions FOptions;
  lua_State* L = nullptr;
  std::shared_ptr<TScriptRef::TLink> FLink;
  std::map<std::string, std::unique_ptr<TScriptClass>> FClasses;  // by upper-case name
  std::map<std::string, int32_t> FEnumValues;                     // by upper-case name
  std::vector<std::unique_ptr<TScriptMethod>> FFunctions;
};

// Applies the sandbox to a state (see docs/scripting.md).
void ApplyScriptSandbox(lua_State* L, const std::string& ARootFolder);
// The absolute form of a path that a sandboxed script names; raises EScriptError when it lies
// outside the root folder.
std::string SandboxedPath(const std::string& ARootFolder, const std::string& APath);

// What every new script engine gets: the run-time type modules of the loaded plug-ins and their
// global variables. Thread-safe.
class TScriptRegistry {
 public:
  using TRTTIModule = void (*)(TScriptEngine&);
  static void AddRTTIModule(TRTTIModule AModule);
  static void RemoveRTTIModule(TRTTIModule AModule);
  // The variable's class is looked up by name when a state is created.
  static void RegisterGlobalScriptVar(const std::string& AName, const IPtr<IInterface>& AIntf,
                                      const std::string& AClassName);
  static void UnregisterGlobalScriptVar(const std::string& AName);
  static bool HasGlobalScriptVar(const std::string& AName);
  // Applies the modules and variables to an engine (done by its constructor).
  static void Apply(TScriptEngine& AEngine);
};

}  // namespace vela
