#include <gtest/gtest.h>

#include <stdexcept>

#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_DataImportProcessor.h"
#include "rtl/Exceptions.h"

namespace vela::test {
namespace {

constexpr const char* kGuidA = "{11111111-1111-1111-1111-111111111111}";
constexpr const char* kGuidB = "{22222222-2222-2222-2222-222222222222}";

TEST(BaseDataImportEngine, CurrentFormatOperationsNeedSetParameter) {
  TTestImportEngine engine;
  TImportFormat* f = engine.Add(kGuidA, "Alpha", ".a");
  f->HasSettings = true;
  f->HandelFieldAssignments = true;

  for (auto op : {+[](IDataImportEngine& e) { e.HasSettings(); },
                  +[](IDataImportEngine& e) { e.FirstRowIsHeader(); },
                  +[](IDataImportEngine& e) { e.HandelFieldAssignments(); }}) {
    try {
      op(engine);
      ADD_FAILURE() << "no exception before SetParameter";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), "Exception");
      EXPECT_EQ(e.Message(), "FormatIndex not set!");
    }
  }
  EXPECT_NO_THROW(engine.UseFormatForDialog(0));
  EXPECT_THROW(engine.GetFormats(1), EListError);
  std::string msg;
  EXPECT_FALSE(engine.CheckFile(msg));
  EXPECT_EQ(msg, "FormatIndex not set!");

  engine.SetParameter("in.a", 0, {}, nullptr);
  EXPECT_EQ(engine.FormatIndex(), 0);
  EXPECT_TRUE(engine.HasSettings());
  EXPECT_FALSE(engine.FirstRowIsHeader());
  EXPECT_TRUE(engine.HandelFieldAssignments());
  EXPECT_FALSE(engine.EditSettings());  // no dialog in the base
}

TEST(BaseDataImportEngine, CheckFileComparesExtensionsIgnoringCase) {
  const struct {
    const char *File, *FileExt;
    bool CheckFileExt, Passes;
  } cases[] = {
      {"DATA.VCF", ".vcf", true, true},
      {"/x/data.vcf", ".VCF", true, true},
      {"data.txt", ".vcf", true, false},
      {"data", ".vcf", true, false},
      {"folder.vcf/data", ".vcf", true, false},  // the dot belongs to the folder
      {"data", "", true, true},
      {"data.txt", ".vcf", false, true},  // no check wanted
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    TTestImportEngine engine;
    engine.Add(kGuidA, "vCard", c.FileExt, true, c.CheckFileExt);
    engine.SetParameter(c.File, 0, {}, nullptr);
    std::string msg = "old";
    EXPECT_EQ(engine.CheckFile(msg), c.Passes);
    EXPECT_EQ(msg, c.Passes ? ""
                            : "File '" + std::string(c.File) +
                                  "' is not a valid file for importtype 'vCard'!");
  }
}

TEST(BaseDataImportEngine, IsFileForFormatIgnoresCheckFlag) {
  TTestImportEngine engine;
  engine.Add(kGuidA, "vCard", ".vcf", true, false);
  engine.Add(kGuidB, "Database", "", true, true);
  EXPECT_TRUE(engine.IsFileForFormat("A.VCF", 0));
  EXPECT_FALSE(engine.IsFileForFormat("a.vcf.bak", 0));
  EXPECT_FALSE(engine.IsFileForFormat("noext", 0));
  EXPECT_TRUE(engine.IsFileForFormat("noext", 1));  // no extension matches an empty FileExt
  EXPECT_FALSE(engine.IsFileForFormat("a.vcf", 1));
}

TEST(BaseDataImportEngine, SetParameterUnpacksDestinationFieldsAndCallsParametersSet) {
  TTestImportEngine engine;
  engine.Add(kGuidA, "Alpha", ".a");
  TStringList dest{"NAME=Name", "", "CITY=City"};
  const std::string packed = StringsToPPChar(dest);
  TDataImportProcessor processor;
  engine.SetParameter("source.a", 0, packed, &processor.FieldChangeConditions());
  EXPECT_EQ(engine.GetInputFile(), "source.a");
  EXPECT_EQ(engine.CurrentDestinationFields().Lines(), dest.Lines());
  EXPECT_EQ(engine.Conditions, &processor.FieldChangeConditions());
  EXPECT_EQ(engine.ParametersSetCalls, 1);

  engine.SetParameter("other.a", 0, {}, nullptr);  // replaces, not appends
  EXPECT_EQ(engine.CurrentDestinationFields().Count(), 0);
  EXPECT_EQ(engine.ParametersSetCalls, 2);
}

TEST(BaseDataImportEngine, PackedListsRoundTrip) {
  TStringList out{"stale"};
  for (const TStringList& in : {TStringList{}, TStringList{"a", "", "b=c", "ü"}}) {
    PPCharToStrings(StringsToPPChar(in), out);
    EXPECT_EQ(out.Lines(), in.Lines());
  }
  PPCharToStrings(std::string_view("x\0y", 3), out);  // last terminator missing
  EXPECT_EQ(out.Lines(), (std::vector<std::string>{"x", "y"}));
}

// The base behaviour of the overridable slots, seen through an engine that overrides nothing.
class TPlainEngine : public TBaseDataImportEngine {
  VELA_IMPORT_ENGINE_CLASS(TPlainEngine)
  using TBaseDataImportEngine::TBaseDataImportEngine;
};

TEST(BaseDataImportEngine, BaseSlotsAnswerEmpty) {
  TPlainEngine engine;
  engine.AddFormat(kGuidA, "Alpha", ".a", nullptr, false, false, true, true, true);
  std::string name = "keep?";
  EXPECT_FALSE(engine.RunFilterTypeHandler(0, name));
  EXPECT_EQ(name, "");
  IPtr<IStringListData> fields;
  EXPECT_TRUE(engine.QueryFields(fields, false));
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->Get_Count(), 0);

  // DoImport of the base only checks the input file.
  TDataImportProcessor processor;
  std::vector<std::string> messages;
  processor.SetOnEngineMessage([&](TDataImportProcessor*, int32_t, std::string_view m,
                                   TImportMessageType) { messages.emplace_back(m); });
  engine.SetParameter("in.a", 0, {}, nullptr);
  EXPECT_TRUE(engine.Execute(0, &processor, false));
  engine.SetParameter("in.b", 0, {}, nullptr);
  EXPECT_FALSE(engine.Execute(0, &processor, false));
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Exception: File 'in.b' is not a valid file for importtype 'Alpha'!"}));
}

TEST(BaseDataImportEngine, ExecuteFeedsTheProcessorAndDetachesAfterwards) {
  TTestImportEngine engine;
  engine.Add(kGuidA, "Alpha", ".a");
  engine.Records = {{{"Name", "Ann"}, {"City", ""}}, {{"Name", "Bob"}, {"City", "Rom"}}};
  engine.DataType = idtInteger;
  engine.SetParameter("in.a", 0, {}, nullptr);

  TDataImportProcessor processor;
  std::string log;
  processor.SetOnStartRecord(
      [&](TDataImportProcessor*, int32_t i, bool&) { log += "S" + std::to_string(i) + " "; });
  processor.SetOnSetValue([&](TDataImportProcessor*, std::string_view f, std::string_view v,
                              TImportDataType t, int32_t i) {
    log += std::string(f) + "=" + std::string(v) + ":" + std::to_string(t) + "@" +
           std::to_string(i) + " ";
  });
  processor.SetOnPostRecord(
      [&](TDataImportProcessor*, int32_t i) { log += "P" + std::to_string(i) + " "; });

  EXPECT_TRUE(engine.Execute(7, &processor, true));
  EXPECT_EQ(log, "S7 Name=Ann:5@7 City=:5@7 P7 S7 Name=Bob:5@7 City=Rom:5@7 P7 ");
  EXPECT_TRUE(engine.IsSimulation());
  EXPECT_EQ(processor.RefCount(), 0);  // the engine let go of the processor
  bool abort = false;
  EXPECT_THROW(engine.DoStartRecord(abort), EAssertionFailed);  // idle: no processor
}

struct ExecuteFailureCase {
  const char* Name;
  std::function<void()> Raise;
  std::vector<std::string> Messages;  // what the processor receives
};

TEST(BaseDataImportEngine, ExecuteMapsExceptionsToOneErrorMessage) {
  const ExecuteFailureCase cases[] = {
      {"conversion",
       [] { throw EConvertError("'x' is not a valid integer value"); },
       {"EConvertError: 'x' is not a valid integer value"}},
      {"plain", [] { throw Exception("broken"); }, {"Exception: broken"}},
      {"foreign", [] { throw std::runtime_error("io"); }, {"Exception: io"}},
      {"user message",
       [] { throw EVelaXMLImportError("Bitte prüfen", true); },
       {"EVelaXMLImportError: Bitte prüfen"}},
      {"silent abort", [] { Abort(); }, {}},
      {"not an exception", [] { throw 42; }, {"Exception: unknown exception"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTestImportEngine engine;
    engine.Add(kGuidA, "Alpha", ".a");
    engine.Records = {{{"Name", "Ann"}}};
    engine.FailInImport = c.Raise;
    engine.SetParameter("in.a", 0, {}, nullptr);
    TDataImportProcessor processor;
    std::vector<std::string> messages;
    processor.SetOnEngineMessage(
        [&](TDataImportProcessor*, int32_t i, std::string_view m, TImportMessageType t) {
          EXPECT_EQ(i, 3);
          EXPECT_EQ(t, imtError);
          messages.emplace_back(m);
        });
    EXPECT_FALSE(engine.Execute(3, &processor, false));
    EXPECT_EQ(messages, c.Messages);
    EXPECT_EQ(engine.RecordsRead, 0);
    EXPECT_EQ(processor.RefCount(), 0);
  }
}

TEST(BaseDataImportEngine, QueryFieldsShowsTheErrorAndAnswersFalse) {
  TTestImportEngine engine;
  engine.Add(kGuidA, "Alpha", ".a");
  engine.FailInQuery = [] { throw Exception("no source"); };
  IPtr<IStringListData> fields;
  EXPECT_FALSE(engine.QueryFields(fields, false));  // headless

  TScopedEngineUI ui;
  engine.FailInQuery = nullptr;
  engine.QueryResult = {"Name", "City"};
  ASSERT_TRUE(engine.QueryFields(fields, true));
  EXPECT_EQ(StringListDataToVector(fields.get()), engine.QueryResult);

  engine.FailInQuery = [] { throw EInOutError("cannot open"); };
  EXPECT_FALSE(engine.QueryFields(fields, false));
  EXPECT_FALSE(fields);
  using TShown = std::vector<std::pair<std::string, TEngineDialogType>>;
  EXPECT_EQ(ui->Messages, (TShown{{"cannot open", edtError}}));

  engine.FailInQuery = [] { Abort(); };  // the user's cancel shows nothing
  EXPECT_FALSE(engine.QueryFields(fields, false));
  EXPECT_EQ(ui->Messages.size(), 1u);

  engine.FailInQuery = [] { throw std::logic_error("bug"); };  // not of the Exception family
  EXPECT_THROW(engine.QueryFields(fields, false), std::logic_error);
}

// Owned engines survive their last release; a new instance frees itself on its last release.
TEST(BaseDataImportEngine, LifetimeOfOwnedEnginesAndNewInstances) {
  const int before = TTestImportEngine::Alive;
  TTestImportEngine engine;
  EXPECT_FALSE(engine.Interfaced());
  {
    IPtr<IDataImportEngine> a(&engine);
    IPtr<IDataImportEngine> b = a;
    EXPECT_EQ(engine.RefCount(), 2);
  }
  EXPECT_EQ(engine.RefCount(), 0);
  EXPECT_EQ(TTestImportEngine::Alive, before + 1);  // still there
  engine.SetTitle("Test engine");
  engine.Add(kGuidA, "Alpha", ".a");
  {
    IPtr<IDataImportEngine> copy = engine.NewInstance();
    ASSERT_TRUE(copy);
    EXPECT_EQ(TTestImportEngine::Alive, before + 2);
    auto* impl = dynamic_cast<TTestImportEngine*>(copy.get());
    ASSERT_NE(impl, nullptr);  // same class as the original
    EXPECT_NE(impl, &engine);
    EXPECT_TRUE(impl->Interfaced());
    EXPECT_EQ(impl->RefCount(), 1);
    EXPECT_EQ(copy->GetTitle(), "Test engine");
    EXPECT_EQ(copy->GetFormatCount(), 1);
    { IPtr<IDataImportEngine> second = copy; }
    EXPECT_EQ(TTestImportEngine::Alive, before + 2);
  }
  EXPECT_EQ(TTestImportEngine::Alive, before + 1);
}

}  // namespace
}  // namespace vela::test
