#include "platform/script/ScriptEngine.h"

#include <lua.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>

#include "rtl/SysUtils.h"

namespace vela {

struct TScriptRef::TLink {
  lua_State* L = nullptr;  // nil once the state has closed
};

namespace {

// Registry keys: addresses of these statics.
const char kClassKey = 0;  // in a class metatable: the TScriptClass
const char kEngineKey = 0;

struct TBox {
  IInterface* Intf;  // holds a reference
  const TScriptClass* Class;
};

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

TBox* ToBox(lua_State* L, int idx) {
  if (lua_type(L, idx) != LUA_TUSERDATA || !lua_getmetatable(L, idx)) return nullptr;
  const bool isObject = lua_rawgetp(L, -1, &kClassKey) == LUA_TLIGHTUSERDATA;
  lua_pop(L, 2);
  return isObject ? static_cast<TBox*>(lua_touserdata(L, idx)) : nullptr;
}

// The message of a failed call, with the place in the script where the method was called.
[[noreturn]] int RaiseLuaError(lua_State* L, const std::string& AMessage) {
  luaL_where(L, 1);
  lua_pushlstring(L, AMessage.data(), AMessage.size());
  lua_concat(L, 2);
  lua_error(L);
  std::abort();  // lua_error does not return
}

std::string ErrorText(const std::exception& e) {
  if (dynamic_cast<const EScriptError*>(&e)) return e.what();
  return ExceptionText(e);
}

// Runs a method's handler; C++ exceptions end here and go on as Lua errors (after every C++
// frame of the call has been left).
int MethodTrampoline(lua_State* L) {
  const auto* m = static_cast<const TScriptMethod*>(lua_touserdata(L, lua_upvalueindex(1)));
  std::string error;
  try {
    TScriptCall call(TScriptEngine::Of(L), L, *m);
    m->Handler(call);
    return call.Results();
  } catch (const std::exception& e) {
    error = m->FullName() + ": " + ErrorText(e);
  }
  RaiseLuaError(L, error);
}

void PushMethod(lua_State* L, const TScriptMethod* m) {
  lua_pushlightuserdata(L, const_cast<TScriptMethod*>(m));
  lua_pushcclosure(L, MethodTrampoline, 1);
}

// __index of a class's method table: finds a method ignoring case and caches it under the name
// the script used.
int MethodLookup(lua_State* L) {
  const auto* cls = static_cast<const TScriptClass*>(lua_touserdata(L, lua_upvalueindex(1)));
  size_t len = 0;
  const char* key = lua_type(L, 2) == LUA_TSTRING ? lua_tolstring(L, 2, &len) : nullptr;
  const TScriptMethod* m = key ? cls->FindMethod(Upper(std::string_view(key, len))) : nullptr;
  if (!m) return 0;
  PushMethod(L, m);
  lua_pushvalue(L, 2);
  lua_pushvalue(L, -2);
  lua_rawset(L, 1);
  return 1;
}

int ObjectGc(lua_State* L) {
  auto* box = static_cast<TBox*>(lua_touserdata(L, 1));
  if (box && box->Intf) std::exchange(box->Intf, nullptr)->_Release();
  return 0;
}

int ObjectToString(lua_State* L) {
  const TBox* box = ToBox(L, 1);
  lua_pushfstring(L, "%s: %p", box ? box->Class->Name.c_str() : "?", box ? box->Intf : nullptr);
  return 1;
}

// Two objects are equal when they hold the same object (interfaces share one IInterface).
int ObjectEq(lua_State* L) {
  const TBox* a = ToBox(L, 1);
  const TBox* b = ToBox(L, 2);
  lua_pushboolean(L, a && b && a->Intf == b->Intf);
  return 1;
}

void PushVariant(lua_State* L, TScriptEngine& engine, const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      lua_pushnil(L);
      break;
    case Variant::Kind::Boolean:
      lua_pushboolean(L, v.AsBoolean());
      break;
    case Variant::Kind::Int32:
    case Variant::Kind::Int64:
      lua_pushinteger(L, v.AsInt64());
      break;
    case Variant::Kind::UInt64:
      lua_pushinteger(L, static_cast<lua_Integer>(v.AsUInt64()));
      break;
    case Variant::Kind::Double:
    case Variant::Kind::DateTime:
      lua_pushnumber(L, v.AsDouble());
      break;
    case Variant::Kind::String: {
      const std::string s = v.AsString();
      lua_pushlstring(L, s.data(), s.size());
      break;
    }
    case Variant::Kind::Bytes: {
      const auto b = v.AsBytes();
      lua_pushlstring(L, reinterpret_cast<const char*>(b.data()), b.size());
      break;
    }
    case Variant::Kind::Interface: {
      IPtr<IInterface> intf = v.AsInterface();
      TScriptCall::PushObjectTo(L, intf, engine.ClassOfObject(intf.get()));
      break;
    }
  }
}

// Values of a table or a chunk's results; tables and functions give Empty when ALoose is set.
Variant ToVariant(lua_State* L, int idx, bool ALoose, bool* AOk = nullptr) {
  if (AOk) *AOk = true;
  switch (lua_type(L, idx)) {
    case LUA_TNIL:
    case LUA_TNONE:
      return {};
    case LUA_TBOOLEAN:
      return Variant(lua_toboolean(L, idx) != 0);
    case LUA_TNUMBER:
      if (lua_isinteger(L, idx)) {
        const lua_Integer i = lua_tointeger(L, idx);
        if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<int32_t>(i));
        return Variant(static_cast<int64_t>(i));
      }
      return Variant(static_cast<double>(lua_tonumber(L, idx)));
    case LUA_TSTRING: {
      size_t len = 0;
      const char* s = lua_tolstring(L, idx, &len);
      return Variant(std::string(s, len));
    }
    default:
      if (const TBox* box = ToBox(L, idx)) return Variant(IPtr<IInterface>(box->Intf));
      if (AOk && !ALoose) *AOk = false;
      return {};
  }
}

bool ReadFileText(const std::string& AFileName, std::string& AText) {
  std::ifstream in(AFileName, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  AText = text.str();
  // A first line starting with '#' (an interpreter line) is no Lua.
  if (AText.rfind("#", 0) == 0) AText.insert(0, "--");
  return true;
}

std::string TopMessage(lua_State* L) {
  const char* msg = luaL_tolstring(L, -1, nullptr);
  std::string r = msg ? msg : "(error object is not a string)";
  lua_pop(L, 2);
  return r;
}

struct TRegistryState {
  std::mutex Lock;
  std::vector<TScriptRegistry::TRTTIModule> Modules;
  struct TVar {
    std::string Name;
    IPtr<IInterface> Intf;
    std::string ClassName;
  };
  std::vector<TVar> Vars;
};

TRegistryState& Registry() {
  static TRegistryState state;
  return state;
}

}  // namespace

// --- classes ---

std::string TScriptMethod::FullName() const {
  return Class ? Class->Name + "." + Name : Name;
}

const TScriptMethod* TScriptClass::FindMethod(const std::string& AUpperName) const {
  for (const TScriptClass* c = this; c; c = c->Parent)
    if (auto it = c->Methods.find(AUpperName); it != c->Methods.end()) return &it->second;
  return nullptr;
}

bool TScriptClass::InheritsFrom(const TScriptClass* AClass) const {
  for (const TScriptClass* c = this; c; c = c->Parent)
    if (c == AClass) return true;
  return false;
}

const char* ScriptValueKindName(TScriptValueKind AKind) {
  switch (AKind) {
    case TScriptValueKind::Nil:
      return "nil";
    case TScriptValueKind::Boolean:
      return "boolean";
    case TScriptValueKind::Integer:
      return "integer";
    case TScriptValueKind::Number:
      return "number";
    case TScriptValueKind::String:
      return "string";
    case TScriptValueKind::Table:
      return "table";
    case TScriptValueKind::Function:
      return "function";
    case TScriptValueKind::Object:
      return "object";
    case TScriptValueKind::Other:
      break;
  }
  return "value";
}

// --- references ---

TScriptRef::TScriptRef(std::shared_ptr<TLink> ALink, int ARef)
    : FLink(std::move(ALink)), FRef(ARef) {}

TScriptRef::~TScriptRef() {
  if (FLink && FLink->L && FRef >= 0) luaL_unref(FLink->L, LUA_REGISTRYINDEX, FRef);
}

bool TScriptRef::HasFunction(std::string_view AName) const {
  lua_State* L = FLink ? FLink->L : nullptr;
  if (!L) return false;
  const int top = lua_gettop(L);
  lua_rawgeti(L, LUA_REGISTRYINDEX, FRef);
  if (!AName.empty()) {
    if (lua_type(L, -1) != LUA_TTABLE) {
      lua_settop(L, top);
      return false;
    }
    lua_getfield(L, -1, std::string(AName).c_str());
  }
  const bool r = lua_type(L, -1) == LUA_TFUNCTION;
  lua_settop(L, top);
  return r;
}

std::vector<Variant> TScriptRef::Call(std::string_view AName, const std::vector<Variant>& AArgs,
                                      bool AMethod) const {
  lua_State* L = FLink ? FLink->L : nullptr;
  if (!L) throw EScriptError("the script has ended");
  TScriptEngine& engine = TScriptEngine::Of(L);
  const int top = lua_gettop(L);
  lua_rawgeti(L, LUA_REGISTRYINDEX, FRef);
  int extra = 0;
  if (!AName.empty()) {
    lua_getfield(L, -1, std::string(AName).c_str());
    if (lua_type(L, -1) != LUA_TFUNCTION) {
      lua_settop(L, top);
      throw EScriptError("the script object has no function '" + std::string(AName) + "'");
    }
    if (AMethod) {
      lua_pushvalue(L, -2);
      extra = 1;
    }
  }
  for (const Variant& a : AArgs)
    PushVariant(L, engine, a);
  const int base = lua_gettop(L) - static_cast<int>(AArgs.size()) - extra;
  if (lua_pcall(L, static_cast<int>(AArgs.size()) + extra, LUA_MULTRET, 0) != LUA_OK) {
    std::string msg = TopMessage(L);
    lua_settop(L, top);
    throw EScriptError(msg);
  }
  std::vector<Variant> results;
  for (int i = base; i <= lua_gettop(L); ++i)
    results.push_back(ToVariant(L, i, true));
  lua_settop(L, top);
  return results;
}

// --- calls ---

TScriptCall::TScriptCall(TScriptEngine& AEngine, lua_State* AL, const TScriptMethod& AMethod)
    : FEngine(AEngine), L(AL), FMethod(AMethod) {
  if (AMethod.Class) {
    const TBox* box = ToBox(L, 1);
    if (!box || !box->Class->InheritsFrom(AMethod.Class))
      throw EScriptError("needs an object of class " + AMethod.Class->Name +
                         " (call it as object:" + AMethod.Name + "(...))");
    FSelf = box->Intf;
  } else {
    FFirst = 1;
  }
  FCount = lua_gettop(L) - FFirst + 1;
}

TScriptValueKind TScriptCall::Kind(int AIndex) const {
  const int slot = Slot(AIndex);
  switch (lua_type(L, slot)) {
    case LUA_TNIL:
    case LUA_TNONE:
      return TScriptValueKind::Nil;
    case LUA_TBOOLEAN:
      return TScriptValueKind::Boolean;
    case LUA_TNUMBER:
      return lua_isinteger(L, slot) ? TScriptValueKind::Integer : TScriptValueKind::Number;
    case LUA_TSTRING:
      return TScriptValueKind::String;
    case LUA_TTABLE:
      return TScriptValueKind::Table;
    case LUA_TFUNCTION:
      return TScriptValueKind::Function;
    case LUA_TUSERDATA:
      return ToBox(L, slot) ? TScriptValueKind::Object : TScriptValueKind::Other;
    default:
      return TScriptValueKind::Other;
  }
}

void TScriptCall::ArgumentError(int AIndex, const std::string& AWhat,
                                std::string_view AName) const {
  std::string msg = "argument " + std::to_string(AIndex + 1);
  if (!AName.empty()) msg += " (" + std::string(AName) + ")";
  throw EScriptError(msg + ": " + AWhat);
}

void TScriptCall::ExpectKind(int AIndex, TScriptValueKind AKind) const {
  const TScriptValueKind k = Kind(AIndex);
  if (k != AKind)
    ArgumentError(AIndex, std::string(ScriptValueKindName(AKind)) + " expected, got " +
                              ScriptValueKindName(k));
}

bool TScriptCall::Boolean(int AIndex) const {
  ExpectKind(AIndex, TScriptValueKind::Boolean);
  return lua_toboolean(L, Slot(AIndex)) != 0;
}

int64_t TScriptCall::Integer(int AIndex) const {
  const int slot = Slot(AIndex);
  if (lua_type(L, slot) == LUA_TNUMBER) {
    lua_Integer i = 0;
    if (lua_isinteger(L, slot)) return lua_tointeger(L, slot);
    const double d = lua_tonumber(L, slot);
    if (lua_numbertointeger(std::floor(d), &i) && std::floor(d) == d) return i;
    ArgumentError(AIndex, "integer expected, got a number with a fraction");
  }
  ExpectKind(AIndex, TScriptValueKind::Integer);
  return 0;
}

double TScriptCall::Number(int AIndex) const {
  if (lua_type(L, Slot(AIndex)) != LUA_TNUMBER) ExpectKind(AIndex, TScriptValueKind::Number);
  return lua_tonumber(L, Slot(AIndex));
}

std::string TScriptCall::String(int AIndex) const {
  ExpectKind(AIndex, TScriptValueKind::String);
  size_t len = 0;
  const char* s = lua_tolstring(L, Slot(AIndex), &len);
  return std::string(s, len);
}

IInterface* TScriptCall::Object(int AIndex, const TScriptClass** AClass) const {
  if (AClass) *AClass = nullptr;
  if (Kind(AIndex) == TScriptValueKind::Nil) return nullptr;
  const TBox* box = ToBox(L, Slot(AIndex));
  if (!box) ExpectKind(AIndex, TScriptValueKind::Object);
  if (AClass) *AClass = box->Class;
  return box->Intf;
}

Variant TScriptCall::ToVariant(int AIndex) const {
  bool ok = true;
  Variant v = vela::ToVariant(L, Slot(AIndex), false, &ok);
  if (!ok)
    ArgumentError(AIndex,
                  std::string("a simple value expected, got ") + ScriptValueKindName(Kind(AIndex)));
  return v;
}

std::vector<Variant> TScriptCall::Array(int AIndex) const {
  ExpectKind(AIndex, TScriptValueKind::Table);
  const int slot = Slot(AIndex);
  std::vector<Variant> r;
  const lua_Integer n = static_cast<lua_Integer>(lua_rawlen(L, slot));
  for (lua_Integer i = 1; i <= n; ++i) {
    lua_rawgeti(L, slot, i);
    bool ok = true;
    r.push_back(vela::ToVariant(L, -1, false, &ok));
    lua_pop(L, 1);
    if (!ok) ArgumentError(AIndex, "item " + std::to_string(i) + " is not a simple value");
  }
  return r;
}

std::vector<std::pair<std::string, Variant>> TScriptCall::Fields(int AIndex) const {
  ExpectKind(AIndex, TScriptValueKind::Table);
  const int slot = Slot(AIndex);
  std::map<std::string, Variant> sorted;
  lua_pushnil(L);
  while (lua_next(L, slot)) {
    if (lua_type(L, -2) == LUA_TSTRING) {
      bool ok = true;
      Variant v = vela::ToVariant(L, -1, false, &ok);
      const std::string key = lua_tostring(L, -2);
      if (!ok) {
        lua_pop(L, 2);
        ArgumentError(AIndex, "field '" + key + "' is not a simple value");
      }
      sorted[key] = std::move(v);
    }
    lua_pop(L, 1);
  }
  return {sorted.begin(), sorted.end()};
}

std::unique_ptr<TScriptRef> TScriptCall::Ref(int AIndex) const {
  const TScriptValueKind k = Kind(AIndex);
  if (k != TScriptValueKind::Table && k != TScriptValueKind::Function)
    ArgumentError(AIndex, std::string("table or function expected, got ") + ScriptValueKindName(k));
  lua_pushvalue(L, Slot(AIndex));
  const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
  return std::make_unique<TScriptRef>(FEngine.FLink, ref);
}

void TScriptCall::Push(const Variant& AValue) {
  PushVariant(L, FEngine, AValue);
  ++FResults;
}

void TScriptCall::PushObjectTo(lua_State* L, const IPtr<IInterface>& AIntf,
                               const TScriptClass* AClass) {
  if (!AIntf || !AClass) {
    lua_pushnil(L);
    return;
  }
  auto* box = static_cast<TBox*>(lua_newuserdatauv(L, sizeof(TBox), 1));
  box->Intf = nullptr;
  box->Class = AClass;
  lua_rawgetp(L, LUA_REGISTRYINDEX, AClass);
  lua_setmetatable(L, -2);
  box->Intf = AIntf.get();
  box->Intf->_AddRef();
}

void TScriptCall::PushObject(const IPtr<IInterface>& AIntf, const TScriptClass* AClass,
                             bool ATiedToSelf) {
  PushObjectTo(L, AIntf, AClass);
  if (ATiedToSelf && FMethod.Class && lua_type(L, -1) == LUA_TUSERDATA) {
    lua_pushvalue(L, 1);
    lua_setiuservalue(L, -2, 1);
  }
  ++FResults;
}

void TScriptCall::PushArray(const std::vector<Variant>& AValues) {
  lua_createtable(L, static_cast<int>(AValues.size()), 0);
  lua_Integer i = 0;
  for (const Variant& v : AValues) {
    PushVariant(L, FEngine, v);
    lua_rawseti(L, -2, ++i);
  }
  ++FResults;
}

// --- engine ---

TScriptEngine::TScriptEngine(TScriptOptions AOptions) : FOptions(std::move(AOptions)) {
  L = luaL_newstate();
  if (!L) throw EScriptError("out of memory for a script state");
  FLink = std::make_shared<TScriptRef::TLink>();
  FLink->L = L;
  lua_pushlightuserdata(L, this);
  lua_rawsetp(L, LUA_REGISTRYINDEX, &kEngineKey);
  try {
    luaL_openlibs(L);
    if (FOptions.Sandbox) ApplyScriptSandbox(L, FOptions.RootFolder);
    RegisterClass("DIInterface");
    TScriptRegistry::Apply(*this);
  } catch (...) {
    FLink->L = nullptr;
    lua_close(L);
    throw;
  }
}

TScriptEngine::~TScriptEngine() {
  // References that outlive the state must not touch it while it closes.
  FLink->L = nullptr;
  lua_close(L);
}

TScriptEngine& TScriptEngine::Of(lua_State* L) {
  lua_rawgetp(L, LUA_REGISTRYINDEX, &kEngineKey);
  auto* engine = static_cast<TScriptEngine*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return *engine;
}

TScriptClass& TScriptEngine::RegisterClass(const std::string& AName, const std::string& AParent,
                                           const TGUID* AIID) {
  const std::string key = Upper(AName);
  auto& slot = FClasses[key];
  if (!slot) slot = std::make_unique<TScriptClass>();
  TScriptClass& cls = *slot;
  cls.Name = AName;
  if (key != "DIINTERFACE") cls.Parent = FindClass(AParent.empty() ? "DIInterface" : AParent);
  cls.HasIID = AIID != nullptr;
  if (AIID) cls.IID = *AIID;
  // The metatable of the class's objects, found by the class's address.
  lua_createtable(L, 0, 6);
  lua_pushlightuserdata(L, &cls);
  lua_rawsetp(L, -2, &kClassKey);
  lua_pushstring(L, cls.Name.c_str());
  lua_setfield(L, -2, "__name");
  lua_pushcfunction(L, ObjectGc);
  lua_setfield(L, -2, "__gc");
  lua_pushcfunction(L, ObjectToString);
  lua_setfield(L, -2, "__tostring");
  lua_pushcfunction(L, ObjectEq);
  lua_setfield(L, -2, "__eq");
  lua_newtable(L);  // the methods, filled on first use
  lua_createtable(L, 0, 1);
  lua_pushlightuserdata(L, &cls);
  lua_pushcclosure(L, MethodLookup, 1);
  lua_setfield(L, -2, "__index");
  lua_setmetatable(L, -2);
  lua_setfield(L, -2, "__index");
  lua_pushboolean(L, 0);
  lua_setfield(L, -2, "__metatable");  // scripts cannot change or read it
  lua_rawsetp(L, LUA_REGISTRYINDEX, &cls);
  return cls;
}

void TScriptEngine::AddMethod(TScriptClass& AClass, const std::string& AName,
                              TScriptHandler AHandler) {
  TScriptMethod& m = AClass.Methods[Upper(AName)];
  m.Name = AName;
  m.Class = &AClass;
  m.Handler = std::move(AHandler);
}

const TScriptClass* TScriptEngine::FindClass(std::string_view AName) const {
  auto it = FClasses.find(Upper(AName));
  return it == FClasses.end() ? nullptr : it->second.get();
}

const TScriptClass* TScriptEngine::ClassOfIID(const TGUID& AIID) const {
  for (const auto& [name, cls] : FClasses)
    if (cls->HasIID && cls->IID == AIID) return cls.get();
  return nullptr;
}

const TScriptClass* TScriptEngine::ClassOfObject(IInterface* AIntf) const {
  if (AIntf)
    for (const auto& [name, cls] : FClasses)
      if (cls->HasIID && Supports(AIntf, cls->IID)) return cls.get();
  return FindClass("DIInterface");
}

void TScriptEngine::RegisterEnum(const std::string& /*ATypeName*/,
                                 const std::vector<std::string>& AValues) {
  int32_t ordinal = 0;
  for (const std::string& v : AValues) {
    FEnumValues[Upper(v)] = ordinal;
    lua_pushinteger(L, ordinal++);
    lua_setglobal(L, v.c_str());
  }
}

int32_t TScriptEngine::EnumValue(std::string_view AValueName) const {
  auto it = FEnumValues.find(Upper(AValueName));
  return it == FEnumValues.end() ? -1 : it->second;
}

void TScriptEngine::RegisterConst(const std::string& AName, const Variant& AValue) {
  SetGlobal(AName, AValue);
}

void TScriptEngine::SetGlobal(const std::string& AName, const Variant& AValue) {
  PushVariant(L, *this, AValue);
  lua_setglobal(L, AName.c_str());
}

void TScriptEngine::SetGlobalObject(const std::string& AName, const IPtr<IInterface>& AIntf,
                                    const TScriptClass* AClass) {
  TScriptCall::PushObjectTo(L, AIntf, AClass ? AClass : FindClass("DIInterface"));
  lua_setglobal(L, AName.c_str());
}

void TScriptEngine::RegisterFunction(const std::string& AName, TScriptHandler AHandler) {
  auto m = std::make_unique<TScriptMethod>();
  m->Name = AName;
  m->Handler = std::move(AHandler);
  PushMethod(L, m.get());
  lua_setglobal(L, AName.c_str());
  FFunctions.push_back(std::move(m));
}

void TScriptEngine::Load(int AStatus) {
  if (AStatus != LUA_OK) throw EScriptError(TopMessage(L));
}

std::vector<Variant> TScriptEngine::Run(int AArgCount, int ABase) {
  if (lua_pcall(L, AArgCount, LUA_MULTRET, 0) != LUA_OK) {
    std::string msg = TopMessage(L);
    lua_settop(L, ABase);
    throw EScriptError(msg);
  }
  std::vector<Variant> results;
  for (int i = ABase + 1; i <= lua_gettop(L); ++i)
    results.push_back(ToVariant(L, i, true));
  lua_settop(L, ABase);
  return results;
}

namespace {
void PushArgs(lua_State* L, TScriptEngine& engine, const std::string& AName,
              const std::vector<Variant>& AArgs) {
  // The global "arg": the script's name at 0, then the arguments.
  lua_createtable(L, static_cast<int>(AArgs.size()), 1);
  lua_pushstring(L, AName.c_str());
  lua_rawseti(L, -2, 0);
  for (size_t i = 0; i < AArgs.size(); ++i) {
    PushVariant(L, engine, AArgs[i]);
    lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
  }
  lua_setglobal(L, "arg");
  for (const Variant& a : AArgs)
    PushVariant(L, engine, a);
}
}  // namespace

void TScriptEngine::LoadFile(const std::string& AFileName) {
  // Messages name the script by its file name ("nightly.lua:12: ...").
  std::string text;
  if (!ReadFileText(AFileName, text)) throw EScriptError("cannot read script '" + AFileName + "'");
  const std::string chunk = "@" + std::filesystem::path(AFileName).filename().string();
  Load(luaL_loadbufferx(L, text.data(), text.size(), chunk.c_str(), "t"));
}

void TScriptEngine::PushTable(const std::vector<std::pair<std::string, Variant>>& AFields) {
  lua_createtable(L, 0, static_cast<int>(AFields.size()));
  for (const auto& [name, value] : AFields) {
    PushVariant(L, *this, value);
    lua_setfield(L, -2, name.c_str());
  }
}

std::vector<Variant> TScriptEngine::DoFile(const std::string& AFileName,
                                           const std::vector<Variant>& AArgs) {
  const int base = lua_gettop(L);
  LoadFile(AFileName);
  PushArgs(L, *this, AFileName, AArgs);
  return Run(static_cast<int>(AArgs.size()), base);
}

std::vector<Variant> TScriptEngine::DoFileWithTable(
    const std::string& AFileName, const std::vector<std::pair<std::string, Variant>>& AFields) {
  const int base = lua_gettop(L);
  LoadFile(AFileName);
  PushArgs(L, *this, AFileName, {});
  PushTable(AFields);
  return Run(1, base);
}

std::vector<Variant> TScriptEngine::DoText(std::string_view AText, const std::string& AName,
                                           const std::vector<Variant>& AArgs) {
  const int base = lua_gettop(L);
  Load(luaL_loadbufferx(L, AText.data(), AText.size(), ("=" + AName).c_str(), "t"));
  PushArgs(L, *this, AName, AArgs);
  return Run(static_cast<int>(AArgs.size()), base);
}

bool TScriptEngine::HasFunction(const std::string& AName) const {
  const bool r = lua_getglobal(L, AName.c_str()) == LUA_TFUNCTION;
  lua_pop(L, 1);
  return r;
}

std::vector<Variant> TScriptEngine::Call(const std::string& AName,
                                         const std::vector<Variant>& AArgs) {
  const int base = lua_gettop(L);
  if (lua_getglobal(L, AName.c_str()) != LUA_TFUNCTION) {
    lua_settop(L, base);
    throw EScriptError("script function '" + AName + "' not found");
  }
  for (const Variant& a : AArgs)
    PushVariant(L, *this, a);
  return Run(static_cast<int>(AArgs.size()), base);
}

std::vector<Variant> TScriptEngine::CallWithTable(
    const std::string& AName, const std::vector<std::pair<std::string, Variant>>& AFields) {
  const int base = lua_gettop(L);
  if (lua_getglobal(L, AName.c_str()) != LUA_TFUNCTION) {
    lua_settop(L, base);
    throw EScriptError("script function '" + AName + "' not found");
  }
  PushTable(AFields);
  return Run(1, base);
}

// --- registry ---

void TScriptRegistry::AddRTTIModule(TRTTIModule AModule) {
  std::lock_guard lock(Registry().Lock);
  Registry().Modules.push_back(AModule);
}

void TScriptRegistry::RemoveRTTIModule(TRTTIModule AModule) {
  std::lock_guard lock(Registry().Lock);
  std::erase(Registry().Modules, AModule);
}

void TScriptRegistry::RegisterGlobalScriptVar(const std::string& AName,
                                              const IPtr<IInterface>& AIntf,
                                              const std::string& AClassName) {
  std::lock_guard lock(Registry().Lock);
  auto& vars = Registry().Vars;
  std::erase_if(vars, [&](const auto& v) { return SameText(v.Name, AName); });
  vars.push_back({AName, AIntf, AClassName});
}

void TScriptRegistry::UnregisterGlobalScriptVar(const std::string& AName) {
  std::lock_guard lock(Registry().Lock);
  std::erase_if(Registry().Vars, [&](const auto& v) { return SameText(v.Name, AName); });
}

bool TScriptRegistry::HasGlobalScriptVar(const std::string& AName) {
  std::lock_guard lock(Registry().Lock);
  for (const auto& v : Registry().Vars)
    if (SameText(v.Name, AName)) return true;
  return false;
}

void TScriptRegistry::Apply(TScriptEngine& AEngine) {
  std::vector<TRTTIModule> modules;
  std::vector<TRegistryState::TVar> vars;
  {
    std::lock_guard lock(Registry().Lock);
    modules = Registry().Modules;
    vars = Registry().Vars;
  }
  for (TRTTIModule m : modules)
    m(AEngine);
  for (const auto& v : vars)
    AEngine.SetGlobalObject(v.Name, v.Intf, AEngine.FindClass(v.ClassName));
}

}  // namespace vela
