#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/DataSet.h"
#include "rtl/MemDataSet.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

// A people table: id, name, city, born, rate, ok.
struct People : ::testing::Test {
  TMemDataSet Ds;
  People() {
    Ds.AddFieldDef("id", ftInteger, 0, true);
    Ds.AddFieldDef("name", ftString, 40);
    Ds.AddFieldDef("city", ftString, 40);
    Ds.AddFieldDef("born", ftDate);
    Ds.AddFieldDef("rate", ftFloat);
    Ds.AddFieldDef("ok", ftBoolean);
    Ds.Open();
    Add(1, "Müller", "Köln", "1980-02-29");
    Add(2, "Meier", "Berlin", "1975-01-01");
    Add(3, "müller", "Bonn", "");
    Add(4, "Schmidt", "Köln", "2001-12-31");
  }
  void Add(int id, const char* name, const char* city, const char* born) {
    Ds.Append();
    Ds.FieldByName("id").SetAsInteger(id);
    Ds.FieldByName("name").SetAsString(name);
    Ds.FieldByName("city").SetAsString(city);
    if (*born) Ds.FieldByName("born").SetAsString(born);
    Ds.Post();
  }
  // The ids in dataset order.
  std::vector<int> Ids() {
    std::vector<int> ids;
    for (Ds.First(); !Ds.Eof(); Ds.Next())
      ids.push_back(Ds.FieldByName("id").AsInteger());
    return ids;
  }
  int Id() { return Ds.FieldByName("id").AsInteger(); }
};

TEST_F(People, NavigationKeepsRecNoEofAndBof) {
  EXPECT_EQ(Ds.RecordCount(), 4);
  Ds.First();
  EXPECT_TRUE(Ds.Bof());
  EXPECT_EQ(Ds.RecNo(), 1);
  Ds.Next();
  Ds.Next();
  EXPECT_EQ(Ds.RecNo(), 3);
  EXPECT_FALSE(Ds.Bof());
  Ds.Last();
  EXPECT_TRUE(Ds.Eof());
  EXPECT_EQ(Id(), 4);
  Ds.Next();  // at the end: stays on the last record
  EXPECT_EQ(Id(), 4);
  Ds.Prior();
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(Ds.Eof());
  EXPECT_EQ(Ds.MoveBy(-5), -2);
  EXPECT_EQ(Id(), 1);
  Ds.Prior();
  EXPECT_TRUE(Ds.Bof());
  Ds.SetRecNo(2);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(RaisedText([&] { Ds.SetRecNo(9); }), "EDatabaseError: Record 9 not found");
  EXPECT_EQ(Id(), 2);
}

TEST_F(People, EditInsertDeleteAndCancel) {
  Ds.SetRecNo(2);
  Ds.Edit();
  EXPECT_EQ(Ds.State(), dsEdit);
  Ds.FieldByName("name").SetAsString("Maier");
  EXPECT_TRUE(Ds.Modified());
  Ds.Cancel();
  EXPECT_EQ(Ds.FieldByName("name").AsString(), "Meier");
  Ds.Edit();
  Ds.FieldByName("name").SetAsString("Maier");
  Ds.Next();  // moving posts
  EXPECT_EQ(Ds.State(), dsBrowse);
  Ds.SetRecNo(2);
  EXPECT_EQ(Ds.FieldByName("name").AsString(), "Maier");

  Ds.Insert();  // before record 2
  EXPECT_EQ(Ds.RecNo(), 0);
  EXPECT_TRUE(Ds.FieldByName("name").IsNull());
  Ds.FieldByName("id").SetAsInteger(9);
  Ds.Post();
  EXPECT_EQ(Ds.RecNo(), 2);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 9, 2, 3, 4}));

  Ds.SetRecNo(2);
  Ds.Delete();  // the next record takes the number
  EXPECT_EQ(Ds.RecNo(), 2);
  EXPECT_EQ(Id(), 2);
  Ds.Last();
  Ds.Delete();  // the last one: the new last record is current, at the end
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(Ds.Eof());
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3}));

  // Deleting in a loop that moves on otherwise visits every record once.
  Ds.First();
  while (!Ds.Eof())
    if (Id() != 2)
      Ds.Delete();
    else
      Ds.Next();
  EXPECT_EQ(Ids(), (std::vector<int>{2}));
}

TEST_F(People, StateErrorsAndConversions) {
  auto& name = Ds.FieldByName("name");
  EXPECT_EQ(RaisedText([&] { name.SetAsString("x"); }),
            "EDatabaseError: Dataset not in edit or insert mode");
  EXPECT_EQ(RaisedText([&] { Ds.FieldByName("nope"); }), "EDatabaseError: Field 'nope' not found");
  EXPECT_EQ(Ds.FindField("NAME"), &name);
  Ds.Append();
  EXPECT_EQ(RaisedText([&] { Ds.Post(); }), "EDatabaseError: Field 'id' must have a value");
  EXPECT_EQ(RaisedText([&] { Ds.FieldByName("id").SetAsString("one"); }),
            "EDatabaseError: Invalid value for field 'id': 'one' is not a valid integer value");
  Ds.FieldByName("id").SetAsString(" 12 ");
  Ds.FieldByName("rate").SetAsString("2.5");
  Ds.FieldByName("ok").SetAsString("true");
  Ds.FieldByName("born").SetValue(Variant("2024-02-29 13:45:00"));
  name.SetReadOnly(true);
  EXPECT_EQ(RaisedText([&] { name.SetAsString("x"); }),
            "EDatabaseError: Field 'name' cannot be modified");
  Ds.Post();
  EXPECT_EQ(Ds.FieldByName("id").Value().kind(), Variant::Kind::Int32);
  EXPECT_EQ(Ds.FieldByName("id").AsLargeInt(), 12);
  EXPECT_DOUBLE_EQ(Ds.FieldByName("rate").AsFloat(), 2.5);
  EXPECT_TRUE(Ds.FieldByName("ok").AsBoolean());
  EXPECT_DOUBLE_EQ(Ds.FieldByName("born").AsDateTime(), EncodeDateTime(2024, 2, 29, 13, 45, 0, 0));
  Ds.Close();
  EXPECT_EQ(RaisedText([&] { Ds.First(); }),
            "EDatabaseError: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(RaisedText([&] { Ds.AddFieldDef("x", ftString); }), "<no exception>");
  Ds.Open();  // records are dropped on Close by default
  EXPECT_TRUE(Ds.IsEmpty());
  EXPECT_EQ(Ds.FieldCount(), 7);
}

TEST_F(People, LocateBySeveralFieldsAndOptions) {
  const struct {
    const char* Fields;
    std::vector<Variant> Values;
    TLocateOptions Options;
    int Id;  // 0: not found
  } cases[] = {
      {"name", {"müller"}, 0, 3},
      {"name", {"MÜLLER"}, loCaseInsensitive, 1},
      {"name", {"MÜL"}, loCaseInsensitive, 0},
      {"name", {"Mü"}, loPartialKey, 1},
      {"name;city", {"müller", "Köln"}, loCaseInsensitive, 1},
      {"name; city", {"MÜLLER", "bonn"}, loCaseInsensitive, 3},
      {"city;id", {"Köln", "4"}, 0, 4},
      {"city;id", {"Köln", 5}, 0, 0},
      {"born", {Null()}, 0, 3},
      {"born", {Variant::FromDateTime(EncodeDate(1975, 1, 1))}, 0, 2},
      {"born", {"2001-12-31"}, 0, 4},
  };
  for (const auto& c : cases) {
    Ds.SetRecNo(2);
    bool found = Ds.Locate(c.Fields, c.Values, c.Options);
    EXPECT_EQ(found, c.Id != 0) << c.Fields << " " << VarToStr(c.Values[0]);
    EXPECT_EQ(Id(), c.Id ? c.Id : 2) << c.Fields << " " << VarToStr(c.Values[0]);
  }
  EXPECT_EQ(RaisedText([&] { Ds.Locate("name;city", {"x"}); }),
            "EDatabaseError: Locate needs one value per key field: 2 fields, 1 values");
}

TEST(MemDataSet, NestedRowsFollowTheOwnerRecord) {
  TMemDataSet orders;
  orders.AddFieldDef("no", ftInteger);
  TMemDataSet& items = orders.AddNestedDataSet("items");
  items.AddFieldDef("article", ftString, 20);
  orders.Open();
  TField& itemsField = orders.FieldByName("items");
  EXPECT_EQ(itemsField.DataType(), ftDataSet);
  EXPECT_EQ(itemsField.NestedDataSet(), &items);
  EXPECT_TRUE(items.Active());
  for (int no = 1; no <= 3; ++no) {
    orders.Append();
    orders.FieldByName("no").SetAsInteger(no);
    orders.Post();
    for (int k = 0; k < no; ++k) {  // order n gets n items
      items.Append();
      items.FieldByName("article").SetAsString("A" + std::to_string(no) + std::to_string(k));
      items.Post();
    }
  }
  std::vector<std::string> seen;
  for (orders.First(); !orders.Eof(); orders.Next())
    for (items.First(); !items.Eof(); items.Next())
      seen.push_back(items.FieldByName("article").AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"A10", "A20", "A21", "A30", "A31", "A32"}));
  orders.Append();  // a new owner record has no rows yet
  EXPECT_TRUE(items.IsEmpty());
  orders.Cancel();
  orders.SetRecNo(2);
  orders.Delete();  // the rows go with their record
  EXPECT_EQ(items.RecordCount(), 3);
  EXPECT_EQ(items.FieldByName("article").AsString(), "A30");
}

TEST(DataSetParams, FoundByNameWithTypesFromValues) {
  TParams params;
  params.CreateParam("Id");
  params.CreateParam("since", ftDateTime);
  params.ParamByName("ID").SetValue(Variant(int64_t{7}));
  EXPECT_EQ(params.Count(), 2);
  EXPECT_EQ(params.Items(0).DataType(), ftLargeint);
  EXPECT_TRUE(params.ParamByName("since").IsNull());
  params.ParamByName("since").SetValue(Variant("x"));
  EXPECT_EQ(params.ParamByName("since").DataType(), ftDateTime);
  EXPECT_EQ(RaisedText([&] { params.ParamByName("x"); }),
            "EDatabaseError: Parameter 'x' not found");
}

TEST(DataSetParams, ParsedFromSQLOutsideQuotesAndComments) {
  std::vector<std::string> names;
  std::string sql = ParseSQLParams(
      "SELECT a::text, ':no', \":no\" FROM t -- :no\n WHERE a = :Id /* :no */ AND b > :since_1 OR "
      "c = :Id",
      names, [](int n) { return "$" + std::to_string(n); });
  EXPECT_EQ(sql,
            "SELECT a::text, ':no', \":no\" FROM t -- :no\n WHERE a = $1 /* :no */ AND b > $2 OR "
            "c = $3");
  EXPECT_EQ(names, (std::vector<std::string>{"Id", "since_1", "Id"}));
}

// A detail whose records are computed from its parameter, counting its openings.
class TSquares : public TMemDataSet {
 public:
  int Opened = 0;
  TSquares() {
    AddFieldDef("v", ftInteger);
    Params().CreateParam("n");
  }

 protected:
  void InternalOpen() override {
    TMemDataSet::InternalOpen();
    ++Opened;
  }
  void ParamsChanged() override { Filled = false; }
  void RecordChanged() override {
    if (Filled || !Active()) return;
    Filled = true;
    const Variant& n = Params().ParamByName("n").Value();
    for (int i = 1; !n.IsNull() && i <= n.AsInteger(); ++i) {
      Append();
      Fields(0).SetAsInteger(i * i);
      Post();
    }
  }
  bool Filled = false;
};

TEST(DataSetMasterDetail, ParametersFollowTheMasterRecord) {
  TMemDataSet master;
  master.AddFieldDef("N", ftInteger);
  master.Open();
  for (int n : {2, 3}) {
    master.Append();
    master.Fields(0).SetAsInteger(n);
    master.Post();
  }
  TSquares detail;
  detail.SetMaster(&master);
  master.First();
  detail.Open();  // takes the parameter at once
  EXPECT_EQ(detail.Params().ParamByName("n").AsString(), "2");
  EXPECT_EQ(detail.RecordCount(), 2);
  master.Next();
  EXPECT_EQ(detail.RecordCount(), 3);
  detail.Last();
  EXPECT_EQ(detail.Fields(0).AsInteger(), 9);
  int opened = detail.Opened;
  master.Close();  // without a master record the parameter is Null
  EXPECT_TRUE(detail.Params().ParamByName("n").IsNull());
  EXPECT_EQ(detail.Opened, opened + 1);
  EXPECT_TRUE(detail.IsEmpty());
  EXPECT_EQ(RaisedText([&] { master.SetMaster(&detail); }),
            "EDatabaseError: Circular master-detail link");
}

}  // namespace
}  // namespace vela
