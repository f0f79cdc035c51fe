// Paths of the test data files inside the repository. A missing file is a test failure that
// names the file, so the code under test never runs into an absent input unannounced.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace vela::test

// Ends the test at once when the file is missing, before anything reads it.
#define ASSERT_DATA_FILE(path) ASSERT_TRUE(::vela::test::DataFileExists(path))
