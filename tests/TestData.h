// Files for tests: the paths of the test data files inside the repository, where a missing file
// is a test failure that names it (so the code under test never runs into an absent input
// unannounced), and temporary folders for the files a test writes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vela::test {

// Success when path names an existing file; the failure message names the path.
inline ::testing::AssertionResult DataFileExists(const std::string& path) {
  if (std::filesystem::is_regular_file(path)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing test data file: " << path;
}

// folder + "/" + relative; reports a failure when that file is missing.
inline std::string ExistingFile(std::string_view folder, std::string_view relative) {
  std::string path = std::string(folder) + "/" + std::string(relative);
  EXPECT_TRUE(DataFileExists(path));
  return path;
}

// A file of our own below tests/data.
inline std::string DataFile(std::string_view relative) {
  return ExistingFile(VELA_TEST_DATA_DIR, relative);
}

// A public sample below tests/data/samples.
inline std::string SampleFile(std::string_view relative) {
  return ExistingFile(VELA_SAMPLES_DIR, relative);
}

// A fresh folder below the system's temporary folder, removed with the object.
struct TTempDir {
  std::filesystem::path Path;
  explicit TTempDir(std::string_view Name) {
    Path = std::filesystem::temp_directory_path() /
           (std::string(Name) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string File(std::string_view Name) const { return (Path / Name).string(); }
  // Writes Text as the file Name; its path.
  std::string Write(std::string_view Name, std::string_view Text) const {
    std::ofstream(File(Name), std::ios::binary) << Text;
    return File(Name);
  }
};

}  // namespace vela::test

// Ends the test at once when the file is missing, before anything reads it.
#define ASSERT_DATA_FILE(path) ASSERT_TRUE(::vela::test::DataFileExists(path))
