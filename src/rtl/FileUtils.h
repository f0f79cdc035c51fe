// File names, folders and file system helpers with the runtime's semantics. The path delimiter
// is '/'; configured paths written with '\' go through NormalizePathDelims first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

inline constexpr char PathDelim = '/';

// File attributes for GetFileList's filter.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faNormal = 0x80;
constexpr uint32_t faAnyFile = 0x1FF;

// --- names ---
// Everything up to and including the last delimiter.
std::string ExtractFilePath(std::string_view fileName);
// Everything after the last delimiter.
std::string ExtractFileName(std::string_view fileName);
// The extension with its dot (".txt"); empty when the name part has no dot.
std::string ExtractFileExt(std::string_view fileName);
// Replaces (or appends) the extension; extension includes its dot.
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
// The folder without a trailing delimiter, except for the root "/".
std::string ExtractFileDir(std::string_view fileName);
// "" becomes "/".
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Turns every '\' into PathDelim.
std::string NormalizePathDelims(std::string_view path);
// Replaces characters that are not allowed in file names (control characters and
// \ / : * ? " < > |) by '_' and cuts the result to at most 260 characters (code points).
std::string ConvertToFileName(std::string_view name);
// Whether name matches a mask with '*' (any run) and '?' (one character), ignoring ASCII case.
// "*.*" matches every name.
bool MatchesMask(std::string_view name, std::string_view mask);

// --- file system ---
// True for existing entries that are not directories.
bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& dir);
// Creates the folder and its missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& dir);
bool DeleteFile(const std::string& fileName);
bool RenameFile(const std::string& oldName, const std::string& newName);
// Size in bytes; -1 when the file does not exist.
int64_t FileSize(const std::string& fileName);

// The names (without folder) of the entries of folder that match mask, without recursion.
// Directories are listed only when attributeFilter has faDirectory, other entries only when it
// has any other bit; hidden entries (names beginning with '.') only with faHidden. "." and ".."
// never. The order is by name (byte order), so that results do not depend on the file system.
std::vector<std::string> GetFileList(const std::string& folder, std::string_view mask,
                                     uint32_t attributeFilter = faAnyFile & ~faDirectory);

// The system's folder for temporary files ($TMPDIR, else /tmp), without trailing delimiter.
std::string GetTempDirectory();
// Creates a new empty file named prefix + unique characters + ".tmp" in folder (the temporary
// folder when empty) and returns its full name. Raises EInOutError on failure.
std::string GetTempFileName(const std::string& folder = {}, std::string_view prefix = "tmp");
// Creates a new empty folder prefix + unique characters in parent (the temporary folder when
// empty) and returns its full name. Raises EInOutError on failure.
std::string CreateTempFolder(const std::string& parent = {}, std::string_view prefix = "tmp");

// --- the application folder ---
// The running executable's folder unless set, without trailing delimiter.
std::string GetApplicationFolder();
void SetApplicationFolder(std::string_view folder);
// Replaces "$APP$" (any case) by the application folder and makes the path delimiters '/':
// "$APP$\custom" becomes "<folder>/custom".
std::string ExpandAppMacro(std::string_view path);

}  // namespace vela
