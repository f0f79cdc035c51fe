// The pre-processor contract: the interfaces, enumerations and sets through which the host and
// the module reach every pre-processor, built in or loaded from a pre-processor library (*.vxp).
//
// Binary contract (see docs/plugins.md):
//   - A library is built with the same C++ compiler family and standard library as the host
//     (g++ / libstdc++, C++20, the libstdc++ "new" string ABI) and links libVelaHost.
//   - Strings cross as std::string holding UTF-8.
//   - Interface arguments that a method only uses during the call are borrowed raw pointers
//     (the caller keeps its reference); results and out arguments are IPtr, which hold their own
//     reference.
//   - Methods declared noexcept report failure by result and ErrorMessage, never by exception.
//   - Slot order of every interface is fixed: new methods are only ever appended.
#pragma once

#include <cstdint>
#include <string>

#include "host/InterfacedData.h"
#include "host/MainInterface.h"
#include "rtl/Interfaces.h"

namespace vela {

// Host writer and part handler objects of VelaXML; only passed through by this contract.
struct IVelaXMLWriter;
struct IVelaXMLPartHandlerContainer;

// A small set of enumeration values, stored as bits (one byte for up to eight values).
template <class E, class Bits = uint8_t>
class TEnumSet {
 public:
  constexpr TEnumSet() noexcept = default;
  constexpr TEnumSet(std::initializer_list<E> values) noexcept {
    for (E v : values)
      Include(v);
  }
  constexpr bool Contains(E v) const noexcept { return (FBits & Bit(v)) != 0; }
  constexpr TEnumSet& Include(E v) noexcept {
    FBits = static_cast<Bits>(FBits | Bit(v));
    return *this;
  }
  constexpr TEnumSet& Exclude(E v) noexcept {
    FBits = static_cast<Bits>(FBits & ~Bit(v));
    return *this;
  }
  constexpr bool IsEmpty() const noexcept { return FBits == 0; }
  constexpr Bits ToBits() const noexcept { return FBits; }
  static constexpr TEnumSet FromBits(Bits b) noexcept {
    TEnumSet s;
    s.FBits = b;
    return s;
  }
  friend constexpr bool operator==(TEnumSet, TEnumSet) noexcept = default;

 private:
  static constexpr Bits Bit(E v) noexcept {
    return static_cast<Bits>(Bits{1} << static_cast<int>(v));
  }
  Bits FBits = 0;
};

// Whether a parameter or input is a file name or the content itself.
enum TXMLPreProcessorFmt : int32_t { xmpFile, xmpRAW };

enum TVXCAction : int32_t { vxcImport, vxcExport };

enum TXMLPreProcessorFunction : int32_t {
  pemImportTransformXML,
  pemExportTransformXML,
  pemExportSAXWriter
};
using TXMLPreProcessorFunctionSet = TEnumSet<TXMLPreProcessorFunction, uint8_t>;

enum TSupportHostCfgType : int32_t { shNone, shHostName, shConfig };

enum TVelaXLPreProcessorOption : int32_t {
  ppoHasFixedFieldList,
  ppoDateTimeFormatConfigRequired,
  ppoRTFConfigRequired,
  ppoSupportsDataPreview,
  ppoSupportsSplittedFields,
  ppoFieldDataTypeConfigRequired
};
using TVelaXLPreProcessorOptionSet = TEnumSet<TVelaXLPreProcessorOption, uint8_t>;

// Tells the configuration dialog which configuration pages a pre-processor needs.
enum TConverterConfigType : int32_t {
  vxpUnknown,
  vxpLDAP,
  vxpADO,
  vxpMySQL,
  vxpCSV,
  vxpTextFmt,
  vxpDBASE,
  vxpMagento,
  vxpXSLTransform,
  vxpWebRobot,
  vxpUniDB,
  vxpAltovaXML,
  vxpFileLister,
  vxpPDFFormular,
  vxpCustomDataSetFileImport,
  vxpREST,
  vxpBIContainer,
  vxpBIJSONContainer
};

// Which records of a data preview the user chose.
struct IXMLPreProcessorImportInfo : virtual IInterface {
  VELA_IID("{9C8961C1-C672-4F19-8CCE-02ED86A5B2C4}");
  virtual bool Get_IsExportRecord(int32_t RecNo) noexcept = 0;
};

// A pre-processor's table of records for the data preview.
struct IXMLPreProcessorPreviewDataSource : virtual IInterface {
  VELA_IID("{2E2A260E-4575-4673-9CCF-9A97F19AD6A0}");
  virtual int32_t Get_FieldCount() noexcept = 0;
  virtual std::string Get_FieldName(int32_t Index) noexcept = 0;
  virtual std::string Get_FieldCaption(int32_t Index) noexcept = 0;
  virtual int32_t Get_RecordCount() noexcept = 0;
  virtual Variant Get_Value(int32_t RecNo, int32_t FieldIndex) noexcept = 0;
  virtual IPtr<IStringListData> Get_FieldMapping() noexcept = 0;
  virtual std::string Get_PartIdent() noexcept = 0;
};

// Implemented by the caller of Do_PreConvert: data preview and progress display.
struct IXMLPreProcessorHost : virtual IInterface {
  VELA_IID("{4FAD0B35-2368-45F6-9399-E33EDA136DF8}");
  // False means the user cancelled.
  virtual bool Do_PreviewData(IXMLPreProcessorPreviewDataSource* APreviewDataSource,
                              IPtr<IXMLPreProcessorImportInfo>& AImportInfo) noexcept = 0;
  virtual void Do_ProgressStart(int32_t ARecordCount, int32_t& AProgressHandle) noexcept = 0;
  virtual void Do_Progress(int32_t AProgressHandle, int32_t ARecNo, int32_t ARecordCount,
                           bool& AAborted) noexcept = 0;
  virtual void Do_ProgressEnd(int32_t AProgressHandle) noexcept = 0;
};

// Every pre-processor.
struct IXMLPreProcessor : virtual IInterface {
  VELA_IID("{0A05D856-DE2C-4CC4-B9DF-71D172539F2E}");
  // The conversion. Params is the configuration (a file name or the text itself, as
  // PreProcessorParamFmt says); AInFmt says the same of the input. False means failure with the
  // text in ErrorMessage; AUserMessageError true means the text is meant for the user as it is.
  virtual bool Do_PreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& Params,
                             TXMLPreProcessorFmt AInFmt, TXMLPreProcessorFmt PreProcessorParamFmt,
                             IMainInterface* AMainInterface,
                             IXMLPreProcessorHost* AXMLPreProcessorHost,
                             TXMLPreProcessorFunction AFunction,
                             IVelaXMLPartHandlerContainer* AVelaXMLPartHandlerContainer,
                             bool AOnlyThisPlace, INamedVariantListData* AOptions,
                             std::string& ErrorMessage, bool& AUserMessageError) noexcept = 0;
  // The file extensions the pre-processor reads.
  virtual IPtr<IStringListData> Get_ValidFileExt() noexcept = 0;
  // The name shown in selection lists.
  virtual std::string Get_Caption() noexcept = 0;
  virtual bool Get_CanUseByUser() noexcept = 0;
  virtual TXMLPreProcessorFunctionSet Get_FunctionSet() noexcept = 0;
  virtual TVelaXLPreProcessorOptionSet Get_Options() noexcept = 0;
  // The source fields for the field assignment dialog.
  virtual bool Get_FieldList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                             IDataStream* AInData, TXMLPreProcessorFmt AInFmt,
                             bool AIncludeSplittedFields, IPtr<IStringListData>& AFieldList,
                             std::string& ErrorMessage,
                             const std::string& ADetailConfigPartName) noexcept = 0;
  // Applies the pre-processor's writer settings to a VelaXML writer.
  virtual bool Do_ConfigureXMLWriter(IVelaXMLWriter* AVelaXMLWriter,
                                     const std::string& PreProcessorParam,
                                     TXMLPreProcessorFmt PreProcessorParamFmt,
                                     std::string& ErrorMessage) noexcept = 0;
  virtual TConverterConfigType Get_ConverterConfigType() noexcept = 0;
};

// A source of pre-processors: a loaded library, or a built-in pre-processor acting as its own
// source. A library instance raises its load errors from both methods.
struct IVelaXMLPreProcessorInstance : virtual IInterface {
  VELA_IID("{679CF6EB-CE81-4FD0-9001-4FE405C7CA1B}");
  virtual TXMLPreProcessorFunctionSet Get_FunctionSet() = 0;
  // A new pre-processor, or nil.
  virtual IPtr<IXMLPreProcessor> Do_CreatePreProc() = 0;
};

// Pre-processors that read from a database or a multi-table source.
struct IPreConverterDataBaseConfigSupport : virtual IInterface {
  VELA_IID("{F847036E-52A0-4935-9B3B-43F32B749E07}");
  virtual TSupportHostCfgType Get_SupportsHostCfg() noexcept = 0;
  virtual bool Get_SupportsTableList() noexcept = 0;
  virtual bool Do_ConfigHost(std::string& AHostData, const std::string& ADetailConfigPartNamePrefix,
                             std::string& ErrorMessage) noexcept = 0;
  virtual bool Do_RetreiveTableList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                                    IDataStream* AInData, TXMLPreProcessorFmt AInFmt,
                                    TVXCAction AVXCAction, IPtr<IStringListData>& ATableList,
                                    std::string& ErrorMessage,
                                    const std::string& ADetailConfigPartNamePrefix) noexcept = 0;
};

// Pre-processors that hold the raw data that they converted.
struct IPreProcessorDataOwner : virtual IInterface {
  VELA_IID("{3BC8975D-6CC3-4546-8FF7-C9671C1E211E}");
  virtual std::string Get_RawDataDisplayFileName() noexcept = 0;
  virtual IPtr<IBinaryData> Get_RawData() noexcept = 0;
};

}  // namespace vela
