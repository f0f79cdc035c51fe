#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/DateUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

using Lines = std::vector<std::string>;

Lines SectionValues(const TMemIniFile& ini, std::string_view section) {
  TStringList list;
  ini.ReadSectionValues(section, list);
  return list.Lines();
}

using IniFiles = TempFolderTest;

constexpr std::string_view kSample =
    "orphan=outside any section\r\n"
    "; comment\r\n"
    "[Main]\r\n"
    "  Name  =  some value with  inner  blanks  \r\n"
    "   ;indented comment\r\n"
    "key=first\n"
    "KEY=second\n"
    "novalue\n"
    "\n"
    "Empty=\n"
    "eq = a=b\n"
    "[ Other ]\r"
    "n=1\r";

TEST(MemIniFile, ParsesLinesLikeTheRuntime) {
  TMemIniFile ini;
  ini.SetText(kSample);
  EXPECT_EQ((Lines{ini.ReadString("main", "name", "?"), ini.ReadString("MAIN", "Key", "?"),
                   ini.ReadString("Main", "empty", "?"), ini.ReadString("Main", "missing", "def"),
                   ini.ReadString("Main", "orphan", "def"), ini.ReadString("Main", "eq", "?"),
                   ini.ReadString("other", "N", "?")}),
            (Lines{"some value with  inner  blanks", "first", "", "def", "def", "a=b", "1"}));
  EXPECT_EQ(SectionValues(ini, "main"), (Lines{"Name=some value with  inner  blanks", "key=first",
                                               "KEY=second", "novalue", "Empty=", "eq=a=b"}));
  TStringList names;
  ini.ReadSection("Main", names);
  EXPECT_EQ(names.Lines(), (Lines{"Name", "key", "KEY", "", "Empty", "eq"}));
  ini.ReadSections(names);
  EXPECT_EQ(names.Lines(), (Lines{"Main", "Other"}));
  EXPECT_TRUE(ini.ValueExists("main", "EMPTY"));
  EXPECT_FALSE(ini.ValueExists("main", "novalue") || ini.ValueExists("nosection", "x"));
}

TEST(MemIniFile, TypedReadsFallBackToDefaults) {
  TMemIniFile ini;
  ini.SetText(
      "[S]\nint=42\nneg= -7 \nhex=0x1F\ndollar=$10\nbad=12a\nt=1\nf=0\nword=True\n"
      "float=2.5\nbadfloat=2,5\ndate=2024/02/29 13:45:00\nbaddate=someday\n");
  EXPECT_EQ((std::vector<int>{ini.ReadInteger("s", "int", 0), ini.ReadInteger("s", "neg", 0),
                              ini.ReadInteger("s", "hex", 0), ini.ReadInteger("s", "dollar", 0),
                              ini.ReadInteger("s", "bad", -1), ini.ReadInteger("s", "missing", 5)}),
            (std::vector<int>{42, -7, 31, 16, -1, 5}));
  // Only integers count as booleans ("word" is "True").
  EXPECT_EQ((std::vector<bool>{ini.ReadBool("s", "t", false), ini.ReadBool("s", "f", true),
                               ini.ReadBool("s", "int", false), ini.ReadBool("s", "word", false),
                               ini.ReadBool("s", "missing", true)}),
            (std::vector<bool>{true, false, true, false, true}));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "float", 0), 2.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "badfloat", -1), -1);
  EXPECT_DOUBLE_EQ(ini.ReadDateTime("s", "date", 0),
                   EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 0, 0));
  EXPECT_DOUBLE_EQ(ini.ReadDateTime("s", "baddate", 1.5), 1.5);
}

TEST(MemIniFile, WritesEditAndEraseInPlace) {
  TMemIniFile ini;
  ini.SetText("[A]\nx=1\nX=2\ny=3\n[B]\nz=4\n[Empty]\n");
  ini.WriteString("a", "X", "changed");  // first duplicate, keeps its position
  ini.WriteInteger("a", "n", -12);
  ini.WriteBool("A", "flag", true);
  ini.WriteFloat("A", "f", 0.25);
  ini.WriteString("New", "k", " v ");
  EXPECT_EQ(SectionValues(ini, "A"),
            (Lines{"X=changed", "X=2", "y=3", "n=-12", "flag=1", "f=0.25"}));
  EXPECT_EQ(ini.ReadString("new", "k", ""), " v ");
  EXPECT_FALSE(ini.SectionExists("Empty"));  // no lines: counts as missing
  EXPECT_TRUE(ini.SectionExists("b"));
  ini.DeleteKey("A", "x");
  EXPECT_EQ(ini.ReadString("A", "x", "?"), "2");
  ini.EraseSection("b");
  EXPECT_FALSE(ini.SectionExists("B"));
  TStringList all;
  ini.GetStrings(all);
  EXPECT_EQ(all.Lines(), (Lines{"[A]", "X=2", "y=3", "n=-12", "flag=1", "f=0.25", "", "[Empty]", "",
                                "[New]", "k= v ", ""}));
}

TEST(MemIniFile, DuplicateSectionsFirstWins) {
  TMemIniFile ini;
  ini.SetText("[S]\na=1\n[s]\na=2\nb=3\n");
  EXPECT_EQ(ini.ReadString("S", "a", "") + ini.ReadString("S", "b", "none"), "1none");
  TStringList sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections.Count(), 2);
}

TEST_F(IniFiles, Utf8BomAnd8BitFiles) {
  Write("bom.ini", "\xEF\xBB\xBF[Sec]\r\nName=Grüße\r\n");
  TMemIniFile withBom(Path("bom.ini"));
  withBom.WriteString("Sec", "added", "€");
  withBom.UpdateFile();
  EXPECT_EQ(Read("bom.ini"), "\xEF\xBB\xBF[Sec]\r\nName=Grüße\r\nadded=€\r\n\r\n");

  Write("latin.ini", "[Sec]\nName=Gr\xFC\xDF\x65\n");  // Windows-1252
  TMemIniFile eightBit(Path("latin.ini"));
  eightBit.UpdateFile();  // written back as UTF-8 without BOM
  EXPECT_EQ(Read("latin.ini"), "[Sec]\r\nName=Grüße\r\n\r\n");
}

TEST_F(IniFiles, UpdateFileRoundTripAndRename) {
  const std::string name = Path("round.ini");
  {
    TMemIniFile ini(name);  // missing file: empty
    ini.WriteString("One", "a", "1");
    ini.WriteString("Two", "b", "x = y");
    ini.UpdateFile();
  }
  TMemIniFile again(name);
  EXPECT_EQ(again.ReadString("one", "A", "") + "|" + again.ReadString("two", "b", ""), "1|x = y");
  again.WriteString("Two", "c", "3");
  EXPECT_EQ(TMemIniFile(name).ReadString("Two", "c", "unsaved"), "unsaved");

  const std::string other = Path("other.ini");
  Write("other.ini", "[Z]\nz=26\n");
  again.Rename(other, false);
  EXPECT_EQ(again.ReadString("Two", "c", ""), "3");
  again.Rename(other, true);
  EXPECT_EQ(again.ReadString("Two", "c", "gone"), "gone");
  EXPECT_EQ(again.ReadInteger("z", "Z", 0), 26);
  again.Rename(Path("none.ini"), true);
  EXPECT_FALSE(again.SectionExists("Z"));
}

TEST_F(IniFiles, IniFileWritesThrough) {
  const std::string name = Path("sub/dir/settings.ini");
  TIniFile ini(name);
  ini.WriteInteger("Run", "Count", 3);
  EXPECT_EQ(Read("sub/dir/settings.ini"), "[Run]\r\nCount=3\r\n\r\n");
  TIniFile second(name);
  second.WriteString("Run", "Who", "second");
  // The first object sees the other's change before its own read and write.
  EXPECT_EQ(ini.ReadString("Run", "Who", ""), "second");
  ini.DeleteKey("run", "count");
  TMemIniFile after(name);
  EXPECT_EQ(after.ReadString("Run", "Count", "deleted") + after.ReadString("Run", "Who", ""),
            "deletedsecond");
  ini.EraseSection("RUN");
  EXPECT_EQ(Read("sub/dir/settings.ini"), "");
}

}  // namespace
}  // namespace vela
