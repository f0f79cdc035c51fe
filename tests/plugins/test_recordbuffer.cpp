// The record buffer's value conversion per database type, its field lookup and assignment, the
// message counters, and the import object's key field list.
#include <gtest/gtest.h>

#include "ImportTestSupport.h"
#include "rtl/DateUtils.h"

namespace vela::test {
namespace {

class RecordBufferTest : public ImportTest {
 protected:
  // Prepares the buffer as a run does: destination schema and one assignment per field.
  TRecordBuffer& Buffer(const std::vector<std::string>& assignments) {
    TRecordBuffer& rb = FObj->RecordBuffer();
    rb.Clear();
    rb.FieldAssignments().Clear();
    rb.FieldAssignments().AddStrings(assignments);
    rb.SetDestSchema(Db().GetSchemaByName("person"));
    rb.OnProgressMessage = [this](TImportObject*, TImportMessageType t, const std::string& m) {
      FMessages.push_back({t, m});
    };
    return rb;
  }
  std::vector<TMsg> FMessages;
};

struct TConvCase {
  const char* DbField;
  const char* Text;
  TImportDataType DataType;
  Variant Expected;  // Null: a cast error
};

TEST_P(RecordBufferTest, DataBaseValueByFieldAndDeclaredType) {
  const TDateTime d = EncodeDate(2024, 3, 5);
  const TDateTime t = EncodeTime(6, 30, 0, 0);
  const std::vector<TConvCase> cases = {
      {"age", "", idtText, Variant(0)},
      {"age", "1,234,567", idtText, Variant(int64_t{1234567})},
      {"age", "-12", idtInteger, Variant(int64_t{-12})},
      {"age", "2.5", idtFloat, Variant(int64_t{2})},  // rounded half to even
      {"age", "3.5", idtFloat, Variant(int64_t{4})},
      {"age", "2024/03/05", idtDate, Variant::MakeNull()},
      {"age", "06:30", idtTime, Variant::MakeNull()},
      {"age", "12", idtDateTime, Variant::MakeNull()},
      {"age", "x", idtText, Variant::MakeNull()},
      {"amount", "", idtText, Variant(0.0)},
      {"amount", "1.25", idtFloat, Variant(1.25)},
      {"amount", "7", idtInteger, Variant(int64_t{7})},
      {"amount", "2024/03/05", idtDate, Variant(d)},
      {"birthday", "", idtText, Variant::FromDateTime(DateOf(MinDateTime))},
      {"birthday", "2024/03/05 06:30", idtText, Variant::FromDateTime(d)},
      {"birthday", "2024/03/05", idtDate, Variant::FromDateTime(d)},
      {"birthday", "2024/03/05 06:30", idtDate, Variant::FromDateTime(d)},  // date part
      {"birthday", "45356", idtInteger, Variant::FromDateTime(45356)},
      {"alarm", "", idtText, Variant::FromDateTime(0)},
      {"alarm", "06:30", idtText, Variant::FromDateTime(t)},
      {"stamp", "", idtText, Variant::FromDateTime(MinDateTime)},
      {"stamp", "2024/03/05 06:30", idtDateTime, Variant::FromDateTime(d + t)},
      {"stamp", "2024/03/05 06:30", idtDate, Variant::FromDateTime(d + t)},  // time kept
      {"stamp", "2024/03/05", idtDate, Variant::FromDateTime(d)},
      {"stamp", "06:30", idtDate, Variant::MakeNull()},
      {"stamp", "0.25", idtFloat, Variant::FromDateTime(0.25)},
      {"stamp", "x", idtDateTime, Variant::MakeNull()},
      {"name", "", idtText, Variant(std::string())},
      {"name", " as is ", idtInteger, Variant(std::string(" as is "))},
  };
  for (const TConvCase& c : cases) {
    SCOPED_TRACE(std::string(c.DbField) + " <- '" + c.Text + "'");
    TRecordBuffer& rb = Buffer({std::string(c.DbField) + "=F"});
    FMessages.clear();
    rb.AddField("F", c.Text, true, c.DataType);
    TFieldData* fd = rb.GetFieldData("f");  // case-insensitive lookup
    ASSERT_TRUE(fd->FieldIsAssigned());
    Variant v = fd->DataBaseValue();
    if (c.Expected.IsNull()) {
      EXPECT_TRUE(v.IsNull());
      EXPECT_TRUE(fd->LastWasCastError());
      ASSERT_EQ(FMessages.size(), 1u);
      EXPECT_EQ(FMessages[0].Type, imtError);
      EXPECT_EQ(FMessages[0].Text.rfind("Cant't convert value '" + std::string(c.Text) + "'", 0),
                0u);
    } else {
      EXPECT_FALSE(fd->LastWasCastError());
      EXPECT_TRUE(FMessages.empty());
      EXPECT_EQ(v.kind(), c.Expected.kind());
      EXPECT_TRUE(v == c.Expected) << VarToStr(v);
    }
    // The number or date an engine parsed the text into converts alike.
    TImportParsedValue parsed;
    if ((c.DataType == idtInteger && TryStrToInt64(c.Text, parsed.Int)) ||
        (c.DataType == idtFloat && TryStrToFloat(c.Text, parsed.Number)) ||
        (c.DataType == idtDate && TryStrToDate(c.Text, parsed.Number))) {
      rb.AddField("F", c.Text, true, c.DataType, &parsed);
      const Variant p = fd->DataBaseValue();
      EXPECT_EQ(p.kind(), v.kind());
      EXPECT_TRUE(p.IsNull() || p == v) << VarToStr(p);
    }
  }
}

TEST_P(RecordBufferTest, AssignmentMatchesImportFieldExactly) {
  TRecordBuffer& rb = Buffer({"name=Src", "note=src", "age=Src"});
  rb.AddField("src", "x", true, idtText);
  rb.AddField("Other", "y", true, idtText);
  EXPECT_EQ(rb.GetFieldData("src")->DataBaseField(), "note");
  EXPECT_EQ(rb.GetFieldData("src")->DataBaseFieldType(), ftString);
  EXPECT_FALSE(rb.GetFieldData("Other")->FieldIsAssigned());
  EXPECT_EQ(rb.GetFieldData("Other")->DataBaseField(), "");
  rb.ClearValues();
  EXPECT_EQ(rb.Count(), 2);
  EXPECT_FALSE(rb.GetFields(0)->HasValue());
  EXPECT_EQ(rb.GetFields(0)->Value(), "");
}

TEST_P(RecordBufferTest, MessageCountersAndAbortFlag) {
  TRecordBuffer& rb = Buffer({});
  FImport->Set_AbortOnError(true);
  rb.DoMessage("w", imtWarning);
  EXPECT_FALSE(rb.AbortImport());
  rb.DoMessage("e", imtError);
  EXPECT_TRUE(rb.AbortImport());
  rb.DoMessage("e2", imtError);
  EXPECT_EQ(rb.MessageCounts()[imtError], 3);  // two errors and the abort message
  EXPECT_EQ(rb.RecordMessageCounts()[imtWarning], 1);
  rb.ClearRecordMessages();
  EXPECT_EQ(rb.RecordMessageCounts()[imtError], 0);
  EXPECT_EQ(rb.MessageCounts()[imtError], 3);
  ASSERT_EQ(FMessages.size(), 4u);
  EXPECT_EQ(FMessages[2].Text, "Import canceled because of previous error!");
}

TEST_P(RecordBufferTest, KeyFieldsAreCopied) {
  FImport->Set_KeyFields(NewStringListData({"a", "b"}));
  FImport->Get_KeyFields()->Add("c");  // a copy
  EXPECT_EQ(FImport->Get_KeyFields()->Get_Count(), 2);
}

VELA_INSTANTIATE_DB_TEST(RecordBufferTest);

}  // namespace
}  // namespace vela::test
