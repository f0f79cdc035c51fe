// TCustomImportPreProcessor: defaults, error mapping at the interface, log, progress, macros.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <regex>
#include <tuple>

#include "components/_CustomImportPreProcessor.h"
#include "host/MainInterface.h"
#include "host/velaxml/XMLDataStore.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

// A pre-processor whose conversion runs a test-supplied body.
class TMyImport : public TCustomImportPreProcessor {
  VELA_PREPROCESSOR_CLASS(TMyImport)

 public:
  std::function<void(TMyImport&)> Body;
  IMainInterface* SeenMainInterface = nullptr;
  IXMLPreProcessorHost* SeenHost = nullptr;

  using TCustomImportPreProcessor::LogErrorToFile;

 protected:
  void InternalPreConvert(IDataStream*, IDataStream*, const std::string&, TXMLPreProcessorFmt,
                          TXMLPreProcessorFmt, TXMLPreProcessorFunction, bool,
                          INamedVariantListData*) override {
    SeenMainInterface = MainInterface();
    SeenHost = PreProcessorHost();
    if (Body) Body(*this);
  }
};

struct TConvertResult {
  bool ok;
  std::string error;
  bool userMessage;
};

TConvertResult Convert(TMyImport& p, IMainInterface* mi = nullptr,
                       IXMLPreProcessorHost* host = nullptr) {
  TConvertResult r{false, "stale", true};
  r.ok = p.Do_PreConvert(nullptr, nullptr, "cfg", xmpFile, xmpRAW, mi, host, pemImportTransformXML,
                         nullptr, false, nullptr, r.error, r.userMessage);
  return r;
}

// A host that records progress calls and can report the user's cancel.
class TTestHost : public TInterfacedObject, public IXMLPreProcessorHost {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessorHost)
 public:
  int32_t AbortRecNo = -1;
  std::vector<std::string> Calls;
  bool Do_PreviewData(IXMLPreProcessorPreviewDataSource*,
                      IPtr<IXMLPreProcessorImportInfo>&) noexcept override {
    Calls.push_back("preview");
    return false;
  }
  void Do_ProgressStart(int32_t count, int32_t& handle) noexcept override {
    Calls.push_back("start " + std::to_string(count));
    handle = 42;
  }
  void Do_Progress(int32_t handle, int32_t recNo, int32_t count, bool& aborted) noexcept override {
    Calls.push_back("step " + std::to_string(handle) + " " + std::to_string(recNo) + "/" +
                    std::to_string(count));
    aborted = recNo == AbortRecNo;
  }
  void Do_ProgressEnd(int32_t handle) noexcept override {
    Calls.push_back("end " + std::to_string(handle));
  }
};

TEST(CustomImportPreProcessor, IsItsOwnInstance) {
  auto* p = new TCustomImportPreProcessor();
  IPtr<IXMLPreProcessor> intf(p);
  // The pre-processor is its own source: the same object, answering its own function set.
  auto asInstance = Supports<IVelaXMLPreProcessorInstance>(intf);
  ASSERT_TRUE(asInstance);
  EXPECT_EQ(asInstance->Do_CreatePreProc().get(), intf.get());
  EXPECT_EQ(asInstance->Get_FunctionSet(), TXMLPreProcessorFunctionSet{pemImportTransformXML});
  p->SetSupportedFunctions({pemExportSAXWriter});
  EXPECT_EQ(asInstance->Get_FunctionSet(), TXMLPreProcessorFunctionSet{pemExportSAXWriter});
}

TEST(CustomImportPreProcessor, CaptionFallsBackToClassNameWithoutFirstLetter) {
  EXPECT_EQ(IPtr<TMyImport>(new TMyImport())->Get_Caption(), "MyImport");
}

TEST(CustomImportPreProcessor, ExceptionsBecomeFalseWithClassNameAndMessage) {
  struct Case {
    std::function<void()> raise;
    std::string error;
    bool userMessage;
  };
  const Case cases[] = {
      {[] { throw EConvertError("x"); }, "EConvertError: x", false},
      {[] { throw Exception("plain"); }, "Exception: plain", false},
      {[] { throw EVelaUserMessageException("for you"); }, "EVelaUserMessageException: for you",
       true},
      {[] { throw EVelaXMLImportError("shown", true); }, "EVelaXMLImportError: shown", false},
      {[] { throw EFalderCustomException("flagged", true); }, "EFalderCustomException: flagged",
       true},
      {[] { throw EFalderCustomException("not flagged", false); },
       "EFalderCustomException: not flagged", false},
      {[] { throw std::runtime_error("std"); }, "Exception: std", false},
      {[] { Abort(); }, "", false}};
  for (const auto& c : cases) {
    IPtr<TMyImport> p(new TMyImport());
    p->Body = [&](TMyImport&) { c.raise(); };
    const auto r = Convert(*p);
    EXPECT_FALSE(r.ok) << c.error;
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.userMessage, c.userMessage) << c.error;
  }
}

TEST(CustomImportPreProcessor, SuccessClearsTheOutArgumentsAndTheServicesAfterwards) {
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  IPtr<TTestHost> host(new TTestHost());
  IPtr<TMyImport> p(new TMyImport());
  IMainInterface* macroHandlerMi = nullptr;
  p->Body = [&](TMyImport& self) { macroHandlerMi = self.FunctionMacroHandler().MainInterface(); };
  const auto r = Convert(*p, mi.get(), host.get());
  EXPECT_EQ(std::tuple(r.ok, r.error, r.userMessage), std::tuple(true, std::string(), false));
  EXPECT_TRUE(p->SeenMainInterface == mi.get() && p->SeenHost == host.get());
  EXPECT_EQ(macroHandlerMi, mi.get());
  auto cleared = [&] {
    return !p->MainInterface() && !p->PreProcessorHost() &&
           !p->FunctionMacroHandler().MainInterface();
  };
  EXPECT_TRUE(cleared());
  // Also after a failure.
  p->Body = [](TMyImport&) { throw EConvertError("x"); };
  EXPECT_FALSE(Convert(*p, mi.get(), host.get()).ok);
  EXPECT_TRUE(cleared());
}

using CustomImportPreProcessorLog = TempFolderTest;

TEST_F(CustomImportPreProcessorLog, OneLinePerFailure) {
  {
    IPtr<TMyImport> p(new TMyImport());
    p->SetErrorLogFile(Path("sub/errors.log"));  // creates the missing folder
    p->Body = [](TMyImport&) { throw EConvertError("x"); };
    EXPECT_FALSE(Convert(*p).ok);
    p->Body = [](TMyImport&) { Abort(); };  // a cancel is not logged
    EXPECT_FALSE(Convert(*p).ok);
  }
  {
    IPtr<TMyImport> p(new TMyImport());
    p->SetCaption("Second");
    p->SetErrorLogFile(Path("sub/errors.log"));  // appends
    p->LogErrorToFile("direct");
  }
  // Date and time first (no byte-order mark), then the caption and the message.
  const std::string text = Read("sub/errors.log");
  EXPECT_TRUE(
      std::regex_match(text, std::regex("[0-9][^\r\n]* - MyImport: \\(EConvertError\\) x\r\n"
                                        "[0-9][^\r\n]* - Second: direct\r\n")))
      << text;
}

TEST(CustomImportPreProcessor, ProgressForwardsAndAbortIsSilent) {
  IPtr<TTestHost> host(new TTestHost());
  host->AbortRecNo = 2;
  IPtr<TMyImport> p(new TMyImport());
  bool reachedAfterAbort = false;
  p->Body = [&](TMyImport& self) {
    self.ProgressStart(3);
    for (int i = 1; i <= 3; ++i)
      self.ProgressStep(i, 3);
    reachedAfterAbort = true;
  };
  const auto r = Convert(*p, nullptr, host.get());
  EXPECT_EQ(std::tuple(r.ok, r.error, reachedAfterAbort), std::tuple(false, std::string(), false));
  EXPECT_EQ(host->Calls, (std::vector<std::string>{"start 3", "step 42 1/3", "step 42 2/3"}));
  // ProgressEnd closes the display and resets the handle; without a host nothing happens.
  host->Calls.clear();
  host->AbortRecNo = -1;
  p->Body = [&](TMyImport& self) {
    self.ProgressStart(1);
    self.ProgressEnd();
    EXPECT_EQ(self.ProgressHandle(), -1);
  };
  EXPECT_TRUE(Convert(*p, nullptr, host.get()).ok);
  EXPECT_EQ(host->Calls, (std::vector<std::string>{"start 1", "end 42"}));
  p->Body = [&](TMyImport& self) { self.ProgressStep(1, 1); };
  EXPECT_TRUE(Convert(*p).ok);
}

class TUpperMacros : public TVelaXMLProcessorFunctionMacroHandler {
 public:
  bool GetContentIsFunctionMacro(std::string_view s) const override { return s.starts_with("="); }
  Variant ExecuteFunctionMacro(std::string_view s, const TXMLDataStore*, bool& isText) override {
    isText = true;
    return Variant(std::string("macro:") + std::string(s.substr(1)));
  }
};

TEST(CustomImportPreProcessor, ConfigEntryValuesAndHostMacros) {
  IPtr<TMyImport> p(new TMyImport());
  // The standard handler evaluates macros; "=x" is no function call and stays as written.
  EXPECT_EQ(p->GetConfigEntryValue("=LOWER(\"A\")") + "|" + p->GetConfigEntryValue("=x"), "a|=x");
  p->SetFunctionMacroHandler(std::make_unique<TUpperMacros>());
  EXPECT_EQ(p->GetConfigEntryValue("=x") + "|" + p->GetConfigEntryValue("plain") + "|" +
                p->GetConfigEntryValue(""),
            "macro:x|plain|");

  // Host macros only while a conversion runs.
  EXPECT_THROW(p->ExpandHostMacros("$APP$/x"), Exception);
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  std::string expanded;
  p->Body = [&](TMyImport& self) { expanded = self.ExpandHostMacros("$app$\\custom\\a.ini"); };
  EXPECT_TRUE(Convert(*p, mi.get()).ok);
  EXPECT_EQ(expanded, "/srv/app/custom/a.ini");
}

TEST(CustomImportPreProcessor, FunctionToActionAndCommands) {
  // The SAX writer is an export function.
  EXPECT_EQ(TCustomImportPreProcessor::ProcessorFunctionToVXCAction(pemExportSAXWriter), vxcExport);
  EXPECT_EQ(RaisedText([] {
              TCustomImportPreProcessor::ProcessorFunctionToVXCAction(
                  static_cast<TXMLPreProcessorFunction>(3));
            }),
            "Exception: TCustomImportPreProcessor.ProcessorFunctionToVXCAction: unknow "
            "TXMLPreProcessorFunction");
  EXPECT_EQ(TCustomImportPreProcessor::StrToVelaXMLCommand("syncexisting"), vxcSyncExisting);
  for (const char* s : {"SyncExisting", "", "sync", "syncexisting "})
    EXPECT_EQ(TCustomImportPreProcessor::StrToVelaXMLCommand(s), vxcNone) << s;
}

TEST(CustomImportPreProcessor, ConfigureXMLWriterMapsErrors) {
  IPtr<TMyImport> p(new TMyImport());
  std::string error;
  EXPECT_FALSE(p->Do_ConfigureXMLWriter(nullptr, "/nonexistent/cfg.ini", xmpFile, error));
  EXPECT_EQ(error, "Exception: Configuration file '/nonexistent/cfg.ini' not found!");
}

TEST(CustomImportPreProcessor, FieldListWithoutFieldsIsFalseWithAnEmptyList) {
  IPtr<TMyImport> p(new TMyImport());
  IPtr<IStringListData> fields;
  std::string error = "stale";
  EXPECT_FALSE(p->Get_FieldList("", xmpRAW, nullptr, xmpFile, false, fields, error, "detail"));
  EXPECT_TRUE(fields && fields->Get_Count() == 0 && error.empty()) << error;
}

TEST(CustomImportPreProcessor, MergeIntoDataStoreReplacesInPlaceAndAppendsTheRest) {
  TXMLDataStore store;
  store.Add("id", "7");
  store.Add("Photo", "old", xdeBase64, xbhFile, 1252);
  store.Add("city", "Paris");
  TStringList list{"PHOTO=",    "url=a=b&c=d", "note=",   "noseparator",
                   "=nameless", "id=8",        "City=x=y"};
  TCustomImportPreProcessor::MergeIntoDataStore(list, store);

  struct Expected {
    const char* name;
    const char* value;
  };
  const Expected expected[] = {
      {"id", "8"}, {"Photo", ""}, {"city", "x=y"}, {"url", "a=b&c=d"}, {"note", ""}};
  ASSERT_EQ(store.Count(), static_cast<int>(std::size(expected)));
  for (int i = 0; i < store.Count(); ++i) {
    EXPECT_EQ(store.GetItem(i).Name(), expected[i].name) << i;
    EXPECT_EQ(store.GetItem(i).Value(), expected[i].value) << i;
  }
  // A replaced value keeps the item's encoding; appended pairs are plain text.
  const auto& photo = store.GetItem(1);
  EXPECT_EQ(std::tuple(photo.DataEncoding(), photo.BinaryHandlingMode(), photo.CodePage()),
            std::tuple(xdeBase64, xbhFile, 1252));
  EXPECT_EQ(store.GetItem(3).DataEncoding(), xdeNone);

  // The list's own separator splits the lines.
  TStringList colon{"city:Rome", "zip:00100"};
  colon.SetNameValueSeparator(':');
  TCustomImportPreProcessor::MergeIntoDataStore(colon, store);
  EXPECT_EQ(store.ValueByName("city"), "Rome");
  EXPECT_EQ(store.IndexByName("zip"), 5);

  // An empty list changes nothing.
  TCustomImportPreProcessor::MergeIntoDataStore(TStringList(), store);
  EXPECT_EQ(store.Count(), 6);
}

}  // namespace
}  // namespace vela
