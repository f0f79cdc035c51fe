#include "host/velaxml/VelaXMLWriter.h"

#include <algorithm>
#include <string>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// Whether a value can stand as text in a document: UTF-8 (or 8-bit text of another code page)
// without the characters XML cannot hold.
bool IsXMLText(std::string_view AValue, uint16_t ACodePage) {
  const bool utf8 = ACodePage == 0 || ACodePage == 65001;
  // Printable ASCII needs no decoding; the first other byte goes the long way.
  size_t i = 0;
  while (i < AValue.size()) {
    const auto c = static_cast<unsigned char>(AValue[i]);
    if (c < 0x20 || c >= 0x80) break;
    ++i;
  }
  while (i < AValue.size()) {
    const size_t start = i;
    const char32_t cp = NextUtf8CodePoint(AValue, i);
    if (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') return false;
    if (utf8 && cp >= 0x80 && i - start == 1) return false;  // no UTF-8
    if (cp == 0xFFFE || cp == 0xFFFF) return false;
  }
  return true;
}

constexpr std::string_view kEncodingAttr = "velaxmldataencoding";
constexpr std::string_view kBinaryModeAttr = "velaxmldatabinarymode";
constexpr std::string_view kCodePageAttr = "velaxmlcodepage";

bool IsFieldAttr(std::string_view AName) {
  return AName == kEncodingAttr || AName == kBinaryModeAttr || AName == kCodePageAttr;
}

bool IsUtf8CodePage(uint16_t ACodePage) {
  return ACodePage == 0 || ACodePage == CP_UTF8;
}

[[noreturn]] void CallError(const char* ACall, std::string_view AName, std::string_view AWhy) {
  std::string msg(ACall);
  if (!AName.empty()) msg.append("('").append(AName).append("')");
  throw EVelaXMLWriterError(msg.append(": ").append(AWhy));
}

[[noreturn]] void ElementError(std::string_view AName, const Exception& AError) {
  throw EVelaXMLWriterError("Element '" + std::string(AName) + "': " + AError.Message());
}

}  // namespace

// --- TCustomVelaXMLWriter ---

TCustomVelaXMLWriter::TCustomVelaXMLWriter(std::string AName, bool AOnlyThisPlace)
    : FName(std::move(AName)) {
  FParams.OnlyThisPlace = AOnlyThisPlace;
}

void TCustomVelaXMLWriter::StartElement(const std::string& AName,
                                        const TXMLDataStoreContainer* AAttrs,
                                        TVelaXMLDataEncoding AEncoding,
                                        TVelaXMLDataEncoding ASourceEncoding,
                                        TVelaXMLBinaryHandlingMode ABinaryHandlingMode,
                                        uint16_t ACodePage) {
  InternalStartElement(AName, AAttrs, AEncoding, ASourceEncoding, ABinaryHandlingMode, ACodePage);
}

void TCustomVelaXMLWriter::EndElement(const std::string& AName) {
  InternalEndElement(AName);
}

void TCustomVelaXMLWriter::StartCData() {
  InternalStartCData();
}

void TCustomVelaXMLWriter::EndCData() {
  InternalEndCData();
}

void TCustomVelaXMLWriter::Characters(const Variant& AValue) {
  InternalCharacters(AValue);
}

void TCustomVelaXMLWriter::StartDocument(const std::string& AName) {
  InternalStartDocument(AName);
}

void TCustomVelaXMLWriter::EndDocument() {
  InternalEndDocument();
}

void TCustomVelaXMLWriter::InternalStartElement(const std::string&, const TXMLDataStoreContainer*,
                                                TVelaXMLDataEncoding, TVelaXMLDataEncoding,
                                                TVelaXMLBinaryHandlingMode, uint16_t) {}
void TCustomVelaXMLWriter::InternalEndElement(const std::string&) {}
void TCustomVelaXMLWriter::InternalStartCData() {}
void TCustomVelaXMLWriter::InternalEndCData() {}
void TCustomVelaXMLWriter::InternalCharacters(const Variant&) {}
void TCustomVelaXMLWriter::InternalStartDocument(const std::string&) {}
void TCustomVelaXMLWriter::InternalEndDocument() {}

TVelaXMLWriterParams& TCustomVelaXMLWriter::ActiveParams(const std::string&) {
  return FParams;
}

void TCustomVelaXMLWriter::DoOnGetLookupFieldExportMode(TObject*, TLookupFieldValueMode&,
                                                        const std::string&, std::string&) {}

void TCustomVelaXMLWriter::DoOnExportChildPartRequired(TObject*, const std::string& APartName,
                                                       bool& ARequired) {
  const TStringList& list = ActiveParams(APartName).ChildPartExportList;
  if (!list.IsEmpty()) ARequired = list.IndexOf(APartName) >= 0;
}

void TCustomVelaXMLWriter::DoOnGetRecordExpressionFilter(TObject*, TFilterExpressions*&) {}

void TCustomVelaXMLWriter::DoOnGetDataRequired(TObject*, bool&) {}

// --- TVelaXMLWriter ---

TVelaXMLWriter::TVelaXMLWriter(TStream& ADest, std::string AName, bool AOnlyThisPlace)
    : TCustomVelaXMLWriter(std::move(AName), AOnlyThisPlace), FCounter(ADest), FSAX(FCounter) {}

TVelaXMLWriter::~TVelaXMLWriter() = default;

int64_t TVelaXMLWriter::Get_CurrentRequestSize() {
  return FCounter.Count() + static_cast<int64_t>(FSAX.Buffered());
}

void TVelaXMLWriter::CheckWriting(const char* ACall, std::string_view AName) const {
  if (FState == TState::Before) CallError(ACall, AName, "the document has not begun");
  if (FState == TState::Done) CallError(ACall, AName, "the document has ended");
  if (FDepth == 0) CallError(ACall, AName, "the root element has ended");
}

void TVelaXMLWriter::WriteIndent(size_t ALevel) {
  if (!FIndent) return;
  static const std::string kSpaces(64, ' ');
  FSAX.Characters("\n");
  for (size_t n = 2 * ALevel; n > 0; n -= std::min(n, kSpaces.size()))
    FSAX.Characters(std::string_view(kSpaces).substr(0, std::min(n, kSpaces.size())));
}

void TVelaXMLWriter::WriteHeader(const char* AName, const TStringList& AValues) {
  if (AValues.IsEmpty()) return;
  WriteIndent(1);
  FSAX.StartElement(AName);
  for (int i = 0; i < AValues.Count(); ++i)
    FSAX.Attribute(AValues.Names(i), AValues.ValueFromIndex(i));
  FSAX.EndElement();
}

void TVelaXMLWriter::InternalStartDocument(const std::string& AName) {
  TCustomVelaXMLWriter::InternalStartDocument(AName);
  if (FState != TState::Before) CallError("StartDocument", AName, "the document has already begun");
  try {
    FSAX.StartDocument();
    FSAX.StartElement(kRootElement);
    FSAX.Attribute("application", AName.empty() ? kDefaultApplication : AName);
    FSAX.Attribute("version", std::to_string(kFormatVersion));
    if (!FInstallation.empty()) FSAX.Attribute("installation", FInstallation);
    WriteHeader("publisher", FPublisher);
    WriteHeader("receiver", FReceiver);
  } catch (const ESAXWriteError& e) {
    ElementError(kRootElement, e);
  }
  FOpen.resize(1);
  FOpen[0] = {kRootElement, xdeNone, xdeNone, 0, !FPublisher.IsEmpty() || !FReceiver.IsEmpty(),
              false};
  FDepth = 1;
  FState = TState::Writing;
}

void TVelaXMLWriter::InternalEndDocument() {
  TCustomVelaXMLWriter::InternalEndDocument();
  if (FState == TState::Before) CallError("EndDocument", {}, "the document has not begun");
  if (FState == TState::Done) CallError("EndDocument", {}, "the document has ended");
  FInCData = false;
  while (FDepth > 0) {
    FlushRun();
    if (FOpen[FDepth - 1].HasElements) WriteIndent(FDepth - 1);
    FSAX.EndElement();
    --FDepth;
  }
  FSAX.EndDocument();
  FState = TState::Done;
}

void TVelaXMLWriter::InternalStartElement(const std::string& AName,
                                          const TXMLDataStoreContainer* AAttrs,
                                          TVelaXMLDataEncoding AEncoding,
                                          TVelaXMLDataEncoding ASourceEncoding,
                                          TVelaXMLBinaryHandlingMode ABinaryHandlingMode,
                                          uint16_t ACodePage) {
  TCustomVelaXMLWriter::InternalStartElement(AName, AAttrs, AEncoding, ASourceEncoding,
                                             ABinaryHandlingMode, ACodePage);
  CheckWriting("StartElement", AName);
  FlushRun();
  const bool field = AEncoding != xdeNone || ABinaryHandlingMode != xbhInline;
  const bool pending = AEncoding == xdeBase64Compressed && IsTextEncoding(ASourceEncoding) &&
                       ABinaryHandlingMode == xbhInline;
  try {
    FOpen[FDepth - 1].HasElements = true;
    WriteIndent(FDepth);
    FSAX.StartElement(AName);
    if (AAttrs) {
      for (int s = 0; s < AAttrs->Count(); ++s) {
        const TXMLDataStore& store = AAttrs->GetItem(s);
        for (int i = 0; i < store.Count(); ++i) {
          const TXMLDataStoreItem& item = store.GetItem(i);
          if (field && IsFieldAttr(item.Name())) continue;
          if (IsTextEncoding(item.DataEncoding()) && !IsUtf8CodePage(item.CodePage()))
            FSAX.Attribute(item.Name(), CodePageToUtf8(item.Value(), item.CodePage()));
          else
            FSAX.Attribute(item.Name(), item.Value());
        }
      }
    }
    if (field && !pending) {
      if (AEncoding != xdeNone) FSAX.Attribute(kEncodingAttr, XMLDataEncodingToStr(AEncoding));
      if (ABinaryHandlingMode != xbhInline)
        FSAX.Attribute(kBinaryModeAttr, XMLBinaryHandlingModeToStr(ABinaryHandlingMode));
      if (!IsTextEncoding(AEncoding) && ACodePage != 0)
        FSAX.Attribute(kCodePageAttr, std::to_string(ACodePage));
    }
  } catch (const Exception& e) {
    ElementError(AName, e);
  }
  if (FDepth == FOpen.size()) FOpen.emplace_back();
  TOpenElement& open = FOpen[FDepth++];
  open.Name.assign(AName);
  open.Encoding = AEncoding;
  open.SourceEncoding = ASourceEncoding;
  open.CodePage = ACodePage;
  open.HasElements = false;
  open.EncodingPending = pending;
}

void TVelaXMLWriter::InternalEndElement(const std::string& AName) {
  TCustomVelaXMLWriter::InternalEndElement(AName);
  if (FState != TState::Writing || FDepth == 0)
    CallError("EndElement", AName, "no element is open");
  if (FInCData) CallError("EndElement", AName, "a CDATA section is still open");
  const std::string& open = FOpen[FDepth - 1].Name;
  if (open != AName) CallError("EndElement", AName, "the open element is '" + open + "'");
  FlushRun();
  if (FOpen[FDepth - 1].HasElements) WriteIndent(FDepth - 1);
  FSAX.EndElement();
  --FDepth;
}

void TVelaXMLWriter::InternalStartCData() {
  TCustomVelaXMLWriter::InternalStartCData();
  CheckWriting("StartCData", {});
  if (FInCData) CallError("StartCData", {}, "a CDATA section is already open");
  FInCData = true;
  FRunIsCData = true;
}

void TVelaXMLWriter::InternalEndCData() {
  TCustomVelaXMLWriter::InternalEndCData();
  if (!FInCData) CallError("EndCData", {}, "no CDATA section is open");
  FInCData = false;
}

void TVelaXMLWriter::InternalCharacters(const Variant& AValue) {
  TCustomVelaXMLWriter::InternalCharacters(AValue);
  CheckWriting("Characters", {});
  switch (AValue.kind()) {
    case Variant::Kind::String:
      FRun += AValue.GetString();
      break;
    case Variant::Kind::Bytes: {
      const Variant::Bytes& b = AValue.GetBytes();
      FRun.append(reinterpret_cast<const char*>(b.data()), b.size());
      FRunIsBytes = true;
      break;
    }
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      break;
    default:
      FRun += AValue.AsString();
  }
}

void TVelaXMLWriter::FlushRun() {
  if (FDepth > 0 && FOpen[FDepth - 1].EncodingPending) {
    TOpenElement& e = FOpen[FDepth - 1];
    e.EncodingPending = false;
    try {
      if (FRun.size() < kCompressFrom && IsXMLText(FRun, FRunIsBytes ? e.CodePage : 0))
        e.Encoding = xdeText;
      FSAX.Attribute(kEncodingAttr, XMLDataEncodingToStr(e.Encoding));
      if (e.Encoding != xdeText && e.CodePage != 0)
        FSAX.Attribute(kCodePageAttr, std::to_string(e.CodePage));
    } catch (const Exception& ex) {
      ElementError(e.Name, ex);
    }
  }
  if (!FRun.empty()) {
    const TOpenElement& e = FOpen[FDepth - 1];
    try {
      std::string converted;
      std::string_view text = FRun;
      if (!IsTextEncoding(e.Encoding)) {
        if (e.SourceEncoding != e.Encoding) {
          converted =
              IsTextEncoding(e.SourceEncoding)
                  ? EncodeXMLFieldValue(FRun, e.Encoding)
                  : EncodeXMLFieldValue(DecodeXMLFieldValue(FRun, e.SourceEncoding), e.Encoding);
          text = converted;
        }
      } else {
        bool bytes = FRunIsBytes;
        if (!IsTextEncoding(e.SourceEncoding)) {
          converted = DecodeXMLFieldValue(FRun, e.SourceEncoding);
          text = converted;
          bytes = true;
        }
        if (bytes && !IsUtf8CodePage(e.CodePage)) {
          converted = CodePageToUtf8(text, e.CodePage);
          text = converted;
        }
      }
      if (FRunIsCData)
        FSAX.CData(text);
      else
        FSAX.Characters(text);
    } catch (const Exception& ex) {
      ElementError(e.Name, ex);
    }
    FRun.clear();
    FRunIsBytes = false;
  }
  FRunIsCData = FInCData;
}

}  // namespace vela
