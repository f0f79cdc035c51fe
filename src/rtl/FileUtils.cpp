#include "rtl/FileUtils.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "rtl/Exceptions.h"

namespace vela {

namespace {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

inline bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Position of the last delimiter or, with withDot, the last '.' or delimiter; npos when none.
size_t LastDelimiter(std::string_view s, bool withDot) {
  for (size_t i = s.size(); i-- > 0;) {
    if (s[i] == PathDelim || (withDot && s[i] == '.')) return i;
  }
  return std::string_view::npos;
}

std::mutex gAppFolderLock;
std::string gAppFolder;  // empty until first asked for or set

std::string ExecutableFolder() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) {
    char* cwd = ::getcwd(nullptr, 0);
    std::string result = cwd ? cwd : ".";
    std::free(cwd);
    return result;
  }
  buf.resize(static_cast<size_t>(n));
  return ExtractFileDir(buf);
}

std::string TempBase(const std::string& folder, std::string_view prefix) {
  std::string dir = folder.empty() ? GetTempDirectory() : folder;
  return IncludeTrailingPathDelimiter(dir) + std::string(prefix);
}

}  // namespace

std::string ExtractFilePath(std::string_view fileName) {
  const size_t i = LastDelimiter(fileName, false);
  return i == std::string_view::npos ? std::string() : std::string(fileName.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view fileName) {
  const size_t i = LastDelimiter(fileName, false);
  return std::string(i == std::string_view::npos ? fileName : fileName.substr(i + 1));
}

std::string ExtractFileExt(std::string_view fileName) {
  const size_t i = LastDelimiter(fileName, true);
  if (i == std::string_view::npos || fileName[i] != '.') return {};
  return std::string(fileName.substr(i));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  size_t i = LastDelimiter(fileName, true);
  if (i == std::string_view::npos || fileName[i] != '.') i = fileName.size();
  std::string result(fileName.substr(0, i));
  result.append(extension);
  return result;
}

std::string ExtractFileDir(std::string_view fileName) {
  const size_t i = LastDelimiter(fileName, false);
  if (i == std::string_view::npos) return {};
  // Keep the root's delimiter and doubled delimiters; drop a single trailing one.
  if (i > 0 && fileName[i - 1] != PathDelim) return std::string(fileName.substr(0, i));
  return std::string(fileName.substr(0, i + 1));
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != PathDelim) result.push_back(PathDelim);
  return result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  if (!result.empty() && result.back() == PathDelim) result.pop_back();
  return result;
}

std::string NormalizePathDelims(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', PathDelim);
  return result;
}

std::string ConvertToFileName(std::string_view name) {
  constexpr size_t kMaxChars = 260;
  std::string result;
  result.reserve(std::min(name.size(), kMaxChars * 4));
  size_t chars = 0;
  for (char c : name) {
    if (!IsUtf8Continuation(c)) {
      if (chars == kMaxChars) break;
      ++chars;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || std::strchr("\\/:*?\"<>|", c) != nullptr)
      result.push_back('_');
    else
      result.push_back(c);
  }
  return result;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask.empty() || mask == "*" || mask == "*.*") return true;
  // Greedy matching with one backtrack point for the last '*'.
  size_t n = 0, m = 0;
  size_t starMask = std::string_view::npos, starName = 0;
  auto nextChar = [&](size_t i) {  // index after the UTF-8 character at i
    ++i;
    while (i < name.size() && IsUtf8Continuation(name[i]))
      ++i;
    return i;
  };
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      n = nextChar(n);
    } else if (m < mask.size() && AsciiLower(mask[m]) == AsciiLower(name[n])) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = starName = nextChar(starName);
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*')
    ++m;
  return m == mask.size();
}

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& dir) {
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) throw EInOutError("Unable to create directory");
  const std::string path = ExcludeTrailingPathDelimiter(dir);
  if (path.empty() || DirectoryExists(path)) return true;
  const std::string parent = ExtractFileDir(path);
  if (!parent.empty() && parent != path && !ForceDirectories(parent)) return false;
  return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(path));
}

bool DeleteFile(const std::string& fileName) {
  return ::unlink(fileName.c_str()) == 0;
}

bool RenameFile(const std::string& oldName, const std::string& newName) {
  // Renaming never replaces an existing file.
  if (::access(newName.c_str(), F_OK) == 0) return false;
  return ::rename(oldName.c_str(), newName.c_str()) == 0;
}

int64_t FileSize(const std::string& fileName) {
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

std::vector<std::string> GetFileList(const std::string& folder, std::string_view mask,
                                     uint32_t attributeFilter) {
  std::vector<std::string> result;
  const std::string dirName = folder.empty() ? std::string(".") : folder;
  DIR* dir = ::opendir(dirName.c_str());
  if (!dir) return result;
  const std::string base = IncludeTrailingPathDelimiter(dirName);
  const bool wantDirs = (attributeFilter & faDirectory) != 0;
  const bool wantFiles = (attributeFilter & ~faDirectory) != 0;
  const bool wantHidden = (attributeFilter & faHidden) != 0;
  std::string full;
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (name.front() == '.' && !wantHidden) continue;
    if (!MatchesMask(name, mask)) continue;
    bool isDir;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      full.assign(base).append(name);
      isDir = DirectoryExists(full);
    } else {
      isDir = e->d_type == DT_DIR;
    }
    if (isDir ? wantDirs : wantFiles) result.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(result.begin(), result.end());
  return result;
}

std::string GetTempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env && *env) ? env : "/tmp";
  if (dir.size() > 1) dir = ExcludeTrailingPathDelimiter(dir);
  return dir;
}

std::string GetTempFileName(const std::string& folder, std::string_view prefix) {
  std::string name = TempBase(folder, prefix) + "XXXXXX.tmp";
  const int fd = ::mkstemps(name.data(), 4);
  if (fd < 0)
    throw EInOutError("Cannot create temporary file in \"" + folder + "\". " +
                      std::strerror(errno));
  ::close(fd);
  return name;
}

std::string CreateTempFolder(const std::string& parent, std::string_view prefix) {
  std::string name = TempBase(parent, prefix) + "XXXXXX";
  if (::mkdtemp(name.data()) == nullptr)
    throw EInOutError("Cannot create temporary folder in \"" + parent + "\". " +
                      std::strerror(errno));
  return name;
}

std::string GetApplicationFolder() {
  std::lock_guard lock(gAppFolderLock);
  if (gAppFolder.empty()) gAppFolder = ExecutableFolder();
  return gAppFolder;
}

void SetApplicationFolder(std::string_view folder) {
  std::string f = NormalizePathDelims(folder);
  if (f.size() > 1) f = ExcludeTrailingPathDelimiter(f);
  std::lock_guard lock(gAppFolderLock);
  gAppFolder = std::move(f);
}

std::string ExpandAppMacro(std::string_view path) {
  constexpr std::string_view kMacro = "$APP$";
  std::string result;
  result.reserve(path.size() + 64);
  std::string folder;
  size_t p = 0;
  while (p < path.size()) {
    size_t hit = std::string_view::npos;
    for (size_t i = p; i + kMacro.size() <= path.size(); ++i) {
      if (path[i] == '$' && AsciiLower(path[i + 1]) == 'a' && AsciiLower(path[i + 2]) == 'p' &&
          AsciiLower(path[i + 3]) == 'p' && path[i + 4] == '$') {
        hit = i;
        break;
      }
    }
    if (hit == std::string_view::npos) {
      result.append(path.substr(p));
      break;
    }
    result.append(path.substr(p, hit - p));
    if (folder.empty()) folder = ExcludeTrailingPathDelimiter(GetApplicationFolder());
    result.append(folder);
    p = hit + kMacro.size();
  }
  return NormalizePathDelims(result);
}

}  // namespace vela
