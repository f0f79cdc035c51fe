// Per-field value transformations of a pre-processor table: splitting a field into virtual part
// fields, chains of named manipulations, and replacement tables. Each is loaded once from the
// table's configuration sections (prefix "" for the master table, detail name + "_" for a
// detail table) and then applied to every value of an export, in the order split, manipulate,
// replace. docs/value-transformations.md describes the configuration.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtl/IniFiles.h"

namespace vela {

// Hash and equality of field names ignoring ASCII case, usable with string_view keys, so a
// lookup by field name allocates nothing.
struct TFieldNameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept;
};
struct TFieldNameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};
template <class T>
using TFieldNameMap = std::unordered_map<std::string, T, TFieldNameHash, TFieldNameEqual>;

// One line of a field's replacement table.
class TReplacementEntry {
 public:
  TReplacementEntry() = default;
  // A line "name=value": a name "{text}" (more than two characters) matches the whole value
  // "text"; any other name is a substring.
  TReplacementEntry(std::string_view ALineName, std::string AToValue);

  const std::string& ToValue() const { return FToValue; }
  const std::string& FromValue() const { return FFromValue; }
  bool UseWholeValue() const { return FUseWholeValue; }
  void SetToValue(std::string AValue) { FToValue = std::move(AValue); }
  void SetFromValue(std::string AValue) { FFromValue = std::move(AValue); }
  void SetUseWholeValue(bool AValue) { FUseWholeValue = AValue; }

 private:
  std::string FToValue;
  std::string FFromValue;
  bool FUseWholeValue = false;
};

// Replacement tables per field, from the sections P + "Replacements_" + field name.
class TFieldValueReplacements {
 public:
  // Replaces what was loaded before.
  void LoadFormINI(const TMemIniFile& AConfig, const std::string& APrefix);
  // Applies the field's entries in order: a whole-value entry that equals the value (ASCII case
  // folded) replaces it and ends the chain; a substring entry replaces every occurrence (ASCII
  // case folded) and the chain goes on with the changed value.
  void Replace(std::string& AValue, std::string_view AFieldName) const;
  // The field's entries in configuration order; nullptr for a field without a table.
  const std::vector<TReplacementEntry>* Entries(std::string_view AFieldName) const;

 private:
  TFieldNameMap<std::vector<TReplacementEntry>> FFieldReplacements;
};

// A field split at one character into Count virtual fields NAME_PART1 .. NAME_PARTn.
class TSplittedFieldData {
 public:
  TSplittedFieldData(std::string AFieldName, char32_t ASplitChar, int ACount);

  const std::string& FieldName() const noexcept { return FFieldName; }
  char32_t SplitChar() const noexcept { return FSplitChar; }  // one UTF-16 code unit's value
  int Count() const noexcept { return FCount; }
  // Field name + "_PART" + (AIndex + 1).
  std::string GetFieldName(int AIndex) const;
  // Part AIndex (0-based) of AValue. Parts end at the split character and at CR or LF; CR and
  // LF at the start of a part are skipped; empty parts do not count; text in single or double
  // quotes belongs to one part, quotes included. The last virtual part takes all remaining
  // parts joined with the split character; a part beyond the value's parts is empty.
  std::string GetValue(int AIndex, std::string_view AValue) const;
  // True when AName is one of this field's virtual part names (case-sensitive).
  bool IsPartName(std::string_view AName) const noexcept;

 private:
  std::string FFieldName;
  char32_t FSplitChar;
  int FCount;
  std::string FSplitText;  // the split character in UTF-8; empty when it cannot occur
};

// The split fields of a table from the section P + "FieldSplitting" (lines "field=count,code").
class TFieldSplitting {  // owns its items, configuration order
 public:
  // Replaces what was loaded before. A line whose count or code is no integer is skipped.
  void LoadFromINI(const TMemIniFile& AConfig, const std::string& APrefix);
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  // Index of the first item for AFieldName (case-sensitive); -1 if none.
  int IndexOfSplittedField(std::string_view AFieldName) const;
  bool IsSplittedField(std::string_view AFieldName) const;
  // Raises EListError for an index out of range.
  TSplittedFieldData& GetSplitData(int AIndex) const;
  // nullptr when the field is not split.
  TSplittedFieldData* GetSplitData(std::string_view AFieldName) const;
  // True when AName is a virtual part name of any split field (case-sensitive).
  bool IsVirtualSplitField(std::string_view AName) const;

 private:
  std::vector<std::unique_ptr<TSplittedFieldData>> FItems;
};

// The manipulations a field's value can pass through, in the order named in the configuration.
enum class TValueManipulation : uint8_t {
  RemoveCR,
  RemoveLF,
  RemoveCRLF,
  RemoveSpaces,
  Trim,
  TryAsInt,
  CapitalFirst,
  UpperCase,
  LowerCase,
  FixWrongUtf8Umlauts,
  CapitalFirstEx,
  RtfToText,
  TextToRtf,
  HtmlToRtf,
  HasContentTrue,
  HasContentFalse,
};

// Manipulation chains per field from the section P + "Manipulation" (lines
// "field=name;name;..."), and the RTF defaults from P + "RTF" (falling back to "RTF").
class TFieldValueManipulator {
 public:
  // Replaces what was loaded before. Names this system does not know are ignored.
  void LoadFormINI(const TMemIniFile& AConfig, const std::string& APrefix);
  // Applies the field's manipulations in order; a field without any is left alone.
  void ManipulateValue(std::string& AValue, std::string_view AFieldName) const;
  // The field's manipulations in order; nullptr for a field without any.
  const std::vector<TValueManipulation>* Manipulations(std::string_view AFieldName) const;
  const std::string& DefaultFontName() const noexcept { return FDefaultFontName; }  // "Arial"
  int DefaultFontSize() const noexcept { return FDefaultFontSize; }                 // 10

  // The manipulation called AName (exact, case-sensitive); false for an unknown name.
  static bool ManipulationByName(std::string_view AName, TValueManipulation& AResult);
  // Applies one manipulation.
  void Apply(TValueManipulation AManipulation, std::string& AValue) const;

 private:
  TFieldNameMap<std::vector<TValueManipulation>> FFieldManipulators;
  std::string FDefaultFontName = "Arial";
  int FDefaultFontSize = 10;
};

}  // namespace vela
