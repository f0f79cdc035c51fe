// The declaration texts of the script bindings and their enumeration and set types, as data;
// parsed once into the method table that the call handler works from.
#include <cctype>
#include <mutex>

#include "module/_ExtFuncDataImportDefRTTIFunctions.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

struct TRawClass {
  const char* Name;
  const char* InterfaceName;
  TGUID (*IID)();
  std::vector<const char*> Declarations;
};

// The classes in registration order, each with its methods in registration order.
const std::vector<TRawClass>& RawClasses() {
  static const std::vector<TRawClass> classes = {
      {"DIVelaXMLImportParser",
       "IVelaXMLImportParser",
       &IVelaXMLImportParser::IID,
       {
           "function Do_Parse( AContentHandler: DIContentHandler ;var AErrorMessage: String): "
           "Boolean;",
       }},
      {"DIVelaXMLImport",
       "IVelaXMLImport",
       &IVelaXMLImport::IID,
       {
           "function Get_VelaXMLParser: DIVelaXMLImportParser;",
           "function Get_PreProcessorParamFmt: TXMLPreProcessorFmt;",
           "function Get_PreProcessorDLL: String;",
           "function Get_PreProcessorParam: String;",
           "function Get_PreProcessorIntf: DIXMLPreProcessor;",
           "procedure Set_VelaXMLParser(const AVelaXMLParser: DIVelaXMLImportParser);",
           "procedure Set_PreProcessorParamFmt( Value: TXMLPreProcessorFmt);",
           "procedure Set_PreProcessorDLL( Value: String);",
           "procedure Set_PreProcessorParam( Value: String);",
           "procedure Set_PreProcessorIntf( Value: DIXMLPreProcessor);",
           "function Do_Execute: Boolean;",
           "function Get_ImportLogEnabled: Boolean;",
           "procedure Set_ImportLogEnabled( Value: Boolean);",
       }},
      {"DIXMLPreProcessorPreviewDataSource",
       "IXMLPreProcessorPreviewDataSource",
       &IXMLPreProcessorPreviewDataSource::IID,
       {
           "function Get_FieldCount: Integer;",
           "function Get_FieldName(const Index: Integer): String;",
           "function Get_FieldCaption(const Index: Integer): String;",
           "function Get_RecordCount: Integer;",
           "function Get_Value(const RecNo, FieldIndex: Integer): Variant;",
           "function Get_FieldMapping: DIStringListData;",
           "function Get_PartIdent: String;",
       }},
      {"DIXMLPreProcessorImportInfo",
       "IXMLPreProcessorImportInfo",
       &IXMLPreProcessorImportInfo::IID,
       {
           "function Get_IsExportRecord( RecNo: Integer): Boolean;",
       }},
      {"DIXMLPreProcessorHost",
       "IXMLPreProcessorHost",
       &IXMLPreProcessorHost::IID,
       {
           "function Do_PreviewData(const APreviewDataSource: DIXMLPreProcessorPreviewDataSource "
           ";var AImportInfo: DIXMLPreProcessorImportInfo): Boolean;",
           "procedure Do_ProgressStart( ARecordCount: Integer ;var AProgressHandle: Integer);",
           "procedure Do_Progress( AProgressHandle, ARecNo, ARecordCount: Integer ;var AAborted: "
           "Boolean);",
           "procedure Do_ProgressEnd( AProgressHandle: Integer);",
       }},
      {"DIPreConverterDataBaseConfigSupport",
       "IPreConverterDataBaseConfigSupport",
       &IPreConverterDataBaseConfigSupport::IID,
       {
           "function Get_SupportsHostCfg: TSupportHostCfgType;",
           "function Get_SupportsTableList: Boolean;",
           "function Do_ConfigHost(var AHostData: String ;const ADetailConfigPartNamePrefix: "
           "String ;var ErrorMessage: String): Boolean;",
           "function Do_RetreiveTableList(const AParams: String ; AParamsFmt: TXMLPreProcessorFmt "
           ";const AInData: DIDataStream ; AInFmt: TXMLPreProcessorFmt ; AVXCAction: TVXCAction "
           ";var ATableList: DIStringListData ;var ErrorMessage: String ; "
           "ADetailConfigPartNamePrefix: String): Boolean;",
       }},
      {"DIPreProcessorDataOwner",
       "IPreProcessorDataOwner",
       &IPreProcessorDataOwner::IID,
       {
           "function Get_RawDataDisplayFileName: String;",
           "function Get_RawData: DIBinaryData;",
       }},
      {"DIXMLPreProcessor",
       "IXMLPreProcessor",
       &IXMLPreProcessor::IID,
       {
           "function Do_PreConvert( AInData, AOutData: DIDataStream ;const Params: String ; "
           "AInFmt, PreProcessorParamFmt: TXMLPreProcessorFmt ;const AMainInterface: "
           "DIMainInterface ;const AXMLPreProcessorHost: DIXMLPreProcessorHost ; AFunction: "
           "TXMLPreProcessorFunction ;const AVelaXMLPartHandlerContainer: "
           "DIVelaXMLPartHandlerContainer ; AOnlyThisPlace: Boolean ;const AOptions: "
           "DINamedVariantListData ;var ErrorMessage: String ;var AUserMessageError: Boolean): "
           "Boolean;",
           "function Get_ValidFileExt: DIStringListData;",
           "function Get_Caption: String;",
           "function Get_CanUseByUser: Boolean;",
           "function Get_FunctionSet: TXMLPreProcessorFunctionSet;",
           "function Get_Options: TVelaXLPreProcessorOptionSet;",
           "function Get_FieldList(const AParams: String ; AParamsFmt: TXMLPreProcessorFmt ; "
           "AInData: DIDataStream ; AInFmt: TXMLPreProcessorFmt ; AIncludeSplittedFields: Boolean "
           ";var AFieldList: DIStringListData ;var ErrorMessage: String ; ADetailConfigPartName: "
           "String): Boolean;",
           "function Do_ConfigureXMLWriter( AVelaXMLWriter: DIVelaXMLWriter ; PreProcessorParam: "
           "String ; PreProcessorParamFmt: TXMLPreProcessorFmt ;var ErrorMessage: String): "
           "Boolean;",
           "function Get_ConverterConfigType: TConverterConfigType;",
       }},
      {"DIVelaXMLPreProcessorInstance",
       "IVelaXMLPreProcessorInstance",
       &IVelaXMLPreProcessorInstance::IID,
       {
           "function Get_FunctionSet: TXMLPreProcessorFunctionSet;",
           "function Do_CreatePreProc: DIXMLPreProcessor;",
       }},
      {"DIDataImportCallBack",
       "IDataImportCallBack",
       &IDataImportCallBack::IID,
       {
           "procedure Do_AfterInsert( Simulation: Boolean ; RecordID: Int64);",
           "procedure Do_AfterUpdate( Simulation: Boolean ; RecordID: Int64);",
           "procedure Do_BeforeDelete( Simulation: Boolean ; RecordID: Int64 ;var CanDelete: "
           "Boolean);",
           "procedure Do_Message( AMsgType: TImportMessageType ;const AMsg: String);",
           "function Do_AdvFieldImport( Simulation: Boolean ; RecordID: Int64 ; FieldName: String "
           "; FieldValue: String ; ARecordInserted: Boolean): Boolean;",
       }},
      {"DIDataImport",
       "IDataImport",
       &IDataImport::IID,
       {
           "function Do_Execute(const ACallBack: DIDataImportCallBack ; SimulationOnly: Boolean= "
           "false ; Silent: Boolean= false): Boolean;",
           "function Get_ClearDestination: Boolean;",
           "function Get_SkipFirstRecord: Boolean;",
           "function Get_RollBackOnError: Boolean;",
           "function Get_RollBackOnWarning: Boolean;",
           "function Get_UseTransactions: Boolean;",
           "function Get_IgnoreRecordOnError: Boolean;",
           "function Get_IgnoreRecordOnWarning: Boolean;",
           "function Get_ImportMode: TImportMode;",
           "function Get_FieldAssignments: DIStringListData;",
           "function Get_FieldChangeConditions: DIFieldChangeConditions;",
           "function Get_AdvFieldSettings: DIAdvFieldSettings;",
           "function Get_KeyFields: DIStringListData;",
           "function Get_AbortOnError: Boolean;",
           "function Get_AbortOnWarning: Boolean;",
           "function Get_RunMode: TImportRunMode;",
           "function Get_PageVisible( Page: TImportPage): Boolean;",
           "function Get_CanClearDest: Boolean;",
           "procedure Set_ClearDestination( AValue: Boolean);",
           "procedure Set_SkipFirstRecord( AValue: Boolean);",
           "procedure Set_RollBackOnError( AValue: Boolean);",
           "procedure Set_RollBackOnWarning( AValue: Boolean);",
           "procedure Set_UseTransactions( AValue: Boolean);",
           "procedure Set_IgnoreRecordOnError( AValue: Boolean);",
           "procedure Set_IgnoreRecordOnWarning( AValue: Boolean);",
           "procedure Set_ImportMode( AValue: TImportMode);",
           "procedure Set_FieldAssignments( AValue: DIStringListData);",
           "procedure Set_KeyFields( AValue: DIStringListData);",
           "procedure Set_AbortOnError( AValue: Boolean);",
           "procedure Set_AbortOnWarning( AValue: Boolean);",
           "procedure Set_RunMode( AValue: TImportRunMode);",
           "procedure Set_PageVisible( Page: TImportPage ; Value: Boolean);",
           "procedure Set_CanClearDest( AValue: Boolean);",
           "procedure Do_QueryImportResult(var CountInserted, CountUpdated: Integer);",
           "procedure Set_AdvFields( AValue: DIStringListData);",
           "function Get_AdvFields: DIStringListData;",
       }},
      {"DIBusinessIntegation",
       "IBusinessIntegation",
       &IBusinessIntegation::IID,
       {
           "function Do_AddBIImportContainerData(const AContainerName: String ;const "
           "AContainerData, AContainerMetaData: DIBinaryData ;const AContentType, AUserAgent, "
           "ARemoteIP, AIncommingURI: String ; ACheckAllowUnAuth: Boolean= false): Boolean;",
           "function Do_AddBIImportLogData( AState: TBIContainerProcessedState ;const "
           "ALocalDataFileName: String ;const ADescr: String= '' ;const AdvFieldValues: "
           "DINamedVariantListData=nil ;const ALogMessage: String= ''): Int64;",
           "procedure Do_UpdateBIImportLogData( AID: Int64 ; AState: TBIContainerProcessedState "
           ";const ADescr: String ;const AdvFieldValues: DINamedVariantListData ;const "
           "ALogMessage: String);",
       }},
      {"DIExtFuncDataImport",
       "IExtFuncDataImport",
       &IExtFuncDataImport::IID,
       {
           "function Do_Import( DInFile: String ; DestSchema: String ; AMode: TImportMode): "
           "DIDataImport;",
           "function Do_ImportEx1( DInFile: String ; DestSchema: String ; AMode: TImportMode ; "
           "FilterStringIndex: Integer ; UseDialog: Boolean= true): DIDataImport;",
           "function Do_ImportEx2( DInFile: String ; DestSchema: String ; AMode: TImportMode ; "
           "FormatGUID: String ; UseDialog: Boolean= true): DIDataImport;",
           "function Get_DialogFilter: String;",
           "function Get_GUIDCommaText: String;",
           "function Do_RunFilterTypeHandler( FilterIndex: Integer ;var NewFileName: String): "
           "Boolean;",
           "procedure Do_RegisterEngine(const AEngine: DIDataImportEngine);",
           "procedure Do_UnRegisterEngine(const AEngine: DIDataImportEngine);",
           "function Get_Engine( FormatGUID: String ;var FormatIndex: Integer): "
           "DIDataImportEngine;",
           "function Get_FormatByFilterIndex( FilterIndex: Integer ;var FormatGuid, Title, "
           "FileExt: String): Boolean;",
           "function Do_RunXMLImport( DInFile: String ;var ErrorMessage: String ; PreProcessorDLL: "
           "String='' ; PreProcessorParam: String='' ; PreProcessorParamFmt: TXMLPreProcessorFmt= "
           "xmpFile ; AThrowExceptions: Boolean= false ;const AImportLogAttr: "
           "DINamedVariantListData=nil ; AImportLogEnabled: Boolean= true ;const "
           "ABeginPartAttrOverides: DINamedVariantListData=nil): Boolean;",
           "function Do_RunXMLImportEx1(const AData: DIBinaryData ;var ErrorMessage: String ; "
           "PreProcessorDLL: String='' ; PreProcessorParam: String='' ; PreProcessorParamFmt: "
           "TXMLPreProcessorFmt= xmpFile ; AThrowExceptions: Boolean= false ;const AImportLogAttr: "
           "DINamedVariantListData=nil ; AImportLogEnabled: Boolean= true ;const "
           "ABeginPartAttrOverides: DINamedVariantListData=nil): Boolean;",
           "function Do_RunXMLExport( OutFile: String ;const AParts: DIStringListData ;var "
           "ErrorMessage: String ; PreProcessorDLL: String='' ; PreProcessorParam: String='' ; "
           "OnlyThisPlace: Boolean= false ;const AOptions: DINamedVariantListData=nil ; "
           "ApplicationCaption: String='' ; PreProcessorParamFmt: TXMLPreProcessorFmt= xmpFile ; "
           "AProtocolHandlerSettings: DIStringListData=nil ; AThrowExceptions: Boolean= false): "
           "Boolean;",
           "function Do_CreateXMLExport: DIVelaXMLExport;",
           "function Do_ExecuteVXCDialog(const AVXCIdentifier: String ;const ACaption: String ; "
           "AVelaXMLAction: TVXCAction= vxcImport): Boolean;",
           "function Do_ExecuteVXCDialogEx1(var APreProcessorParam: String ; "
           "APreProcessorParamFmt: TXMLPreProcessorFmt ; ACaption: String ; AVelaXMLAction: "
           "TVXCAction= vxcImport ; APreProcessorIntf: DIXMLPreProcessor=nil ; "
           "AllowModifyPreProcessor: Boolean= false): Boolean;",
           "function Do_ExecuteVXC( AVXCData: String ; ADataFmt: TXMLPreProcessorFmt ; AVXCAction: "
           "TVXCAction ;var ErrorMessage: String ; AInFile: String= '' ; AParts: "
           "DIStringListData=nil ; AOptions: DINamedVariantListData=nil ; AThrowExceptions: "
           "Boolean= false ;const AImportLogAttr: DINamedVariantListData=nil ; AImportLogEnabled: "
           "Boolean= true): Boolean;",
           "function Get_BusinessIntgrationAvailable: Boolean;",
           "function Do_CreateXMLImport(const AVelaXMLParser: DIVelaXMLImportParser=nil): "
           "DIVelaXMLImport;",
           "function Do_ExecuteUserPickupImportDialog( APickUpPartType, ACaption: String ; "
           "AOptions: DINamedVariantListData ; AllowMultiSelect: Boolean= true): Boolean;",
           "function Do_ExecuteUserPickupImport( APickupDBIDList: DIIntegerListData ; AOptions: "
           "DINamedVariantListData): Boolean;",
           "function Get_BusinessIntegration: DIBusinessIntegation;",
       }},
  };
  return classes;
}

std::vector<std::string> Split(std::string_view s) {
  std::vector<std::string> r;
  size_t p = 0;
  while (p <= s.size()) {
    size_t e = s.find(',', p);
    if (e == std::string_view::npos) e = s.size();
    r.emplace_back(s.substr(p, e - p));
    p = e + 1;
  }
  return r;
}

std::vector<std::string> Prefixed(const std::vector<std::string>& values) {
  std::vector<std::string> r;
  for (const auto& v : values)
    r.push_back("O" + v);
  return r;
}

std::vector<TDIEnumDecl> MakeEnums() {
  const auto options = Split(
      "ppoHasFixedFieldList,ppoDateTimeFormatConfigRequired,ppoRTFConfigRequired,"
      "ppoSupportsDataPreview,ppoSupportsSplittedFields,ppoFieldDataTypeConfigRequired");
  const auto converters = Split(
      "vxpUnknown,vxpLDAP,vxpADO,vxpMySQL,vxpCSV,vxpTextFmt,vxpDBASE,vxpMagento,vxpXSLTransform,"
      "vxpWebRobot,vxpUniDB,vxpAltovaXML,vxpFileLister,vxpPDFFormular,vxpCustomDataSetFileImport,"
      "vxpREST,vxpBIContainer,vxpBIJSONContainer");
  const auto pages =
      Split("DipFieldAssignments,DipImportMode,DipImportOptions,DipReplacements,DipFieldRules");
  const auto vxc = Split("vxcImport,vxcExport");
  const auto functions = Split("pemImportTransformXML,pemExportTransformXML,pemExportSAXWriter");
  return {
      {"TImportMode", Split("DimAsk,DimUpdate,DimOnlyNew,DimCleanCopy"), false},
      {"TImportRunMode", Split("DimrImport,DimrSimulateFirst,DimrSimulate"), false},
      {"TImportPage", pages, false},
      {"TImportPageSet", Prefixed(pages), true},
      {"TXMLPreProcessorFmt", Split("xmpFile,xmpRAW"), false},
      {"TVXCAction", vxc, false},
      {"TVXCActionSet", Prefixed(vxc), true},
      {"TXMLPreProcessorFunction", functions, false},
      {"TXMLPreProcessorFunctionSet", Prefixed(functions), true},
      {"TVelaXMLCommand", Split("vxcNone,vxcSyncExisting"), false},
      {"TVelaXMLRecordLocateMode", Split("rlmNone,rlmKeyFields,rlmFirstRecordOnly"), false},
      {"TSupportHostCfgType", Split("shNone,shHostName,shConfig"), false},
      {"TDetailMode", Split("dmMaster,dmSubDetail,dmBeforeMaster,dmAfterMaster"), false},
      {"TVelaXLPreProcessorOption", options, false},
      {"TBIContainerProcessedState", Split("bicsNew,bicsSuccess,bicsFailed"), false},
      {"TVelaXLPreProcessorOptionSet", Prefixed(options), true},
      {"TConverterConfigType", converters, false},
      {"TConverterConfigTypeSet", Prefixed(converters), true},
  };
}

TDITypeKind KindOf(const std::string& type) {
  if (SameText(type, "Integer")) return TDITypeKind::Integer;
  if (SameText(type, "Int64")) return TDITypeKind::Int64;
  if (SameText(type, "Boolean")) return TDITypeKind::Boolean;
  if (SameText(type, "String")) return TDITypeKind::String;
  if (SameText(type, "Variant")) return TDITypeKind::Variant;
  if (const TDIEnumDecl* e = FindDIEnum(type))
    return e->IsSet ? TDITypeKind::Set : TDITypeKind::Enum;
  if (type.size() > 2 && type[0] == 'D' && type[1] == 'I') return TDITypeKind::Object;
  // Other ordinal types of the host (TImportMessageType) travel as integers.
  return TDITypeKind::Integer;
}

// A small scanner over a declaration text.
class TDeclScanner {
 public:
  explicit TDeclScanner(std::string_view text) : FText(text) {}

  void SkipSpace() {
    while (FPos < FText.size() && std::isspace(static_cast<unsigned char>(FText[FPos])))
      ++FPos;
  }
  bool Accept(char c) {
    SkipSpace();
    if (FPos < FText.size() && FText[FPos] == c) {
      ++FPos;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Accept(c)) Fail(std::string("'") + c + "' expected");
  }
  std::string Identifier() {
    SkipSpace();
    const size_t start = FPos;
    while (FPos < FText.size() &&
           (std::isalnum(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '_'))
      ++FPos;
    if (start == FPos) Fail("name expected");
    return std::string(FText.substr(start, FPos - start));
  }
  // A default value: a quoted string (kept with its quotes) or a word.
  std::string Value() {
    SkipSpace();
    if (FPos < FText.size() && FText[FPos] == '\'') {
      const size_t end = FText.find('\'', FPos + 1);
      if (end == std::string_view::npos) Fail("unterminated string");
      std::string r(FText.substr(FPos, end + 1 - FPos));
      FPos = end + 1;
      return r;
    }
    return Identifier();
  }
  bool AtEnd() {
    SkipSpace();
    return FPos >= FText.size();
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw EScriptError("declaration '" + std::string(FText) + "': " + what + " at " +
                       std::to_string(FPos + 1));
  }

 private:
  std::string_view FText;
  size_t FPos = 0;
};

}  // namespace

const std::vector<TDIEnumDecl>& DIEnumDecls() {
  static const std::vector<TDIEnumDecl> enums = MakeEnums();
  return enums;
}

const TDIEnumDecl* FindDIEnum(std::string_view ATypeName) {
  for (const TDIEnumDecl& e : DIEnumDecls())
    if (SameText(e.TypeName, ATypeName)) return &e;
  return nullptr;
}

TDIMethodDecl ParseDIDeclaration(std::string_view AText) {
  TDIMethodDecl m;
  m.Declaration = std::string(AText);
  TDeclScanner s(AText);
  const std::string kind = s.Identifier();
  if (SameText(kind, "function"))
    m.IsFunction = true;
  else if (!SameText(kind, "procedure"))
    s.Fail("'function' or 'procedure' expected");
  m.Name = s.Identifier();
  if (s.Accept('(')) {
    do {
      TDIParamMode mode = TDIParamMode::Value;
      std::vector<std::string> names{s.Identifier()};
      if (SameText(names[0], "const"))
        mode = TDIParamMode::Const;
      else if (SameText(names[0], "var"))
        mode = TDIParamMode::Var;
      else if (SameText(names[0], "out"))
        mode = TDIParamMode::Out;
      if (mode != TDIParamMode::Value) names[0] = s.Identifier();
      while (s.Accept(','))
        names.push_back(s.Identifier());
      s.Expect(':');
      const std::string type = s.Identifier();
      std::string def;
      const bool hasDefault = s.Accept('=');
      if (hasDefault) def = s.Value();
      for (const std::string& n : names)
        m.Params.push_back({n, mode, type, KindOf(type), hasDefault, def});
    } while (s.Accept(';'));
    s.Expect(')');
  }
  if (m.IsFunction) {
    s.Expect(':');
    m.ResultType = s.Identifier();
    m.ResultKind = KindOf(m.ResultType);
  }
  s.Expect(';');
  if (!s.AtEnd()) s.Fail("end of declaration expected");
  for (size_t i = 0; i < m.Params.size(); ++i)
    if (!m.Params[i].HasDefault && !m.Params[i].IsVar()) m.RequiredArgs = static_cast<int>(i + 1);
  return m;
}

const std::vector<TDIClassDecl>& DIClassDecls() {
  static const std::vector<TDIClassDecl> classes = [] {
    std::vector<TDIClassDecl> r;
    for (const TRawClass& raw : RawClasses()) {
      TDIClassDecl c{raw.Name, raw.InterfaceName, raw.IID(), {}};
      for (const char* d : raw.Declarations)
        c.Methods.push_back(ParseDIDeclaration(d));
      r.push_back(std::move(c));
    }
    return r;
  }();
  return classes;
}

}  // namespace vela
