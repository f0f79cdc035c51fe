#include "rtl/IniFiles.h"

#include <sys/stat.h>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// The section lines are TStringList objects owned by the section list.
TStringList* SectionLines(TObject* obj) {
  return static_cast<TStringList*>(obj);
}

}  // namespace

// --- TMemIniFile ---

TMemIniFile::TMemIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  LoadValues();
}

TMemIniFile::~TMemIniFile() = default;

TStringList* TMemIniFile::FindSection(std::string_view section) const {
  const int i = FSections.IndexOf(section);
  return i < 0 ? nullptr : SectionLines(FSections.Objects(i));
}

TStringList& TMemIniFile::AddSection(std::string_view section) {
  auto lines = std::make_unique<TStringList>();
  TStringList& result = *lines;
  FSections.AddObject(std::string(section), std::move(lines));
  return result;
}

void TMemIniFile::Clear() {
  FSections.Clear();
}

void TMemIniFile::SetStrings(const TStringList& list) {
  Clear();
  TStringList* lines = nullptr;
  for (const std::string& raw : list) {
    std::string s = Trim(raw);
    if (s.empty() || s.front() == ';') continue;
    if (s.front() == '[' && s.back() == ']' && s.size() >= 2) {
      lines = &AddSection(Trim(std::string_view(s).substr(1, s.size() - 2)));
      continue;
    }
    if (!lines) continue;
    const size_t eq = s.find('=');
    if (eq == std::string::npos) {
      lines->Add(std::move(s));
      continue;
    }
    const std::string_view sv = s;
    std::string line = Trim(sv.substr(0, eq));
    line.push_back('=');
    line.append(Trim(sv.substr(eq + 1)));
    lines->Add(std::move(line));
  }
}

void TMemIniFile::SetText(std::string_view text) {
  TStringList list;
  list.SetText(text);
  SetStrings(list);
}

void TMemIniFile::GetStrings(TStringList& list) const {
  for (int i = 0; i < FSections.Count(); ++i) {
    list.Add("[" + FSections[i] + "]");
    for (const std::string& line : *SectionLines(FSections.Objects(i)))
      list.Add(line);
    list.Add(std::string());
  }
}

void TMemIniFile::LoadValues() {
  FWriteBOM = false;
  if (FFileName.empty() || !FileExists(FFileName)) {
    Clear();
    return;
  }
  TFileStream f(FFileName, fmOpenRead | fmShareDenyWrite);
  const std::string raw = f.ReadToEnd();
  FWriteBOM = DetectBOM(raw) == TTextBOM::Utf8;
  SetText(DecodeText(raw));
}

void TMemIniFile::WriteToFile() {
  TStringList list;
  list.SetWriteBOM(FWriteBOM);
  GetStrings(list);
  list.SaveToFile(FFileName);
}

void TMemIniFile::UpdateFile() {
  WriteToFile();
}

void TMemIniFile::Rename(std::string fileName, bool reload) {
  FFileName = std::move(fileName);
  if (reload) LoadValues();
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view def) const {
  if (const TStringList* lines = FindSection(section)) {
    const int i = lines->IndexOfName(ident);
    if (i >= 0) return (*lines)[i].substr(ident.size() + 1);
  }
  return std::string(def);
}

int TMemIniFile::ReadInteger(std::string_view section, std::string_view ident, int def) const {
  std::string s = ReadString(section, ident, "");
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
  return StrToIntDef(s, def);
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

double TMemIniFile::ReadFloat(std::string_view section, std::string_view ident, double def) const {
  const std::string s = ReadString(section, ident, "");
  double v;
  if (!s.empty() && TryStrToFloat(s, v)) return v;
  return def;
}

TDateTime TMemIniFile::ReadDateTime(std::string_view section, std::string_view ident,
                                    TDateTime def) const {
  const std::string s = ReadString(section, ident, "");
  TDateTime v;
  if (!s.empty() && TryStrToDateTime(s, v)) return v;
  return def;
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident,
                              std::string_view value) {
  TStringList* lines = FindSection(section);
  if (!lines) lines = &AddSection(section);
  std::string line;
  line.reserve(ident.size() + 1 + value.size());
  line.append(ident).push_back('=');
  line.append(value);
  const int i = lines->IndexOfName(ident);
  if (i >= 0)
    lines->SetStrings(i, std::move(line));
  else
    lines->Add(std::move(line));
}

void TMemIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

void TMemIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TMemIniFile::WriteFloat(std::string_view section, std::string_view ident, double value) {
  WriteString(section, ident, FloatToStr(value));
}

void TMemIniFile::WriteDateTime(std::string_view section, std::string_view ident, TDateTime value) {
  WriteString(section, ident, DateTimeToStr(value));
}

void TMemIniFile::ReadSection(std::string_view section, TStringList& strings) const {
  strings.Clear();
  if (const TStringList* lines = FindSection(section)) {
    for (int i = 0; i < lines->Count(); ++i)
      strings.Add(lines->Names(i));
  }
}

void TMemIniFile::ReadSections(TStringList& strings) const {
  strings.Clear();
  for (const std::string& name : FSections)
    strings.Add(name);
}

void TMemIniFile::ReadSectionValues(std::string_view section, TStringList& strings) const {
  strings.Clear();
  if (const TStringList* lines = FindSection(section)) strings.AddStrings(*lines);
}

bool TMemIniFile::SectionExists(std::string_view section) const {
  const TStringList* lines = FindSection(section);
  return lines && lines->Count() > 0;
}

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  const TStringList* lines = FindSection(section);
  return lines && lines->IndexOfName(ident) >= 0;
}

void TMemIniFile::EraseSection(std::string_view section) {
  const int i = FSections.IndexOf(section);
  if (i >= 0) FSections.Delete(i);
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  if (TStringList* lines = FindSection(section)) {
    const int i = lines->IndexOfName(ident);
    if (i >= 0) lines->Delete(i);
  }
}

// --- TIniFile ---

TIniFile::TIniFile(std::string fileName) : TMemIniFile(std::move(fileName)) {
  Remember();
}

void TIniFile::Remember() const {
  struct stat st;
  if (::stat(FFileName.c_str(), &st) == 0) {
    FSeenSize = st.st_size;
    FSeenMTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  } else {
    FSeenSize = -1;
    FSeenMTime = 0;
  }
}

void TIniFile::Refresh() const {
  struct stat st;
  int64_t size = -1, mtime = 0;
  if (::stat(FFileName.c_str(), &st) == 0) {
    size = st.st_size;
    mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }
  if (size == FSeenSize && mtime == FSeenMTime) return;
  // The content mirrors the file: bringing it up to date does not change the object's value.
  const_cast<TIniFile*>(this)->LoadValues();
  FSeenSize = size;
  FSeenMTime = mtime;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident,
                                 std::string_view def) const {
  Refresh();
  return TMemIniFile::ReadString(section, ident, def);
}

void TIniFile::WriteString(std::string_view section, std::string_view ident,
                           std::string_view value) {
  Refresh();
  TMemIniFile::WriteString(section, ident, value);
  UpdateFile();
}

void TIniFile::EraseSection(std::string_view section) {
  Refresh();
  TMemIniFile::EraseSection(section);
  UpdateFile();
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  Refresh();
  TMemIniFile::DeleteKey(section, ident);
  UpdateFile();
}

void TIniFile::UpdateFile() {
  const std::string dir = ExtractFileDir(FFileName);
  if (!dir.empty()) ForceDirectories(dir);
  WriteToFile();
  Remember();
}

}  // namespace vela
