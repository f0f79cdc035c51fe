// The writer side of TCustomImportPreProcessor: the writer a conversion gets, writer settings
// from a configuration, the command elements, output copies, and the pre-processor's writers.
#include <gtest/gtest.h>

#include "TestData.h"
#include "components/_CustomImportPreProcessor.h"
#include "rtl/FileUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

std::string ReadFileText(const std::string& AFileName) {
  TFileStream f(AFileName, fmOpenRead);
  std::string text(static_cast<size_t>(f.Size()), '\0');
  f.ReadBuffer(text.data(), text.size());
  return text;
}

class TTestPreProcessor : public TCustomImportPreProcessor {
  VELA_PREPROCESSOR_CLASS(TTestPreProcessor)
 public:
  using TCustomImportPreProcessor::CreateXMLWriter;
};

// Counts exports and remembers the tables it was given.
class TTestWriter : public TCustomProcessorVelaXMLWriter {
 public:
  using TCustomProcessorVelaXMLWriter::TCustomProcessorVelaXMLWriter;
  int Exports = 0;
  void ExportPart() override { ++Exports; }
  TCustomProcessorVelaXMLWriterClass WriterClass() const noexcept override {
    return &CreateXMLWriterOf<TTestWriter>;
  }
};

// The body of a document that Body writes (everything after the root's start tag).
std::string Written(const std::function<void(IVelaXMLWriter&)>& Body) {
  TStringStream out;
  IPtr<TVelaXMLWriter> w(new TVelaXMLWriter(out));
  w->StartDocument("test");
  Body(*w);
  w->EndDocument();
  const std::string doc = out.DataString();
  const size_t root = doc.find('>', doc.find("<velaxmldata")) + 1;
  return doc.substr(root, doc.rfind("</velaxmldata>") - root);
}

TEST(PreProcessorWriter, RecordCommandElements) {
  TStringList deletes{"CUSTNO=4711", "", "NAME=A=B"};
  TStringList commands{"old=CUSTNO;=;4711", "none", "two=STATE;<>"};
  const std::string body = Written([&](IVelaXMLWriter& w) {
    TCustomImportPreProcessor::WriteRecordCommands("ADDR", deletes, w, "delete");
    TCustomImportPreProcessor::WriteDeleteRecordCommands("ADDR", commands, w);
    TCustomImportPreProcessor::WritePostProcessCommand(w, "WriteINIFileValue", "success",
                                                       "a.ini\nDB\nLast");
  });
  EXPECT_EQ(body,
            "<ADDR velaxml_command=\"delete\" CUSTNO=\"4711\"/>"
            "<ADDR velaxml_command=\"delete\" NAME=\"A=B\"/>"
            "<ADDR velaxml_command=\"deleterecords\" filterfield=\"CUSTNO\" filtertype=\"=\" "
            "filtervalue=\"4711\"/>"
            "<ADDR velaxml_command=\"deleterecords\" filterfield=\"\" filtertype=\"\" "
            "filtervalue=\"\"/>"
            "<ADDR velaxml_command=\"deleterecords\" filterfield=\"STATE\" filtertype=\"&lt;&gt;\" "
            "filtervalue=\"\"/>"
            "<velaxmlpostprocess command=\"WriteINIFileValue\" runtype=\"success\">a.ini\nDB\nLast"
            "</velaxmlpostprocess>");
}

TEST(PreProcessorWriter, CreateXMLWriterByFunction) {
  IPtr<TTestPreProcessor> p(new TTestPreProcessor);
  auto out = std::make_unique<TMemoryStream>();
  TMemoryStream* data = out.get();
  IPtr<IDataStream> stream = NewDataStream(out.release(), true);
  IPtr<INamedVariantListData> options = NewNamedVariantListData();
  options->SetValueByName("keyfields", Variant("ID"));

  IPtr<IVelaXMLWriter> w =
      p->CreateXMLWriter(stream.get(), options.get(), true, pemImportTransformXML);
  ASSERT_TRUE(w);
  EXPECT_TRUE(w->Get_Params().OnlyThisPlace);
  EXPECT_EQ(VarToStr(w->Get_Params().Option("KEYFIELDS")), "ID");
  w->StartDocument("shop");
  w->EndDocument();
  EXPECT_GT(data->Size(), 0);
  EXPECT_EQ(w->Get_CurrentRequestSize(), data->Size());

  EXPECT_FALSE(p->CreateXMLWriter(stream.get(), nullptr, false, pemExportTransformXML));

  IPtr<IVelaXMLWriter> sax = p->CreateXMLWriter(nullptr, options.get(), false, pemExportSAXWriter);
  ASSERT_TRUE(sax);
  EXPECT_TRUE(Supports<IProcessorVelaXMLWriter>(sax.get()));
  EXPECT_EQ(VarToStr(sax->Get_Params().Option("keyfields")), "ID");
}

TEST(PreProcessorWriter, ConfigureXMLWriterReadsWriterParameterAndPartWriterOptions) {
  IPtr<TTestPreProcessor> p(new TTestPreProcessor);
  TMemoryStream out;
  IPtr<TVelaXMLWriter> w(new TVelaXMLWriter(out));
  TVelaXMLWriterParams& params = w->Get_Params();
  params.SkipEmptyLookups = true;
  params.SetOption("mode", Variant("old"));
  std::string error;
  ASSERT_TRUE(p->Do_ConfigureXMLWriter(
      w.get(),
      "[DB]\nOnlyChanged=1\n"
      "[WriterParameter]\nOnlyThisPlace=1\nLastChangedDate=2026/12/01 08:00:00\n"
      "ChildPartExportList=ORDERS,\"NOTES, OLD\",ITEMS\n"
      "[PartWriterOptions]\nmode=new\nextra=1\n",
      xmpRAW, error))
      << error;
  EXPECT_TRUE(params.OnlyChanged);  // from [DB] when [WriterParameter] lacks it
  EXPECT_TRUE(params.OnlyThisPlace);
  EXPECT_TRUE(params.SkipEmptyLookups);  // absent: unchanged
  EXPECT_DOUBLE_EQ(params.LastChangedDate, EncodeDateTime(2026, 12, 1, 8, 0, 0, 0));
  ASSERT_EQ(params.ChildPartExportList.Count(), 3);
  EXPECT_EQ(params.ChildPartExportList[1], "NOTES, OLD");
  EXPECT_EQ(VarToStr(params.Option("mode")), "new");
  EXPECT_EQ(VarToStr(params.Option("extra")), "1");

  EXPECT_FALSE(p->Do_ConfigureXMLWriter(w.get(), "/nonexistent/cfg.ini", xmpFile, error));
  EXPECT_EQ(error, "Exception: Configuration file '/nonexistent/cfg.ini' not found!");
}

TEST(PreProcessorWriter, OutputCopyWithNameFormatAndFileOutputOnly) {
  test::TTempDir dir("vela_outcopy");
  const std::string root = dir.Path.string();
  SetApplicationFolder(root);
  IPtr<TTestPreProcessor> p(new TTestPreProcessor);
  auto make = [](std::string_view text) {
    auto data = std::make_unique<TMemoryStream>();
    data->WriteBuffer(text.data(), text.size());
    return NewDataStream(data.release(), true);
  };
  FormatSettingsGuard fs;
  TMemIniFile cfg;
  cfg.SetText("[Output]\nFileName=$APP$/out/orders.xml\nOutputFileFmt=%FILENAME%-%ACTION%\n");
  IPtr<IDataStream> doc = make("<velaxmldata/>");
  p->SaveOutputCopy(cfg, doc.get(), pemExportSAXWriter);
  EXPECT_EQ(ReadFileText(root + "/out/orders-export.xml"), "<velaxmldata/>");
  EXPECT_EQ(doc->Get_Size(), 14);

  cfg.SetText("[Output]\nFileName=" + root + "/copy.xml\nFileOutputOnly=1\n");
  p->SaveOutputCopy(cfg, doc.get(), pemImportTransformXML);
  EXPECT_EQ(ReadFileText(root + "/copy.xml"), "<velaxmldata/>");
  EXPECT_EQ(doc->Get_Size(), 0);
  SetApplicationFolder("");
}

TEST(PreProcessorWriter, WritersTakeOverTableOptionsAndMakeChildren) {
  IPtr<TTestPreProcessor> p(new TTestPreProcessor);
  IPtr<INamedVariantListData> options = NewNamedVariantListData();
  options->SetValueByName("a", Variant("1"));
  IPtr<TCustomProcessorVelaXMLWriter> w =
      CreateXMLWriterOf<TTestWriter>(p.get(), nullptr, true, options.get());
  TMemIniFile cfg;
  cfg.SetText("[VelaXML]\nPartName=P\n[WriterOptions]\nb=2\na=3\n");
  auto settings = TDataTableSettings::CreateInstance(p.get(), "", pemExportSAXWriter, nullptr);
  settings->SetConfig(&cfg);

  w->AssignToDataTableSettings(*settings);
  EXPECT_EQ(settings->XMLWriter(), w.get());
  EXPECT_EQ(static_cast<TTestWriter&>(*w).Exports, 1);
  EXPECT_EQ(VarToStr(w->Get_Params().Option("a")), "3");
  EXPECT_EQ(VarToStr(w->Get_Params().Option("b")), "2");

  IPtr<TCustomProcessorVelaXMLWriter> child = w->CreateChildWriter();
  EXPECT_NE(dynamic_cast<TTestWriter*>(child.get()), nullptr);
  EXPECT_EQ(child->ParentWriter(), w.get());
  EXPECT_EQ(child->Owner(), p.get());
  EXPECT_TRUE(child->OnlyThisPlace());
  EXPECT_EQ(VarToStr(child->Get_Params().Option("b")), "2");
  settings.reset();  // releases the writer reference it held
  EXPECT_EQ(w->RefCount(), 1);
}

}  // namespace
}  // namespace vela
