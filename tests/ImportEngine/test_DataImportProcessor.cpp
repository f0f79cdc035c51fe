#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_DataImportProcessor.h"
#include "rtl/Exceptions.h"

namespace vela::test {
namespace {

constexpr const char* kVcf = "{E5AE2E16-7A13-452E-A077-94265E78C607}";
constexpr const char* kLdif = "{6C5B1F3A-0D1E-4B7A-9E55-2A3C4D5E6F70}";
constexpr const char* kAdo = "{9B1D7C2E-3F4A-4B5C-8D6E-7F8091A2B3C4}";
constexpr const char* kHidden = "{0A0B0C0D-1111-2222-3333-444455556666}";

// The registry of the module at start-up, reduced to what the lookups look at: a card engine
// with two dialog formats and a database engine whose format has no extension.
struct Registry {
  TTestImportEngine Card, Database;
  TDataImportProcessor Processor;
  Registry() {
    Card.Add(kVcf, "VCard - Business Card", ".vcf");
    Card.Add(kLdif, "LDIF - LDAP Data Interchange", ".ldif");
    Database.Add(kAdo, "ADO/OLE-DB/ODBC Database", "");
    Processor.RegisterEngine(&Card);
    Processor.RegisterEngine(&Database);
  }
};

// An engine and format index, as the lookups answer them.
using Lookup = std::pair<int32_t, int32_t>;

Lookup ByFilter(const TDataImportProcessor& p, int32_t filterIndex) {
  Lookup l{7, 7};
  p.FilterIndexToEngine(filterIndex, l.first, l.second);
  return l;
}
Lookup ByGUID(const TDataImportProcessor& p, std::string_view guid) {
  Lookup l{7, 7};
  p.GUIDToEngine(guid, l.first, l.second);
  return l;
}
Lookup ByFile(const TDataImportProcessor& p, std::string_view file, bool expectFound) {
  Lookup l{7, 7};
  EXPECT_EQ(p.QueryEngine(file, l.first, l.second), expectFound) << file;
  return l;
}

TEST(DataImportProcessor, EmptyRegistryFindsNothing) {
  TDataImportProcessor p;
  EXPECT_EQ(std::tuple(p.Count(), p.DialogFilterStr(), p.GUIDCommaText()), std::tuple(0, "", ""));
  EXPECT_EQ(ByFilter(p, 1), (Lookup{-1, -1}));
  EXPECT_EQ(ByGUID(p, kVcf), (Lookup{-1, -1}));
  EXPECT_EQ(ByFile(p, "a.vcf", false), (Lookup{-1, -1}));
  std::string name = "x";
  EXPECT_FALSE(p.RunFilterTypeHandler(1, name));
  EXPECT_EQ(name, "");
  EXPECT_THROW(p.GetEngines(0), EListError);
  EXPECT_THROW(p.Execute(0, false), EListError);
}

TEST(DataImportProcessor, DialogFilterAndGUIDCommaText) {
  Registry r;
  EXPECT_EQ(r.Processor.DialogFilterStr(),
            "VCard - Business Card (*.vcf)|*.vcf|LDIF - LDAP Data Interchange (*.ldif)|*.ldif|"
            "ADO/OLE-DB/ODBC Database ()| ");
  // The comma text lists every format, dialog or not.
  r.Database.Add(kHidden, "Hidden", ".h", false);
  EXPECT_EQ(r.Processor.GUIDCommaText(), std::string("\"") + kVcf + "=VCard - Business Card\",\"" +
                                             kLdif + "=LDIF - LDAP Data Interchange\",\"" + kAdo +
                                             "=ADO/OLE-DB/ODBC Database\",\"" + kHidden +
                                             "=Hidden\"");
  EXPECT_EQ(r.Processor.DialogFilterStr().find("Hidden"), std::string::npos);
}

TEST(DataImportProcessor, FilterIndexCountsDialogFormatsOnly) {
  TTestImportEngine noDialog, card;
  noDialog.Add(kHidden, "Hidden", ".h", false);
  card.Add(kVcf, "vCard", ".vcf");
  card.Add(kHidden, "Hidden too", ".h2", false);
  card.Add(kLdif, "LDIF", ".ldif");
  TDataImportProcessor p;
  p.RegisterEngine(&noDialog);
  p.RegisterEngine(&card);
  EXPECT_EQ(p.DialogFilterStr(), "vCard (*.vcf)|*.vcf|LDIF (*.ldif)|*.ldif");
  const std::pair<int32_t, Lookup> cases[] = {
      {0, {-1, -1}}, {1, {1, 0}}, {2, {1, 2}}, {3, {-1, -1}}, {-5, {-1, -1}}};
  for (const auto& [index, expected] : cases)
    EXPECT_EQ(ByFilter(p, index), expected) << index;
}

TEST(DataImportProcessor, GUIDAndFileLookupsTakeTheFirstHit) {
  TTestImportEngine second;  // registered later, serves .vcf as well
  Registry r;
  second.Add(kHidden, "Another vCard", ".vcf");
  second.Add(kVcf, "Duplicate GUID", ".dup");
  r.Processor.RegisterEngine(&second);

  EXPECT_EQ(ByGUID(r.Processor, kLdif), (Lookup{0, 1}));
  EXPECT_EQ(ByGUID(r.Processor, kVcf), (Lookup{0, 0}));
  EXPECT_EQ(ByGUID(r.Processor, "{e5ae2e16-7a13-452e-a077-94265e78c607}"), (Lookup{0, 0}));
  EXPECT_EQ(ByGUID(r.Processor, kHidden), (Lookup{2, 0}));
  EXPECT_EQ(ByGUID(r.Processor, "{00000000-0000-0000-0000-000000000000}"), (Lookup{-1, -1}));

  EXPECT_EQ(ByFile(r.Processor, "/in/Contacts.VCF", true), (Lookup{0, 0}));
  EXPECT_EQ(ByFile(r.Processor, "list.ldif", true), (Lookup{0, 1}));
  EXPECT_EQ(ByFile(r.Processor, "x.dup", true), (Lookup{2, 1}));
  EXPECT_EQ(ByFile(r.Processor, "DSN=crm", true), (Lookup{1, 0}));  // no extension: database
  EXPECT_EQ(ByFile(r.Processor, "table.csv", false), (Lookup{-1, -1}));
}

TEST(DataImportProcessor, UnRegisterMovesLaterEnginesDown) {
  TTestImportEngine third;
  Registry r;
  third.Add(kHidden, "Third", ".t");
  r.Processor.RegisterEngine(&third);
  r.Processor.RegisterEngine(&r.Card);  // no duplicate check
  ASSERT_EQ(r.Processor.Count(), 4);
  EXPECT_EQ(ByGUID(r.Processor, kHidden), (Lookup{2, 0}));

  r.Processor.UnRegisterEngine(&r.Database);
  EXPECT_EQ(r.Processor.Count(), 3);
  EXPECT_EQ(r.Processor.GetEngines(1).get(), static_cast<IDataImportEngine*>(&third));
  EXPECT_EQ(ByGUID(r.Processor, kHidden), (Lookup{1, 0}));

  TTestImportEngine stranger;
  r.Processor.UnRegisterEngine(&stranger);  // not registered: nothing happens
  EXPECT_EQ(r.Processor.Count(), 3);
  r.Processor.UnRegisterEngine(&r.Card);  // removes the first registration only
  EXPECT_EQ(r.Processor.Count(), 2);
  EXPECT_EQ(r.Processor.GetEngines(1).get(), static_cast<IDataImportEngine*>(&r.Card));
  r.Processor.Clear();
  EXPECT_EQ(r.Processor.Count(), 0);
  EXPECT_EQ(r.Card.RefCount(), 0);
}

TEST(DataImportProcessor, SetEngineParameterAndFieldAssignmentReachTheEngine) {
  Registry r;
  TStringList dest{"NAME=Name", "CITY=City"};
  r.Processor.SetEngineParameter(1, "DSN=crm", 0, dest);
  EXPECT_EQ(std::tuple(r.Database.GetInputFile(), r.Database.FormatIndex(),
                       r.Database.CurrentDestinationFields().Lines(), r.Card.ParametersSetCalls),
            std::tuple("DSN=crm", 0, dest.Lines(), 0));
  EXPECT_EQ(r.Database.Conditions, &r.Processor.FieldChangeConditions());
  EXPECT_THROW(r.Processor.SetEngineParameter(2, "x", 0, dest), EListError);
  r.Processor.SetFieldAssignment(1, TStringList{"NAME=Name", "CITY=Ort"});
  EXPECT_EQ(r.Database.Assignment, (std::vector<std::string>{"NAME=Name", "CITY=Ort"}));
}

TEST(DataImportProcessor, QueryFieldsReplacesTheListOrAbortsSilently) {
  Registry r;
  r.Card.QueryResult = {"N", "EMAIL"};
  TStringList dest{"old"};
  r.Processor.QueryFields(0, dest, false);
  EXPECT_EQ(dest.Lines(), (std::vector<std::string>{"N", "EMAIL"}));

  r.Card.FailInQuery = [] { throw Exception("unreadable"); };
  EXPECT_THROW(r.Processor.QueryFields(0, dest, false), EAbort);
  EXPECT_EQ(dest.Count(), 0);
}

TEST(DataImportProcessor, RunFilterTypeHandlerResolvesTheFilterIndex) {
  Registry r;
  r.Database.FilterAnswer = "Provider=SQLite;Data Source=crm.db";
  r.Database.FilterResult = true;
  std::string name = "stale";
  EXPECT_TRUE(r.Processor.RunFilterTypeHandler(3, name));
  EXPECT_EQ(name + "@" + std::to_string(r.Database.RunFilterFormat),
            "Provider=SQLite;Data Source=crm.db@0");

  r.Database.FilterResult = false;  // cancelled: the engine's name is not taken
  EXPECT_FALSE(r.Processor.RunFilterTypeHandler(3, name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(r.Processor.RunFilterTypeHandler(4, name));
}

TEST(DataImportProcessor, ExecuteRaisesEventsInRecordOrder) {
  Registry r;
  r.Database.Records = {{{"A", "1"}}, {{"A", "2"}}, {{"A", "3"}}};
  r.Database.SetParameter("DSN=x", 0, {}, nullptr);
  std::string log;
  int starts = 0;
  r.Processor.SetOnStartRecord([&](TDataImportProcessor* s, int32_t i, bool& abort) {
    EXPECT_EQ(s, &r.Processor);
    EXPECT_FALSE(abort);  // arrives false
    log += "S" + std::to_string(i);
    abort = ++starts == 3;  // stop at the third record
  });
  r.Processor.SetOnSetValue(
      [&](TDataImportProcessor*, std::string_view f, std::string_view v, TImportDataType, int32_t) {
        log += " " + std::string(f) + "=" + std::string(v) + " ";
      });
  r.Processor.SetOnPostRecord(
      [&](TDataImportProcessor*, int32_t i) { log += "P" + std::to_string(i) + ";"; });
  r.Processor.SetOnEngineMessage(
      [&](TDataImportProcessor*, int32_t i, std::string_view m, TImportMessageType t) {
        log += "M" + std::to_string(i) + ":" + std::to_string(t) + ":" + std::string(m);
      });
  EXPECT_TRUE(r.Processor.Execute(1, false));
  EXPECT_EQ(log, "S1 A=1 P1;S1 A=2 P1;S1M1:0:read 2");
  EXPECT_EQ(r.Database.RecordsRead, 2);
}

TEST(DataImportProcessor, HandlerExceptionsEndTheRunExceptInMessages) {
  Registry r;
  r.Card.Records = {{{"N", "x"}}, {{"N", "y"}}};
  r.Card.SetParameter("a.vcf", 0, {}, nullptr);
  std::vector<std::string> messages;
  r.Processor.SetOnEngineMessage(
      [&](TDataImportProcessor*, int32_t, std::string_view m, TImportMessageType) {
        messages.emplace_back(m);
        throw Exception("handler broke");  // swallowed
      });
  EXPECT_TRUE(r.Processor.Execute(0, false));
  EXPECT_EQ(messages, (std::vector<std::string>{"read 2"}));

  messages.clear();
  r.Processor.SetOnSetValue(
      [](TDataImportProcessor*, std::string_view, std::string_view v, TImportDataType, int32_t) {
        if (v == "y") throw EConvertError("'y' is not a valid date");
      });
  EXPECT_FALSE(r.Processor.Execute(0, false));
  EXPECT_EQ(messages, (std::vector<std::string>{"EConvertError: 'y' is not a valid date"}));
  EXPECT_EQ(r.Processor.RefCount(), 0);
}

TEST(DataImportProcessor, LoadEnginesFromCopiesAndOwnsNewInstances) {
  const int before = TTestImportEngine::Alive;
  {
    Registry source;
    source.Card.Records = {{{"N", "x"}}};
    {
      TDataImportProcessor copy;
      copy.LoadEnginesFrom(source.Processor);
      ASSERT_EQ(copy.Count(), 2);
      EXPECT_EQ(TTestImportEngine::Alive, before + 4);
      EXPECT_NE(copy.GetEngines(0).get(), static_cast<IDataImportEngine*>(&source.Card));
      EXPECT_EQ(copy.DialogFilterStr(), source.Processor.DialogFilterStr());
      // The copies run on their own, with their own parameters.
      int values = 0;
      copy.SetOnSetValue([&](TDataImportProcessor*, std::string_view, std::string_view,
                             TImportDataType, int32_t) { ++values; });
      copy.SetEngineParameter(0, "a.vcf", 0, TStringList{});
      EXPECT_TRUE(copy.Execute(0, false));
      EXPECT_EQ(values, 1);
      EXPECT_EQ(source.Card.GetInputFile(), "");
    }
    EXPECT_EQ(TTestImportEngine::Alive, before + 2);  // the copies died with their processor
  }
  EXPECT_EQ(TTestImportEngine::Alive, before);
}

TEST(DataImportProcessor, ExecuteByGUIDOnlyResolves) {
  Registry r;
  r.Card.Records = {{{"N", "x"}}};
  int starts = 0;
  r.Processor.SetOnStartRecord([&](TDataImportProcessor*, int32_t, bool&) { ++starts; });
  r.Processor.Execute(std::string_view(kVcf));
  EXPECT_EQ(starts, 0);
}

}  // namespace
}  // namespace vela::test
