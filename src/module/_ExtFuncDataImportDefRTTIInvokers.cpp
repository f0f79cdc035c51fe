// The invokers of the script bindings: each carries out one method on the real interface with
// the arguments that the call handler converted by the method's declaration.
#include <unordered_map>

#include "module/_ExtFuncDataImportDefRTTIFunctions.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// "DICLASS.METHOD" and the invoker; self (s) is the interface of the class.
#define DI_METHOD(CLS, NAME, ...)                           \
  {                                                         \
    "DI" #CLS "." #NAME, [](TDICallArgs& a) {               \
      [[maybe_unused]] IPtr<I##CLS> s = a.SelfAs<I##CLS>(); \
      __VA_ARGS__;                                          \
    }                                                       \
  }

TBIContainerProcessedState State(const TDICallArgs& a, size_t k) {
  return static_cast<TBIContainerProcessedState>(a.Int(k));
}

TXMLPreProcessorFmt Fmt(const TDICallArgs& a, size_t k) {
  return static_cast<TXMLPreProcessorFmt>(a.Int(k));
}

using TInvokerMap = std::unordered_map<std::string, TDIInvoker>;

const TInvokerMap& Invokers() {
  static const TInvokerMap map = [] {
    const std::vector<std::pair<std::string, TDIInvoker>> list = {
        // DIVelaXMLImportParser
        DI_METHOD(VelaXMLImportParser, Do_Parse,
                  throw ENotImplemented("content handlers are not available to scripts")),
        // DIVelaXMLImport
        DI_METHOD(VelaXMLImport, Get_VelaXMLParser, a.R.Intf = s->Get_VelaXMLParser()),
        DI_METHOD(VelaXMLImport, Get_PreProcessorParamFmt, a.R.I = s->Get_PreProcessorParamFmt()),
        DI_METHOD(VelaXMLImport, Get_PreProcessorDLL, a.R.S = s->Get_PreProcessorDLL()),
        DI_METHOD(VelaXMLImport, Get_PreProcessorParam, a.R.S = s->Get_PreProcessorParam()),
        DI_METHOD(VelaXMLImport, Get_PreProcessorIntf, a.R.Intf = s->Get_PreProcessorIntf()),
        DI_METHOD(VelaXMLImport, Set_VelaXMLParser,
                  s->Set_VelaXMLParser(a.Obj<IVelaXMLImportParser>(0))),
        DI_METHOD(VelaXMLImport, Set_PreProcessorParamFmt, s->Set_PreProcessorParamFmt(Fmt(a, 0))),
        DI_METHOD(VelaXMLImport, Set_PreProcessorDLL, s->Set_PreProcessorDLL(a.P[0].S)),
        DI_METHOD(VelaXMLImport, Set_PreProcessorParam, s->Set_PreProcessorParam(a.P[0].S)),
        DI_METHOD(VelaXMLImport, Set_PreProcessorIntf,
                  s->Set_PreProcessorIntf(a.Obj<IXMLPreProcessor>(0))),
        DI_METHOD(VelaXMLImport, Do_Execute, a.R.B = s->Do_Execute()),
        DI_METHOD(VelaXMLImport, Get_ImportLogEnabled, a.R.B = s->Get_ImportLogEnabled()),
        DI_METHOD(VelaXMLImport, Set_ImportLogEnabled, s->Set_ImportLogEnabled(a.P[0].B)),
        // DIXMLPreProcessorPreviewDataSource
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_FieldCount, a.R.I = s->Get_FieldCount()),
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_FieldName,
                  a.R.S = s->Get_FieldName(a.Int(0))),
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_FieldCaption,
                  a.R.S = s->Get_FieldCaption(a.Int(0))),
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_RecordCount, a.R.I = s->Get_RecordCount()),
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_Value,
                  a.R.V = s->Get_Value(a.Int(0), a.Int(1))),
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_FieldMapping,
                  a.R.Intf = s->Get_FieldMapping()),
        DI_METHOD(XMLPreProcessorPreviewDataSource, Get_PartIdent, a.R.S = s->Get_PartIdent()),
        // DIXMLPreProcessorImportInfo
        DI_METHOD(XMLPreProcessorImportInfo, Get_IsExportRecord,
                  a.R.B = s->Get_IsExportRecord(a.Int(0))),
        // DIXMLPreProcessorHost
        DI_METHOD(XMLPreProcessorHost, Do_PreviewData,
                  {
                    IPtr<IXMLPreProcessorImportInfo> info = a.Obj<IXMLPreProcessorImportInfo>(1);
                    a.R.B =
                        s->Do_PreviewData(a.Obj<IXMLPreProcessorPreviewDataSource>(0).get(), info);
                    a.P[1].Intf = info;
                  }),
        DI_METHOD(XMLPreProcessorHost, Do_ProgressStart,
                  {
                    int32_t handle = a.Int(1);
                    s->Do_ProgressStart(a.Int(0), handle);
                    a.P[1].I = handle;
                  }),
        DI_METHOD(XMLPreProcessorHost, Do_Progress,
                  {
                    bool aborted = a.P[3].B;
                    s->Do_Progress(a.Int(0), a.Int(1), a.Int(2), aborted);
                    a.P[3].B = aborted;
                  }),
        DI_METHOD(XMLPreProcessorHost, Do_ProgressEnd, s->Do_ProgressEnd(a.Int(0))),
        // DIPreConverterDataBaseConfigSupport
        DI_METHOD(PreConverterDataBaseConfigSupport, Get_SupportsHostCfg,
                  a.R.I = s->Get_SupportsHostCfg()),
        DI_METHOD(PreConverterDataBaseConfigSupport, Get_SupportsTableList,
                  a.R.B = s->Get_SupportsTableList()),
        DI_METHOD(PreConverterDataBaseConfigSupport, Do_ConfigHost,
                  a.R.B = s->Do_ConfigHost(a.P[0].S, a.P[1].S, a.P[2].S)),
        DI_METHOD(PreConverterDataBaseConfigSupport, Do_RetreiveTableList,
                  {
                    IPtr<IStringListData> list = a.Obj<IStringListData>(5);
                    a.R.B = s->Do_RetreiveTableList(
                        a.P[0].S, Fmt(a, 1), a.Obj<IDataStream>(2).get(), Fmt(a, 3),
                        static_cast<TVXCAction>(a.Int(4)), list, a.P[6].S, a.P[7].S);
                    a.P[5].Intf = list;
                  }),
        // DIPreProcessorDataOwner
        DI_METHOD(PreProcessorDataOwner, Get_RawDataDisplayFileName,
                  a.R.S = s->Get_RawDataDisplayFileName()),
        DI_METHOD(PreProcessorDataOwner, Get_RawData, a.R.Intf = s->Get_RawData()),
        // DIXMLPreProcessor
        DI_METHOD(
            XMLPreProcessor, Do_PreConvert,
            a.R.B = s->Do_PreConvert(a.Obj<IDataStream>(0).get(), a.Obj<IDataStream>(1).get(),
                                     a.P[2].S, Fmt(a, 3), Fmt(a, 4), a.Obj<IMainInterface>(5).get(),
                                     a.Obj<IXMLPreProcessorHost>(6).get(),
                                     static_cast<TXMLPreProcessorFunction>(a.Int(7)),
                                     a.Obj<IVelaXMLPartHandlerContainer>(8).get(), a.P[9].B,
                                     a.Obj<INamedVariantListData>(10).get(), a.P[11].S, a.P[12].B)),
        DI_METHOD(XMLPreProcessor, Get_ValidFileExt, a.R.Intf = s->Get_ValidFileExt()),
        DI_METHOD(XMLPreProcessor, Get_Caption, a.R.S = s->Get_Caption()),
        DI_METHOD(XMLPreProcessor, Get_CanUseByUser, a.R.B = s->Get_CanUseByUser()),
        DI_METHOD(XMLPreProcessor, Get_FunctionSet, a.R.I = s->Get_FunctionSet().ToBits()),
        DI_METHOD(XMLPreProcessor, Get_Options, a.R.I = s->Get_Options().ToBits()),
        DI_METHOD(XMLPreProcessor, Get_FieldList,
                  {
                    IPtr<IStringListData> list = a.Obj<IStringListData>(5);
                    a.R.B = s->Get_FieldList(a.P[0].S, Fmt(a, 1), a.Obj<IDataStream>(2).get(),
                                             Fmt(a, 3), a.P[4].B, list, a.P[6].S, a.P[7].S);
                    a.P[5].Intf = list;
                  }),
        DI_METHOD(XMLPreProcessor, Do_ConfigureXMLWriter,
                  a.R.B = s->Do_ConfigureXMLWriter(a.Obj<IVelaXMLWriter>(0).get(), a.P[1].S,
                                                   Fmt(a, 2), a.P[3].S)),
        DI_METHOD(XMLPreProcessor, Get_ConverterConfigType, a.R.I = s->Get_ConverterConfigType()),
        // DIVelaXMLPreProcessorInstance
        DI_METHOD(VelaXMLPreProcessorInstance, Get_FunctionSet,
                  a.R.I = s->Get_FunctionSet().ToBits()),
        DI_METHOD(VelaXMLPreProcessorInstance, Do_CreatePreProc, a.R.Intf = s->Do_CreatePreProc()),
        // DIDataImportCallBack
        DI_METHOD(DataImportCallBack, Do_AfterInsert, s->Do_AfterInsert(a.P[0].B, a.P[1].I)),
        DI_METHOD(DataImportCallBack, Do_AfterUpdate, s->Do_AfterUpdate(a.P[0].B, a.P[1].I)),
        DI_METHOD(DataImportCallBack, Do_BeforeDelete,
                  s->Do_BeforeDelete(a.P[0].B, a.P[1].I, a.P[2].B)),
        DI_METHOD(DataImportCallBack, Do_Message,
                  s->Do_Message(static_cast<TImportMessageType>(a.Int(0)), a.P[1].S)),
        DI_METHOD(DataImportCallBack, Do_AdvFieldImport,
                  a.R.B = s->Do_AdvFieldImport(a.P[0].B, a.P[1].I, a.P[2].S, a.P[3].S, a.P[4].B)),
        // DIDataImport
        DI_METHOD(DataImport, Do_Execute,
                  a.R.B = s->Do_Execute(a.Obj<IDataImportCallBack>(0), a.P[1].B, a.P[2].B)),
        DI_METHOD(DataImport, Get_ClearDestination, a.R.B = s->Get_ClearDestination()),
        DI_METHOD(DataImport, Get_SkipFirstRecord, a.R.B = s->Get_SkipFirstRecord()),
        DI_METHOD(DataImport, Get_RollBackOnError, a.R.B = s->Get_RollBackOnError()),
        DI_METHOD(DataImport, Get_RollBackOnWarning, a.R.B = s->Get_RollBackOnWarning()),
        DI_METHOD(DataImport, Get_UseTransactions, a.R.B = s->Get_UseTransactions()),
        DI_METHOD(DataImport, Get_IgnoreRecordOnError, a.R.B = s->Get_IgnoreRecordOnError()),
        DI_METHOD(DataImport, Get_IgnoreRecordOnWarning, a.R.B = s->Get_IgnoreRecordOnWarning()),
        DI_METHOD(DataImport, Get_ImportMode, a.R.I = s->Get_ImportMode()),
        DI_METHOD(DataImport, Get_FieldAssignments, a.R.Intf = s->Get_FieldAssignments()),
        // The rule lists belong to the import object: the script object keeps it alive.
        DI_METHOD(DataImport, Get_FieldChangeConditions,
                  {
                    a.R.Intf = IPtr<IInterface>(s->Get_FieldChangeConditions());
                    a.TiedToSelf = true;
                  }),
        DI_METHOD(DataImport, Get_AdvFieldSettings,
                  {
                    a.R.Intf = IPtr<IInterface>(s->Get_AdvFieldSettings());
                    a.TiedToSelf = true;
                  }),
        DI_METHOD(DataImport, Get_KeyFields, a.R.Intf = s->Get_KeyFields()),
        DI_METHOD(DataImport, Get_AbortOnError, a.R.B = s->Get_AbortOnError()),
        DI_METHOD(DataImport, Get_AbortOnWarning, a.R.B = s->Get_AbortOnWarning()),
        DI_METHOD(DataImport, Get_RunMode, a.R.I = s->Get_RunMode()),
        DI_METHOD(DataImport, Get_PageVisible,
                  a.R.B = s->Get_PageVisible(static_cast<TImportPage>(a.Int(0)))),
        DI_METHOD(DataImport, Get_CanClearDest, a.R.B = s->Get_CanClearDest()),
        DI_METHOD(DataImport, Set_ClearDestination, s->Set_ClearDestination(a.P[0].B)),
        DI_METHOD(DataImport, Set_SkipFirstRecord, s->Set_SkipFirstRecord(a.P[0].B)),
        DI_METHOD(DataImport, Set_RollBackOnError, s->Set_RollBackOnError(a.P[0].B)),
        DI_METHOD(DataImport, Set_RollBackOnWarning, s->Set_RollBackOnWarning(a.P[0].B)),
        DI_METHOD(DataImport, Set_UseTransactions, s->Set_UseTransactions(a.P[0].B)),
        DI_METHOD(DataImport, Set_IgnoreRecordOnError, s->Set_IgnoreRecordOnError(a.P[0].B)),
        DI_METHOD(DataImport, Set_IgnoreRecordOnWarning, s->Set_IgnoreRecordOnWarning(a.P[0].B)),
        DI_METHOD(DataImport, Set_ImportMode,
                  s->Set_ImportMode(static_cast<TImportMode>(a.Int(0)))),
        DI_METHOD(DataImport, Set_FieldAssignments,
                  s->Set_FieldAssignments(a.Obj<IStringListData>(0))),
        DI_METHOD(DataImport, Set_KeyFields, s->Set_KeyFields(a.Obj<IStringListData>(0))),
        DI_METHOD(DataImport, Set_AbortOnError, s->Set_AbortOnError(a.P[0].B)),
        DI_METHOD(DataImport, Set_AbortOnWarning, s->Set_AbortOnWarning(a.P[0].B)),
        DI_METHOD(DataImport, Set_RunMode, s->Set_RunMode(static_cast<TImportRunMode>(a.Int(0)))),
        DI_METHOD(DataImport, Set_PageVisible,
                  s->Set_PageVisible(static_cast<TImportPage>(a.Int(0)), a.P[1].B)),
        DI_METHOD(DataImport, Set_CanClearDest, s->Set_CanClearDest(a.P[0].B)),
        DI_METHOD(DataImport, Do_QueryImportResult,
                  {
                    int32_t inserted = a.Int(0), updated = a.Int(1);
                    s->Do_QueryImportResult(inserted, updated);
                    a.P[0].I = inserted;
                    a.P[1].I = updated;
                  }),
        DI_METHOD(DataImport, Set_AdvFields, s->Set_AdvFields(a.Obj<IStringListData>(0))),
        DI_METHOD(DataImport, Get_AdvFields, a.R.Intf = s->Get_AdvFields()),
        // DIBusinessIntegation
        DI_METHOD(BusinessIntegation, Do_AddBIImportContainerData,
                  a.R.B = s->Do_AddBIImportContainerData(a.P[0].S, a.Obj<IBinaryData>(1),
                                                         a.Obj<IBinaryData>(2), a.P[3].S, a.P[4].S,
                                                         a.P[5].S, a.P[6].S, a.P[7].B)),
        DI_METHOD(BusinessIntegation, Do_AddBIImportLogData,
                  a.R.I = s->Do_AddBIImportLogData(State(a, 0), a.P[1].S, a.P[2].S,
                                                   a.Obj<INamedVariantListData>(3), a.P[4].S)),
        DI_METHOD(BusinessIntegation, Do_UpdateBIImportLogData,
                  s->Do_UpdateBIImportLogData(a.P[0].I, State(a, 1), a.P[2].S,
                                              a.Obj<INamedVariantListData>(3), a.P[4].S)),
        // DIExtFuncDataImport
        DI_METHOD(
            ExtFuncDataImport, Do_Import,
            a.R.Intf = s->Do_Import(a.P[0].S, a.P[1].S, static_cast<TImportMode>(a.Int(2)), true)),
        DI_METHOD(ExtFuncDataImport, Do_ImportEx1,
                  a.R.Intf = s->Do_ImportEx1(a.P[0].S, a.P[1].S, static_cast<TImportMode>(a.Int(2)),
                                             a.Int(3), a.P[4].B)),
        DI_METHOD(ExtFuncDataImport, Do_ImportEx2,
                  a.R.Intf = s->Do_ImportEx2(a.P[0].S, a.P[1].S, static_cast<TImportMode>(a.Int(2)),
                                             a.P[3].S, a.P[4].B)),
        DI_METHOD(ExtFuncDataImport, Get_DialogFilter, a.R.S = s->Get_DialogFilter()),
        DI_METHOD(ExtFuncDataImport, Get_GUIDCommaText, a.R.S = s->Get_GUIDCommaText()),
        DI_METHOD(ExtFuncDataImport, Do_RunFilterTypeHandler,
                  a.R.B = s->Do_RunFilterTypeHandler(a.Int(0), a.P[1].S)),
        DI_METHOD(ExtFuncDataImport, Do_RegisterEngine,
                  s->Do_RegisterEngine(a.Obj<IDataImportEngine>(0))),
        DI_METHOD(ExtFuncDataImport, Do_UnRegisterEngine,
                  s->Do_UnRegisterEngine(a.Obj<IDataImportEngine>(0))),
        DI_METHOD(ExtFuncDataImport, Get_Engine,
                  {
                    int32_t index = a.Int(1);
                    a.R.Intf = s->Get_Engine(a.P[0].S, index);
                    a.P[1].I = index;
                  }),
        DI_METHOD(ExtFuncDataImport, Get_FormatByFilterIndex,
                  a.R.B = s->Get_FormatByFilterIndex(a.Int(0), a.P[1].S, a.P[2].S, a.P[3].S)),
        DI_METHOD(ExtFuncDataImport, Do_RunXMLImport,
                  a.R.B = s->Do_RunXMLImport(a.P[0].S, a.P[1].S, a.P[2].S, a.P[3].S, Fmt(a, 4),
                                             a.P[5].B, a.Obj<INamedVariantListData>(6), a.P[7].B,
                                             a.Obj<INamedVariantListData>(8))),
        DI_METHOD(ExtFuncDataImport, Do_RunXMLImportEx1,
                  a.R.B = s->Do_RunXMLImportEx1(
                      a.Obj<IBinaryData>(0), a.P[1].S, a.P[2].S, a.P[3].S, Fmt(a, 4), a.P[5].B,
                      a.Obj<INamedVariantListData>(6), a.P[7].B, a.Obj<INamedVariantListData>(8))),
        DI_METHOD(
            ExtFuncDataImport, Do_RunXMLExport,
            a.R.B = s->Do_RunXMLExport(a.P[0].S, a.Obj<IStringListData>(1), a.P[2].S, a.P[3].S,
                                       a.P[4].S, a.P[5].B, a.Obj<INamedVariantListData>(6),
                                       a.P[7].S, Fmt(a, 8), a.Obj<IStringListData>(9), a.P[10].B)),
        DI_METHOD(ExtFuncDataImport, Do_CreateXMLExport, a.R.Intf = s->Do_CreateXMLExport()),
        DI_METHOD(
            ExtFuncDataImport, Do_ExecuteVXCDialog,
            a.R.B = s->Do_ExecuteVXCDialog(a.P[0].S, a.P[1].S, static_cast<TVXCAction>(a.Int(2)))),
        DI_METHOD(ExtFuncDataImport, Do_ExecuteVXCDialogEx1,
                  a.R.B = s->Do_ExecuteVXCDialogEx1(a.P[0].S, Fmt(a, 1), a.P[2].S,
                                                    static_cast<TVXCAction>(a.Int(3)),
                                                    a.Obj<IXMLPreProcessor>(4), a.P[5].B)),
        DI_METHOD(ExtFuncDataImport, Do_ExecuteVXC,
                  a.R.B = s->Do_ExecuteVXC(a.P[0].S, Fmt(a, 1), static_cast<TVXCAction>(a.Int(2)),
                                           a.P[3].S, a.P[4].S, a.Obj<IStringListData>(5),
                                           a.Obj<INamedVariantListData>(6), a.P[7].B,
                                           a.Obj<INamedVariantListData>(8), a.P[9].B)),
        DI_METHOD(ExtFuncDataImport, Get_BusinessIntgrationAvailable,
                  a.R.B = s->Get_BusinessIntgrationAvailable()),
        DI_METHOD(ExtFuncDataImport, Do_CreateXMLImport,
                  a.R.Intf = s->Do_CreateXMLImport(a.Obj<IVelaXMLImportParser>(0))),
        DI_METHOD(ExtFuncDataImport, Do_ExecuteUserPickupImportDialog,
                  a.R.B = s->Do_ExecuteUserPickupImportDialog(
                      a.P[0].S, a.P[1].S, a.Obj<INamedVariantListData>(2), a.P[3].B)),
        DI_METHOD(ExtFuncDataImport, Do_ExecuteUserPickupImport,
                  a.R.B = s->Do_ExecuteUserPickupImport(a.Obj<IIntegerListData>(0),
                                                        a.Obj<INamedVariantListData>(1))),
        DI_METHOD(ExtFuncDataImport, Get_BusinessIntegration,
                  a.R.Intf = s->Get_BusinessIntegration()),
    };
    TInvokerMap m;
    for (const auto& [key, invoker] : list)
      m.emplace(UpperCase(key), invoker);
    return m;
  }();
  return map;
}

}  // namespace

TDIInvoker FindDIInvoker(std::string_view AClassName, std::string_view AMethodName) {
  const auto& map = Invokers();
  auto it = map.find(UpperCase(std::string(AClassName) + "." + std::string(AMethodName)));
  return it == map.end() ? nullptr : it->second;
}

}  // namespace vela
