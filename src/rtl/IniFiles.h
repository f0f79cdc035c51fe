// INI files with the runtime's semantics: an in-memory INI file (TMemIniFile) and a
// write-through one (TIniFile).
//
// Loading: every line is trimmed; empty lines and lines whose first character is ';' are
// skipped; "[name]" opens a section (name trimmed); lines before the first section are ignored;
// in "name = value" the blanks around name and value are removed, anything else is kept as it
// is (also lines without '='). Sections and keys are found ignoring ASCII case; a key that
// occurs twice in a section is found at its first occurrence, and of two sections with the
// same name only the first is reached by reads and writes (both are kept and written back).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/DateUtils.h"

namespace vela {

class TMemIniFile {
 public:
  // Loads fileName when it exists; an empty name gives an empty INI file without file.
  explicit TMemIniFile(std::string fileName = {});
  virtual ~TMemIniFile();
  TMemIniFile(const TMemIniFile&) = delete;
  TMemIniFile& operator=(const TMemIniFile&) = delete;

  const std::string& FileName() const noexcept { return FFileName; }

  // The value of the first key ident in section, or def when there is none. An existing key
  // with an empty value gives "".
  virtual std::string ReadString(std::string_view section, std::string_view ident,
                                 std::string_view def) const;
  // Decimal or hex ("$1F", "0x1F"); def when missing or not a number.
  int ReadInteger(std::string_view section, std::string_view ident, int def) const;
  // An integer other than 0 is true; def when missing or not an integer.
  bool ReadBool(std::string_view section, std::string_view ident, bool def) const;
  // By FormatSettings; def when missing or not a number.
  double ReadFloat(std::string_view section, std::string_view ident, double def) const;
  TDateTime ReadDateTime(std::string_view section, std::string_view ident, TDateTime def) const;

  // Sets the first key ident of section (creating section and key as needed). All typed
  // writes end here.
  virtual void WriteString(std::string_view section, std::string_view ident,
                           std::string_view value);
  void WriteInteger(std::string_view section, std::string_view ident, int value);
  // Writes "1" or "0".
  void WriteBool(std::string_view section, std::string_view ident, bool value);
  void WriteFloat(std::string_view section, std::string_view ident, double value);
  void WriteDateTime(std::string_view section, std::string_view ident, TDateTime value);

  // The names of the lines of section, in file order (lines without '=' give "").
  void ReadSection(std::string_view section, TStringList& strings) const;
  void ReadSections(TStringList& strings) const;
  // The lines of section (name=value) in file order, duplicates included.
  void ReadSectionValues(std::string_view section, TStringList& strings) const;
  // True when the section has at least one line (an empty section counts as
  // missing).
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  virtual void EraseSection(std::string_view section);
  virtual void DeleteKey(std::string_view section, std::string_view ident);
  void Clear();

  // Writes the whole content to FileName as UTF-8 (with a BOM when the loaded file had one).
  virtual void UpdateFile();
  // Appends "[section]", its lines and an empty line for every section.
  void GetStrings(TStringList& list) const;
  // Replaces the content by the lines of list.
  void SetStrings(const TStringList& list);
  void SetText(std::string_view text);
  // Changes the file name; with reload, the content is read again from that file (emptied when
  // the file does not exist).
  void Rename(std::string fileName, bool reload);

 protected:
  // Reads FFileName into the sections (or clears them when the file is missing).
  void LoadValues();
  void WriteToFile();

  std::string FFileName;
  bool FWriteBOM = false;

 private:
  TStringList* FindSection(std::string_view section) const;
  TStringList& AddSection(std::string_view section);

  // Section names with their lines (owned TStringList objects).
  TStringList FSections{true};
};

// An INI file whose writes go straight to the file: every Write, EraseSection and DeleteKey
// saves the file, creating it and its folder when missing. Value reads (ReadString and the
// typed reads) and writes first pick up changes that others made to the file since it was
// last read.
class TIniFile : public TMemIniFile {
 public:
  explicit TIniFile(std::string fileName);

  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view def) const override;
  void WriteString(std::string_view section, std::string_view ident,
                   std::string_view value) override;
  void EraseSection(std::string_view section) override;
  void DeleteKey(std::string_view section, std::string_view ident) override;
  void UpdateFile() override;

 private:
  // Reloads when the file's size or modification time differ from what was last seen.
  void Refresh() const;
  void Remember() const;

  mutable int64_t FSeenSize = -1;
  mutable int64_t FSeenMTime = 0;
};

}  // namespace vela
