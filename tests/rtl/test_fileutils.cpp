#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

using Names = std::vector<std::string>;

struct NameCase {
  const char* name;
  const char* path;
  const char* file;
  const char* ext;
  const char* dir;
};

TEST(FileNames, SplitLikeTheRuntime) {
  const NameCase cases[] = {
      {"/a/b/c.txt", "/a/b/", "c.txt", ".txt", "/a/b"},
      {"c.tar.gz", "", "c.tar.gz", ".gz", ""},
      {"/c.txt", "/", "c.txt", ".txt", "/"},
      {"dir.d/file", "dir.d/", "file", "", "dir.d"},
      {"a//b", "a//", "b", "", "a//"},
      {".profile", "", ".profile", ".profile", ""},
      {"/a/b/", "/a/b/", "", "", "/a/b"},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
    EXPECT_EQ(ExtractFileDir(c.name), c.dir) << c.name;
  }
}

TEST(FileNames, ChangeExtAndDelimiters) {
  EXPECT_EQ(ChangeFileExt("/x/a.txt", ".ini"), "/x/a.ini");
  EXPECT_EQ(ChangeFileExt("/x.d/a", ".ini"), "/x.d/a.ini");
  EXPECT_EQ(ChangeFileExt("a.b.c", ""), "a.b");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/x"), "/x/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/x/"), "/x/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/x/"), "/x");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/x"), "/x");
  EXPECT_EQ(NormalizePathDelims("custom\\plugins\\a.vxp"), "custom/plugins/a.vxp");
}

TEST(FileNames, ConvertToFileName) {
  EXPECT_EQ(ConvertToFileName("a<b>c:d\"e/f\\g|h?i*j\tk"), "a_b_c_d_e_f_g_h_i_j_k");
  EXPECT_EQ(ConvertToFileName("Grüße.store"), "Grüße.store");
  const std::string longAscii(300, 'x');
  EXPECT_EQ(ConvertToFileName(longAscii), std::string(260, 'x'));
  std::string longUmlauts;
  for (int i = 0; i < 300; ++i)
    longUmlauts += "ä";
  EXPECT_EQ(ConvertToFileName(longUmlauts), longUmlauts.substr(0, 520));  // 260 characters
}

TEST(FileNames, MasksIgnoreCase) {
  struct {
    const char* name;
    const char* mask;
    bool match;
  } const cases[] = {
      {"Plugin.VXP", "*.vxp", true},
      {"plugin.vxp.bak", "*.vxp", false},
      {"a.tic", "?.tic", true},
      {"ab.tic", "?.tic", false},
      {"noext", "*.*", true},
      {"abcabd", "*abd", true},
      {"x", "", true},
      {"ä.txt", "?.txt", true},
      {"data", "d*a*", true},
      {"dat", "d*a?t", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " " << c.mask;
}

using FileSystem = TempFolderTest;

TEST_F(FileSystem, ExistenceCreationAndRemoval) {
  EXPECT_TRUE(DirectoryExists(FDir));
  EXPECT_FALSE(FileExists(FDir));
  EXPECT_TRUE(ForceDirectories(Path("a/b/c/")));
  EXPECT_TRUE(DirectoryExists(Path("a/b/c")));
  Write("a/f.txt", "12345");
  EXPECT_FALSE(ForceDirectories(Path("a/f.txt/sub")));
  EXPECT_TRUE(FileExists(Path("a/f.txt")));
  EXPECT_EQ(FileSize(Path("a/f.txt")), 5);
  EXPECT_EQ(FileSize(Path("a/none")), -1);
  EXPECT_TRUE(RenameFile(Path("a/f.txt"), Path("a/g.txt")));
  Write("a/h.txt");
  EXPECT_FALSE(RenameFile(Path("a/g.txt"), Path("a/h.txt")));  // does not replace
  EXPECT_TRUE(DeleteFile(Path("a/g.txt")));
  EXPECT_FALSE(DeleteFile(Path("a/g.txt")));
}

TEST_F(FileSystem, TempFilesAreNewAndInTheFolder) {
  const std::string a = GetTempFileName(FDir, "imp");
  const std::string b = GetTempFileName(FDir, "imp");
  EXPECT_NE(a, b);
  EXPECT_EQ(ExtractFilePath(a), FDir + "/");
  EXPECT_EQ(ExtractFileName(a).substr(0, 3), "imp");
  EXPECT_EQ(ExtractFileExt(a), ".tmp");
  EXPECT_EQ(FileSize(a), 0);
  const std::string sub = CreateTempFolder(FDir, "sub");
  EXPECT_TRUE(DirectoryExists(sub));
  EXPECT_THROW(GetTempFileName(Path("missing"), "x"), EInOutError);
}

TEST_F(FileSystem, GetFileListFiltersByMaskAndAttributes) {
  Write("b.VXP");
  Write("a.vxp");
  Write("c.txt");
  Write(".hidden.vxp");
  ForceDirectories(Path("dir.vxp"));
  // Every attribute but directories, hidden files included.
  EXPECT_EQ(GetFileList(FDir, "*.vxp"), (Names{".hidden.vxp", "a.vxp", "b.VXP"}));
  EXPECT_EQ(GetFileList(FDir, "*.vxp", faNormal | faArchive), (Names{"a.vxp", "b.VXP"}));
  EXPECT_EQ(GetFileList(FDir, "*.vxp", faAnyFile),
            (Names{".hidden.vxp", "a.vxp", "b.VXP", "dir.vxp"}));
  EXPECT_EQ(GetFileList(FDir, "*", faDirectory), (Names{"dir.vxp"}));
  EXPECT_EQ(GetFileList(FDir, "*.*", faNormal), (Names{"a.vxp", "b.VXP", "c.txt"}));
  EXPECT_TRUE(GetFileList(Path("missing"), "*").empty());
}

TEST(AppFolder, ExpandAppMacro) {
  const std::string saved = GetApplicationFolder();
  EXPECT_NE(saved.back(), '/');
  SetApplicationFolder("/opt/vela/");
  EXPECT_EQ(ExpandAppMacro("$APP$\\custom"), "/opt/vela/custom");
  EXPECT_EQ(ExpandAppMacro("$app$/a;$App$\\b"), "/opt/vela/a;/opt/vela/b");
  EXPECT_EQ(ExpandAppMacro("/no/macro"), "/no/macro");
  EXPECT_EQ(ExpandAppMacro("$APP"), "$APP");
  SetApplicationFolder(saved);
}

}  // namespace
}  // namespace vela
