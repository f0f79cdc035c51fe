#include "module/_ExtFuncDataImportDefRTTIFunctions.h"

#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "vela/PluginExport.h"

namespace vela {

namespace {

// A callback object written in the script: a table whose functions (called as methods) answer
// the import object. Functions the table lacks do nothing.
class TScriptDataImportCallBack : public TInterfacedObject, public IDataImportCallBack {
  VELA_INTERFACES(TInterfacedObject, IDataImportCallBack)

 public:
  explicit TScriptDataImportCallBack(std::unique_ptr<TScriptRef> ATable)
      : FTable(std::move(ATable)) {}

  void Do_AfterInsert(bool Simulation, int64_t RecordID) override {
    Call("Do_AfterInsert", {Variant(Simulation), Variant(RecordID)});
  }
  void Do_AfterUpdate(bool Simulation, int64_t RecordID) override {
    Call("Do_AfterUpdate", {Variant(Simulation), Variant(RecordID)});
  }
  // A boolean result of the script's function is the new CanDelete.
  void Do_BeforeDelete(bool Simulation, int64_t RecordID, bool& CanDelete) override {
    const auto r =
        Call("Do_BeforeDelete", {Variant(Simulation), Variant(RecordID), Variant(CanDelete)});
    if (!r.empty() && r[0].kind() == Variant::Kind::Boolean) CanDelete = r[0].AsBoolean();
  }
  void Do_Message(TImportMessageType AMsgType, const std::string& AMsg) override {
    Call("Do_Message", {Variant(static_cast<int32_t>(AMsgType)), Variant(AMsg)});
  }
  bool Do_AdvFieldImport(bool Simulation, int64_t RecordID, const std::string& FieldName,
                         const std::string& FieldValue, bool ARecordInserted) override {
    const auto r =
        Call("Do_AdvFieldImport", {Variant(Simulation), Variant(RecordID), Variant(FieldName),
                                   Variant(FieldValue), Variant(ARecordInserted)});
    return !r.empty() && r[0].kind() == Variant::Kind::Boolean && r[0].AsBoolean();
  }

 private:
  std::vector<Variant> Call(const char* AName, const std::vector<Variant>& AArgs) {
    if (!FTable->HasFunction(AName)) return {};
    return FTable->Call(AName, AArgs, true);
  }

  std::unique_ptr<TScriptRef> FTable;
};

// The host classes that the declarations name, with the interfaces their objects hold. The
// content handler is no interface: scripts cannot make one.
struct THostClass {
  const char* Name;
  TGUID (*IID)();
};
const THostClass kHostClasses[] = {
    {"DIStringListData", &IStringListData::IID},
    {"DINamedVariantListData", &INamedVariantListData::IID},
    {"DIBinaryData", &IBinaryData::IID},
    {"DIDataStream", &IDataStream::IID},
    {"DIIntegerListData", &IIntegerListData::IID},
    {"DIMainInterface", &IMainInterface::IID},
    {"DIVelaXMLPartHandlerContainer", &IVelaXMLPartHandlerContainer::IID},
    {"DIVelaXMLWriter", &IVelaXMLWriter::IID},
    {"DIDataImportEngine", &IDataImportEngine::IID},
    {"DIFieldChangeConditions", &IFieldChangeConditions::IID},
    {"DIAdvFieldSettings", &IAdvFieldSettings::IID},
    {"DIContentHandler", nullptr},
};

std::string KindName(TScriptCall& c, int k) {
  const TScriptClass* cls = nullptr;
  if (c.Kind(k) == TScriptValueKind::Object) {
    c.Object(k, &cls);
    return cls ? cls->Name : "object";
  }
  return ScriptValueKindName(c.Kind(k));
}

// An object argument of class AClassName: an object of the class, or a script value that the
// host's transports are made from (a table of lines, a table of named values, a string).
IPtr<IInterface> ObjectArg(TScriptCall& c, int k, const std::string& AClassName,
                           std::string_view AParamName) {
  const TScriptValueKind kind = c.Kind(k);
  if (kind == TScriptValueKind::Nil) return nullptr;
  const TScriptClass* target = c.Engine().FindClass(AClassName);
  if (kind == TScriptValueKind::Object) {
    const TScriptClass* cls = nullptr;
    IInterface* intf = c.Object(k, &cls);
    if (target && (target->HasIID ? Supports(intf, target->IID) : cls->InheritsFrom(target)))
      return IPtr<IInterface>(intf);
  } else if (SameText(AClassName, "DIStringListData")) {
    if (kind == TScriptValueKind::String) {
      IPtr<IStringListData> list = NewStringListData();
      list->Set_Text(c.String(k));
      return list;
    }
    if (kind == TScriptValueKind::Table) {
      std::vector<std::string> items;
      for (const Variant& v : c.Array(k))
        items.push_back(v.AsString());
      return NewStringListData(items);
    }
  } else if (SameText(AClassName, "DINamedVariantListData")) {
    if (kind == TScriptValueKind::Table) {
      IPtr<INamedVariantListData> list = NewNamedVariantListData();
      for (const auto& [name, value] : c.Fields(k))
        list->SetValueByName(name, value);
      return list;
    }
  } else if (SameText(AClassName, "DIBinaryData")) {
    if (kind == TScriptValueKind::String) return NewBinaryData(c.String(k));
  } else if (SameText(AClassName, "DIDataStream")) {
    if (kind == TScriptValueKind::String)
      return NewDataStream(new TStringStream(c.String(k)), true);
  } else if (SameText(AClassName, "DIIntegerListData")) {
    if (kind == TScriptValueKind::Table) {
      std::vector<int64_t> items;
      for (const Variant& v : c.Array(k))
        items.push_back(v.AsInt64());
      return NewIntegerListData(items);
    }
  } else if (SameText(AClassName, "DIDataImportCallBack")) {
    if (kind == TScriptValueKind::Table)
      return MakeIntf<TScriptDataImportCallBack, IDataImportCallBack>(c.Ref(k));
  }
  c.ArgumentError(k, AClassName + " expected, got " + KindName(c, k), AParamName);
}

int64_t DefaultOrdinal(const std::string& AText) {
  for (const TDIEnumDecl& e : DIEnumDecls())
    for (size_t i = 0; i < e.Values.size(); ++i)
      if (SameText(e.Values[i], AText)) return static_cast<int64_t>(i);
  return StrToInt64Def(AText, 0);
}

TDIValue DefaultValue(const TDIParam& p) {
  TDIValue v;
  if (!p.HasDefault) return v;
  const std::string& d = p.Default;
  if (SameText(d, "true") || SameText(d, "false")) {
    v.B = SameText(d, "true");
  } else if (d.size() >= 2 && d.front() == '\'') {
    v.S = d.substr(1, d.size() - 2);
  } else if (!SameText(d, "nil")) {
    v.I = DefaultOrdinal(d);
  }
  return v;
}

TDIValue ConvertValue(TScriptCall& c, int k, const TDIParam& p);

// Argument errors name the parameter too.
TDIValue ConvertArg(TScriptCall& c, int k, const TDIParam& p) {
  try {
    return ConvertValue(c, k, p);
  } catch (const EScriptError& e) {
    const std::string plain = "argument " + std::to_string(k + 1) + ": ";
    if (e.Message().rfind(plain, 0) != 0) throw;
    c.ArgumentError(k, e.Message().substr(plain.size()), p.Name);
  }
}

TDIValue ConvertValue(TScriptCall& c, int k, const TDIParam& p) {
  if (k >= c.Count() || c.Kind(k) == TScriptValueKind::Nil) {
    if (p.HasDefault || p.IsVar() || p.Kind == TDITypeKind::Object ||
        p.Kind == TDITypeKind::Variant)
      return DefaultValue(p);
  }
  TDIValue v;
  switch (p.Kind) {
    case TDITypeKind::Integer: {
      v.I = c.Integer(k);
      if (v.I < INT32_MIN || v.I > INT32_MAX)
        c.ArgumentError(k, "out of the Integer range", p.Name);
      break;
    }
    case TDITypeKind::Int64:
      v.I = c.Integer(k);
      break;
    case TDITypeKind::Boolean:
      v.B = c.Boolean(k);
      break;
    case TDITypeKind::String:
      v.S = c.String(k);
      break;
    case TDITypeKind::Variant:
      v.V = c.ToVariant(k);
      break;
    case TDITypeKind::Enum: {
      const TDIEnumDecl* e = FindDIEnum(p.TypeName);
      v.I = c.Integer(k);
      if (v.I < 0 || v.I >= static_cast<int64_t>(e->Values.size()))
        c.ArgumentError(k, std::to_string(v.I) + " is no value of " + e->TypeName, p.Name);
      break;
    }
    case TDITypeKind::Set: {
      const TDIEnumDecl* e = FindDIEnum(p.TypeName);
      for (const Variant& item : c.Array(k)) {
        const int64_t o = item.IsNumeric() ? item.AsInt64() : -1;
        if (o < 0 || o >= static_cast<int64_t>(e->Values.size()))
          c.ArgumentError(k, "a set of " + e->TypeName + " values expected", p.Name);
        v.I |= int64_t{1} << o;
      }
      break;
    }
    case TDITypeKind::Object:
      v.Intf = ObjectArg(c, k, p.TypeName, p.Name);
      break;
  }
  return v;
}

void PushValue(TScriptCall& c, const TDIValue& v, TDITypeKind AKind, const std::string& AType,
               bool ATiedToSelf) {
  switch (AKind) {
    case TDITypeKind::Integer:
    case TDITypeKind::Int64:
    case TDITypeKind::Enum:
      c.Push(Variant(v.I));
      break;
    case TDITypeKind::Boolean:
      c.Push(Variant(v.B));
      break;
    case TDITypeKind::String:
      c.Push(Variant(v.S));
      break;
    case TDITypeKind::Variant:
      c.Push(v.V);
      break;
    case TDITypeKind::Set: {
      std::vector<Variant> items;
      for (int i = 0; i < 63; ++i)
        if (v.I & (int64_t{1} << i)) items.emplace_back(static_cast<int32_t>(i));
      c.PushArray(items);
      break;
    }
    case TDITypeKind::Object: {
      const TScriptClass* cls = c.Engine().FindClass(AType);
      c.PushObject(v.Intf, cls ? cls : c.Engine().ClassOfObject(v.Intf.get()), ATiedToSelf);
      break;
    }
  }
}

}  // namespace

TExtFuncDataImportDefRTTIFunctions::TExtFuncDataImportDefRTTIFunctions(TScriptEngine& AEngine)
    : FEngine(AEngine) {
  FEngine.RegisterConst("GlobalXMLPreProcVersion", Variant(kXMLPreProcVersion));
  for (const TDIEnumDecl& e : DIEnumDecls())
    FEngine.RegisterEnum(e.TypeName, e.Values);
  RegisterDIHostClasses(FEngine);
  for (const TDIClassDecl& cls : DIClassDecls()) {
    TScriptClass& sc = FEngine.RegisterClass(cls.Name, "DIInterface", &cls.IID);
    for (const TDIMethodDecl& m : cls.Methods) {
      const TDIInvoker invoker = FindDIInvoker(cls.Name, m.Name);
      FEngine.AddMethod(sc, m.Name,
                        [&cls, &m, invoker](TScriptCall& c) { CallMethod(c, cls, m, invoker); });
    }
  }
}

void TExtFuncDataImportDefRTTIFunctions::CallMethod(TScriptCall& c, const TDIClassDecl&,
                                                    const TDIMethodDecl& m, TDIInvoker AInvoker) {
  const int count = c.Count();
  const int max = static_cast<int>(m.Params.size());
  if (count > max || count < m.RequiredArgs) {
    const std::string expected = count > max && max > m.RequiredArgs
                                     ? "at most " + std::to_string(max)
                                 : m.RequiredArgs < max && count < m.RequiredArgs
                                     ? "at least " + std::to_string(m.RequiredArgs)
                                     : std::to_string(max);
    throw EScriptError("expects " + expected + " argument" + (expected == "1" ? "" : "s") +
                       ", got " + std::to_string(count));
  }
  if (!AInvoker) throw ENotImplemented("no implementation is bound to this method");
  TDICallArgs a;
  a.Self = c.Self();
  a.P.reserve(m.Params.size());
  for (int k = 0; k < max; ++k)
    a.P.push_back(ConvertArg(c, k, m.Params[k]));
  AInvoker(a);
  if (m.IsFunction) PushValue(c, a.R, m.ResultKind, m.ResultType, a.TiedToSelf);
  for (int k = 0; k < max; ++k)
    if (m.Params[k].IsVar()) PushValue(c, a.P[k], m.Params[k].Kind, m.Params[k].TypeName, false);
}

void TExtFuncDataImportDefRTTIFunctions::RegisterModule(TScriptEngine& AEngine) {
  // The binding holds no state of its own: the handlers work from the declaration data.
  TExtFuncDataImportDefRTTIFunctions binding(AEngine);
}

void RegisterDIHostClasses(TScriptEngine& E) {
  for (const THostClass& h : kHostClasses) {
    const TGUID iid = h.IID ? h.IID() : TGUID{};
    E.RegisterClass(h.Name, "DIInterface", h.IID ? &iid : nullptr);
  }
  auto self = [](TScriptCall& c, auto* tag) {
    using I = std::remove_pointer_t<decltype(tag)>;
    return QueryIntf<I>(c.Self());
  };
  auto index = [](TScriptCall& c, int count) {
    const int64_t i = c.Integer(0);
    if (i < 0 || i >= count) c.ArgumentError(0, "index " + std::to_string(i) + " out of range");
    return static_cast<int>(i);
  };
  // Lines.
  TScriptClass& sl = const_cast<TScriptClass&>(*E.FindClass("DIStringListData"));
  using SL = IStringListData*;
  E.AddMethod(sl, "Get_Count",
              [=](TScriptCall& c) { c.Push(Variant(self(c, SL{})->Get_Count())); });
  E.AddMethod(sl, "Get_Item", [=](TScriptCall& c) {
    auto l = self(c, SL{});
    c.Push(Variant(l->Get_Item(index(c, l->Get_Count()))));
  });
  E.AddMethod(sl, "Add", [=](TScriptCall& c) { self(c, SL{})->Add(c.String(0)); });
  E.AddMethod(sl, "Clear", [=](TScriptCall& c) { self(c, SL{})->Clear(); });
  E.AddMethod(sl, "Get_Text", [=](TScriptCall& c) { c.Push(Variant(self(c, SL{})->Get_Text())); });
  E.AddMethod(sl, "Set_Text", [=](TScriptCall& c) { self(c, SL{})->Set_Text(c.String(0)); });
  E.AddMethod(sl, "ToTable", [=](TScriptCall& c) {
    std::vector<Variant> items;
    for (const std::string& s : self(c, SL{})->Items())
      items.emplace_back(s);
    c.PushArray(items);
  });
  // Named values.
  TScriptClass& nv = const_cast<TScriptClass&>(*E.FindClass("DINamedVariantListData"));
  using NV = INamedVariantListData*;
  E.AddMethod(nv, "Get_Count",
              [=](TScriptCall& c) { c.Push(Variant(self(c, NV{})->Get_Count())); });
  E.AddMethod(nv, "Get_Name", [=](TScriptCall& c) {
    auto l = self(c, NV{});
    c.Push(Variant(l->Get_Name(index(c, l->Get_Count()))));
  });
  E.AddMethod(nv, "Get_Value", [=](TScriptCall& c) {
    auto l = self(c, NV{});
    c.Push(l->Get_Value(index(c, l->Get_Count())));
  });
  E.AddMethod(nv, "ValueByName",
              [=](TScriptCall& c) { c.Push(self(c, NV{})->ValueByName(c.String(0))); });
  E.AddMethod(nv, "SetValueByName",
              [=](TScriptCall& c) { self(c, NV{})->SetValueByName(c.String(0), c.ToVariant(1)); });
  // Binary content and streams.
  TScriptClass& bin = const_cast<TScriptClass&>(*E.FindClass("DIBinaryData"));
  using BD = IBinaryData*;
  E.AddMethod(bin, "Get_Size", [=](TScriptCall& c) {
    c.Push(Variant(static_cast<int64_t>(self(c, BD{})->Get_Size())));
  });
  E.AddMethod(bin, "AsString",
              [=](TScriptCall& c) { c.Push(Variant(std::string(self(c, BD{})->AsView()))); });
  TScriptClass& ds = const_cast<TScriptClass&>(*E.FindClass("DIDataStream"));
  using DS = IDataStream*;
  E.AddMethod(ds, "Get_Size", [=](TScriptCall& c) { c.Push(Variant(self(c, DS{})->Get_Size())); });
  // The whole content; the position stays where it was.
  E.AddMethod(ds, "AsString", [=](TScriptCall& c) {
    auto s = self(c, DS{});
    const int64_t pos = s->Seek(0, 1);
    std::string data(static_cast<size_t>(s->Get_Size()), '\0');
    s->Seek(0, 0);
    data.resize(static_cast<size_t>(s->Read(data.data(), static_cast<int64_t>(data.size()))));
    s->Seek(pos, 0);
    c.Push(Variant(data));
  });
  E.AddMethod(ds, "Write", [=](TScriptCall& c) {
    const std::string data = c.String(0);
    c.Push(Variant(self(c, DS{})->Write(data.data(), static_cast<int64_t>(data.size()))));
  });
  TScriptClass& il = const_cast<TScriptClass&>(*E.FindClass("DIIntegerListData"));
  using IL = IIntegerListData*;
  E.AddMethod(il, "Get_Count",
              [=](TScriptCall& c) { c.Push(Variant(self(c, IL{})->Get_Count())); });
  E.AddMethod(il, "Get_Item", [=](TScriptCall& c) {
    auto l = self(c, IL{});
    c.Push(Variant(l->Get_Item(index(c, l->Get_Count()))));
  });
  E.AddMethod(il, "Add", [=](TScriptCall& c) { self(c, IL{})->Add(c.Integer(0)); });
  // Constructors: NewStringListData{"a", "b"} or NewStringListData("a\nb"), ...
  for (const char* name : {"DIStringListData", "DINamedVariantListData", "DIBinaryData",
                           "DIDataStream", "DIIntegerListData"}) {
    const std::string cls = name;
    E.RegisterFunction("New" + cls.substr(2), [cls](TScriptCall& c) {
      IPtr<IInterface> obj = c.Count() > 0 ? ObjectArg(c, 0, cls, {}) : nullptr;
      if (!obj) {
        if (cls == "DIStringListData") obj = NewStringListData();
        if (cls == "DINamedVariantListData") obj = NewNamedVariantListData();
        if (cls == "DIBinaryData") obj = NewBinaryData();
        if (cls == "DIDataStream") obj = NewDataStream(new TStringStream(), true);
        if (cls == "DIIntegerListData") obj = NewIntegerListData();
      }
      c.PushObject(obj, c.Engine().FindClass(cls));
    });
  }
}

void InitUnit_ExtFuncDataImportDefRTTIFunctions() {
  TScriptRegistry::AddRTTIModule(&TExtFuncDataImportDefRTTIFunctions::RegisterModule);
}

void FinUnit_ExtFuncDataImportDefRTTIFunctions() {
  TScriptRegistry::RemoveRTTIModule(&TExtFuncDataImportDefRTTIFunctions::RegisterModule);
}

}  // namespace vela
