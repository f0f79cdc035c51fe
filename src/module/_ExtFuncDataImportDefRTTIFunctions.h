// The script bindings of the module: one script class per interface of the module ("DI" and the
// interface's name without "I"), the enumerations and sets that they use, the constant
// "GlobalXMLPreProcVersion", and one call handler that converts the arguments and results of
// every method by its declaration text.
//
// Scripts call the methods with Lua's method syntax and any letter case:
//   local imp = DataimportModule:Do_ImportEx2("in.csv", "person", DimUpdate, guid, false)
//   local ok, err = DataimportModule:do_runxmlimport("in.xml", "")
// var and out parameters come back as further results after the function's result, in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/script/ScriptEngine.h"
#include "rtl/Interfaces.h"
#include "rtl/Variants.h"

namespace vela {

enum class TDIParamMode { Value, Const, Var, Out };
enum class TDITypeKind { Integer, Int64, Boolean, String, Variant, Enum, Set, Object };

struct TDIParam {
  std::string Name;
  TDIParamMode Mode = TDIParamMode::Value;
  std::string TypeName;
  TDITypeKind Kind = TDITypeKind::Integer;
  bool HasDefault = false;
  std::string Default;  // the default's text ("false", "''", "nil", "xmpFile")
  bool IsVar() const noexcept { return Mode == TDIParamMode::Var || Mode == TDIParamMode::Out; }
};

// One method, parsed from its declaration text.
struct TDIMethodDecl {
  std::string Declaration;
  bool IsFunction = false;
  std::string Name;
  std::vector<TDIParam> Params;
  std::string ResultType;  // empty for a procedure
  TDITypeKind ResultKind = TDITypeKind::Integer;
  // Arguments a call must give: up to the last parameter without default that is not var/out.
  int RequiredArgs = 0;
};

struct TDIClassDecl {
  std::string Name;           // "DIDataImport"
  std::string InterfaceName;  // "IDataImport"
  TGUID IID{};
  std::vector<TDIMethodDecl> Methods;
};

// An enumeration or set type of the scripts; a set's values carry the prefix "O".
struct TDIEnumDecl {
  std::string TypeName;
  std::vector<std::string> Values;
  bool IsSet = false;
};

// Parses "function Name(const A: T ;var B, C: U= default): R;". Raises EScriptError when the text
// is malformed. Type kinds are resolved against the enumeration table.
TDIMethodDecl ParseDIDeclaration(std::string_view AText);

// The binding's classes with their parsed methods, in registration order (parsed once).
const std::vector<TDIClassDecl>& DIClassDecls();
// The enumeration and set types, in registration order.
const std::vector<TDIEnumDecl>& DIEnumDecls();
// The type's entry (ignoring case); nil when the name is no enumeration or set.
const TDIEnumDecl* FindDIEnum(std::string_view ATypeName);

// The value of one argument or result, converted by its declared type.
struct TDIValue {
  int64_t I = 0;  // Integer, Int64, enumeration, set (bits)
  bool B = false;
  std::string S;
  Variant V;
  IPtr<IInterface> Intf;  // objects
};

// The arguments of one call as the invokers see them; var parameters are written back into P.
struct TDICallArgs {
  IInterface* Self = nullptr;
  std::vector<TDIValue> P;
  TDIValue R;
  bool TiedToSelf = false;  // the result lives inside the object: the script keeps both alive

  template <class I>
  IPtr<I> SelfAs() const {
    return QueryIntf<I>(Self);
  }
  template <class I>
  IPtr<I> Obj(size_t k) const {
    return Supports<I>(P[k].Intf.get());
  }
  int32_t Int(size_t k) const { return static_cast<int32_t>(P[k].I); }
};

// Carries out one method on the real interface.
using TDIInvoker = void (*)(TDICallArgs&);
// The invoker of "CLASS.METHOD" (any case); nil when the binding has none.
TDIInvoker FindDIInvoker(std::string_view AClassName, std::string_view AMethodName);

// The host's data transports as script classes (DIStringListData, DINamedVariantListData,
// DIBinaryData, DIDataStream, DIIntegerListData) with their methods, the other host classes
// that the declarations name, and the constructor functions NewStringListData,
// NewNamedVariantListData, NewBinaryData, NewDataStream and NewIntegerListData.
void RegisterDIHostClasses(TScriptEngine& AEngine);

// The binding as a run-time type module of the script engine.
class TExtFuncDataImportDefRTTIFunctions {
 public:
  // Registers the constant, the enumerations and sets, then the classes with their methods.
  explicit TExtFuncDataImportDefRTTIFunctions(TScriptEngine& AEngine);
  // The run-time type module entry (TScriptRegistry::AddRTTIModule).
  static void RegisterModule(TScriptEngine& AEngine);

 private:
  static void CallMethod(TScriptCall& ACall, const TDIClassDecl& AClass,
                         const TDIMethodDecl& AMethod, TDIInvoker AInvoker);

  TScriptEngine& FEngine;
};

// Unit start-up and unload: adds the binding to, and removes it from, the script engine's
// run-time type modules.
void InitUnit_ExtFuncDataImportDefRTTIFunctions();
void FinUnit_ExtFuncDataImportDefRTTIFunctions();

}  // namespace vela
