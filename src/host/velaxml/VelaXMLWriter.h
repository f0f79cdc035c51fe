// The VelaXML writer: the interface through which exports and pre-processors produce VelaXML
// (IVelaXMLWriter), the base class whose virtual callbacks descendants override to receive the
// same calls (TCustomVelaXMLWriter, e.g. a writer that fills a dataset instead of a document),
// the parameters that steer an export, and the writer that serialises into a stream
// (TVelaXMLWriter). docs/velaxml.md describes the document format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/InterfacedData.h"
#include "host/velaxml/XMLDataEncoding.h"
#include "host/velaxml/XMLDataStore.h"
#include "platform/sax/SAXWriter.h"
#include "rtl/Classes.h"
#include "rtl/DateUtils.h"
#include "rtl/Interfaces.h"
#include "rtl/Streams.h"
#include "rtl/Variants.h"

namespace vela {

class TFilterExpressions;  // host/velaxml/FilterExpressions.h

// A call out of order, a bad name or a value that cannot be written. The message names the
// element concerned.
VELA_DECLARE_EXCEPTION(EVelaXMLWriterError, ESAXWriteError);

// What an export writes and how an import of its document treats existing records.
struct TVelaXMLWriterParams {
  bool OnlyChanged = false;       // only records changed since LastChangedDate
  bool OnlyThisPlace = false;     // only records of this installation
  bool SkipEmptyLookups = false;  // leave out lookup fields without a value
  TDateTime ProcessToDate = 0;    // records changed up to this moment (0: no limit)
  TDateTime LastChangedDate = 0;  // the previous export's moment
  // Child parts to export inside the rows; empty: every child part the part offers.
  TStringList ChildPartExportList;
  bool UpdateCheck = true;     // look up existing records before adding
  bool ModifyExisting = true;  // change records that are found

  // Named options (part options, processing options); names ignore ASCII case.
  void SetOption(std::string_view AName, const Variant& AValue) {
    FOptions->SetValueByName(AName, AValue);
  }
  // Unassigned when absent.
  Variant Option(std::string_view AName) const { return FOptions->ValueByName(AName); }
  INamedVariantListData& Options() const noexcept { return *FOptions; }

 private:
  IPtr<INamedVariantListData> FOptions = NewNamedVariantListData();
};

// The calls that produce a VelaXML document. An element whose Encoding is not xdeNone (or
// whose binary mode is not inline) is a field element; every other element is structure (part,
// row, child part, command). Slot order is fixed.
struct IVelaXMLWriter : virtual IInterface {
  VELA_IID("{7D3B1E52-96A4-4C1F-8B0E-5F2A6C9D4E31}");
  // AAttrs may be nullptr. Encoding: how the value is written into the document; SourceEncoding:
  // the form in which Characters delivers it; CodePage: the code page of byte values (0: UTF-8).
  virtual void StartElement(const std::string& AName, const TXMLDataStoreContainer* AAttrs,
                            TVelaXMLDataEncoding AEncoding, TVelaXMLDataEncoding ASourceEncoding,
                            TVelaXMLBinaryHandlingMode ABinaryHandlingMode, uint16_t ACodePage) = 0;
  virtual void EndElement(const std::string& AName) = 0;
  virtual void StartCData() = 0;
  virtual void EndCData() = 0;
  // A byte array (raw bytes) or a string (UTF-8 text); other kinds are written as their text,
  // Empty and Null as nothing. A value may come in any number of pieces.
  virtual void Characters(const Variant& AValue) = 0;
  virtual TVelaXMLWriterParams& Get_Params() = 0;
  // The parameters that apply to the named part.
  virtual TVelaXMLWriterParams& Get_Params(const std::string& APartName) = 0;
  // AName: the producing application, written as the root's "application".
  virtual void StartDocument(const std::string& AName) = 0;
  virtual void EndDocument() = 0;
  // Bytes of the document produced so far.
  virtual int64_t Get_CurrentRequestSize() = 0;
};

// The base of every writer: the interface methods call the virtual callbacks below, which do
// nothing here. Descendants override them and call the inherited callback first.
class TCustomVelaXMLWriter : public TInterfacedObject, public virtual IVelaXMLWriter {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLWriter)

 public:
  TCustomVelaXMLWriter(std::string AName, bool AOnlyThisPlace);
  ~TCustomVelaXMLWriter() override = default;

  const std::string& Name() const noexcept { return FName; }

  // IVelaXMLWriter
  void StartElement(const std::string& AName, const TXMLDataStoreContainer* AAttrs,
                    TVelaXMLDataEncoding AEncoding, TVelaXMLDataEncoding ASourceEncoding,
                    TVelaXMLBinaryHandlingMode ABinaryHandlingMode, uint16_t ACodePage) final;
  void EndElement(const std::string& AName) final;
  void StartCData() final;
  void EndCData() final;
  void Characters(const Variant& AValue) final;
  TVelaXMLWriterParams& Get_Params() final { return FParams; }
  TVelaXMLWriterParams& Get_Params(const std::string& APartName) final {
    return ActiveParams(APartName);
  }
  void StartDocument(const std::string& AName) final;
  void EndDocument() final;
  int64_t Get_CurrentRequestSize() override { return 0; }

  // --- callbacks, in slot order ---
  virtual void InternalStartElement(const std::string& AName, const TXMLDataStoreContainer* AAttrs,
                                    TVelaXMLDataEncoding AEncoding,
                                    TVelaXMLDataEncoding ASourceEncoding,
                                    TVelaXMLBinaryHandlingMode ABinaryHandlingMode,
                                    uint16_t ACodePage);
  virtual void InternalEndElement(const std::string& AName);
  virtual void InternalStartCData();
  virtual void InternalEndCData();
  virtual void InternalCharacters(const Variant& AValue);
  virtual void InternalStartDocument(const std::string& AName);
  virtual void InternalEndDocument();
  // This writer's own parameters for every part.
  virtual TVelaXMLWriterParams& ActiveParams(const std::string& APartName);
  // Export questions of the part handlers. The base leaves the answers as they come, except
  // that a non-empty child part export list decides which child parts are required.
  virtual void DoOnGetLookupFieldExportMode(TObject* ASender, TLookupFieldValueMode& AMode,
                                            const std::string& AFieldName,
                                            std::string& ACustomField);
  virtual void DoOnExportChildPartRequired(TObject* ASender, const std::string& APartName,
                                           bool& ARequired);
  virtual void DoOnGetRecordExpressionFilter(TObject* ASender, TFilterExpressions*& AFilter);
  virtual void DoOnGetDataRequired(TObject* ASender, bool& ARequired);

 protected:
  std::string FName;
  TVelaXMLWriterParams FParams;
};

// Serialises VelaXML into a stream through TSAXWriter, in UTF-8. It holds the open elements'
// names and the character data of the current run only; the stream receives the document in
// blocks as the SAX writer's buffer fills.
//
// Values: character data is collected until the next StartElement or EndElement, then written
// once: encoded by the element's Encoding, as one CDATA section when StartCData was called
// during the run, as text otherwise. When SourceEncoding equals Encoding (and is not a text
// encoding) the data are already encoded and written as they stand; another non-text
// SourceEncoding is decoded first. Byte values of a text field in a code page other than 0 and
// 65001 are converted to UTF-8; "velaxmlcodepage" is written only for encoded values, where it
// names the code page of the decoded bytes. An empty value is written as no text in every
// encoding.
class TVelaXMLWriter : public TCustomVelaXMLWriter {
 public:
  static constexpr int kFormatVersion = 1;
  static constexpr const char* kDefaultApplication = "Vela";
  static constexpr const char* kRootElement = "velaxmldata";

  // ADest must outlive the writer; the writer does not own it.
  explicit TVelaXMLWriter(TStream& ADest, std::string AName = {}, bool AOnlyThisPlace = false);
  ~TVelaXMLWriter() override;

  // Identity of the installation that produced the data ("installation" on the root); empty:
  // not written. Set before StartDocument.
  void SetInstallation(std::string AValue) { FInstallation = std::move(AValue); }
  // Attributes of the "publisher" and "receiver" header elements (name=value lines); an empty
  // list writes no element. Fill before StartDocument.
  TStringList& Publisher() noexcept { return FPublisher; }
  TStringList& Receiver() noexcept { return FReceiver; }

  // Line breaks and two spaces per level before start tags and before the end tags of
  // elements with element content, for documents meant to be read by people. Off by default.
  // Readers ignore this white space between elements. Set before StartDocument.
  void SetIndent(bool AValue) noexcept { FIndent = AValue; }

  int64_t Get_CurrentRequestSize() override;

  void InternalStartElement(const std::string& AName, const TXMLDataStoreContainer* AAttrs,
                            TVelaXMLDataEncoding AEncoding, TVelaXMLDataEncoding ASourceEncoding,
                            TVelaXMLBinaryHandlingMode ABinaryHandlingMode,
                            uint16_t ACodePage) override;
  void InternalEndElement(const std::string& AName) override;
  void InternalStartCData() override;
  void InternalEndCData() override;
  void InternalCharacters(const Variant& AValue) override;
  void InternalStartDocument(const std::string& AName) override;
  void InternalEndDocument() override;

 private:
  // Counts the bytes that pass to the destination.
  class TCountingStream : public TStream {
   public:
    explicit TCountingStream(TStream& ADest) : FDest(ADest) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* ABuffer, size_t ACount) override {
      FDest.WriteBuffer(ABuffer, ACount);
      FCount += static_cast<int64_t>(ACount);
      return ACount;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return FCount; }
    int64_t Count() const noexcept { return FCount; }

   private:
    TStream& FDest;
    int64_t FCount = 0;
  };

  struct TOpenElement {
    std::string Name;
    TVelaXMLDataEncoding Encoding;
    TVelaXMLDataEncoding SourceEncoding;
    uint16_t CodePage;
    bool HasElements;  // child elements were written
    // A plain value to be compressed: its encoding attribute is written with the value, which
    // decides whether compression pays.
    bool EncodingPending;
  };

  enum class TState : uint8_t { Before, Writing, Done };

  void CheckWriting(const char* ACall, std::string_view AName) const;
  void WriteHeader(const char* AName, const TStringList& AValues);
  // Writes the collected character data of the current run.
  void FlushRun();
  // Short plain values asked to be compressed are written as text: compression makes them
  // longer and costs more than the rest of writing them.
  static constexpr size_t kCompressFrom = 256;
  void WriteIndent(size_t ALevel);

  TCountingStream FCounter;
  TSAXWriter FSAX;
  std::string FInstallation;
  TStringList FPublisher;
  TStringList FReceiver;
  TState FState = TState::Before;
  std::vector<TOpenElement> FOpen;  // the root first
  size_t FDepth = 0;                // elements of FOpen in use (their strings are reused)
  std::string FRun;                 // character data since the last element event
  bool FRunIsCData = false;         // StartCData was called in this run
  bool FRunIsBytes = false;         // the run holds byte values (in the element's code page)
  bool FInCData = false;            // between StartCData and EndCData
  bool FIndent = false;
};

}  // namespace vela
