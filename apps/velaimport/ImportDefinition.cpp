#include "ImportDefinition.h"

#include <initializer_list>
#include <utility>

#include "CommandLine.h"
#include "rtl/Classes.h"
#include "rtl/CodePages.h"
#include "rtl/FileUtils.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

// The value without a trailing "; comment" (a ';' at the start or after a blank or a tab),
// trimmed.
std::string StripComment(std::string_view value) {
  for (size_t p = value.find(';'); p != std::string_view::npos; p = value.find(';', p + 1))
    if (p == 0 || value[p - 1] == ' ' || value[p - 1] == '\t') return Trim(value.substr(0, p));
  return Trim(value);
}

// The number of "Condition12" or "Replace3" (digits only, at least 1); nothing otherwise.
std::optional<int> NumberAfter(std::string_view prefix, std::string_view name) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 6 ||
      !SameText(name.substr(0, prefix.size()), prefix))
    return std::nullopt;
  int n = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n > 0 ? std::optional<int>(n) : std::nullopt;
}

enum class TSectionKind { Import, Assignments, AdvFields, Field, Condition };

// Reads the lines in one pass; FLine is the number of the line at hand, for the messages.
class TDefinitionParser {
 public:
  explicit TDefinitionParser(const std::string& fileName) : FFileName(fileName) {}

  TImportDefinition Parse(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      ++FLine;
      Line(Trim(text.substr(pos, end - pos)));
      pos = end;
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    for (const auto& [number, condition] : FResult.Conditions) {
      if (!condition.Field.empty()) continue;
      FLine = FConditionLines[number];
      Fail("[Condition" + IntToStr(number) + "] needs a Field");
    }
    return std::move(FResult);
  }

 private:
  [[noreturn]] void Fail(const std::string& text) const {
    throw EUsageError(FFileName + ":" + IntToStr(FLine) + ": " + text);
  }

  void Line(const std::string& s) {
    if (s.empty() || s[0] == ';') return;
    if (s[0] == '[') {
      if (s.back() != ']') Fail("a section name needs its closing ']'");
      return Section(Trim(std::string_view(s).substr(1, s.size() - 2)));
    }
    if (!FInSection) Fail("a line before the first section: '" + s + "'");
    const size_t eq = s.find('=');
    if (FKind == TSectionKind::AdvFields) {
      FResult.AdvFields.push_back(StripComment(s));
      return;
    }
    if (eq == std::string::npos || eq == 0)
      Fail(std::string(FKind == TSectionKind::Assignments ? "DBFIELD=IMPORTFIELD" : "NAME=VALUE") +
           " expected: '" + s + "'");
    const std::string key = Trim(std::string_view(s).substr(0, eq));
    const std::string value = StripComment(std::string_view(s).substr(eq + 1));
    if (FKind == TSectionKind::Assignments) {
      FResult.Assignments.push_back(key + "=" + value);
      return;
    }
    if (auto [seen, fresh] = FKeys.emplace(LowerCase(key), FLine); !fresh)
      Fail(key + " given twice (first on line " + IntToStr(seen->second) + ")");
    if (FKind == TSectionKind::Import) return ImportValue(key, value);
    if (FKind == TSectionKind::Field) return FieldValue(FResult.Fields.back(), key, value);
    ConditionValue(*FCondition, key, value);
  }

  void Section(const std::string& name) {
    if (auto [seen, fresh] = FSections.emplace(LowerCase(name), FLine); !fresh)
      Fail("section [" + name + "] given twice (first on line " + IntToStr(seen->second) + ")");
    FInSection = true;
    FKeys.clear();
    if (SameText(name, "Import")) {
      FKind = TSectionKind::Import;
    } else if (SameText(name, "Assignments")) {
      FKind = TSectionKind::Assignments;
    } else if (SameText(name, "AdvFields")) {
      FKind = TSectionKind::AdvFields;
    } else if (name.size() > 6 && StartsText("Field:", name)) {
      FKind = TSectionKind::Field;
      FResult.Fields.push_back({});
      FResult.Fields.back().Field = Trim(std::string_view(name).substr(6));
    } else if (auto n = NumberAfter("Condition", name)) {
      FKind = TSectionKind::Condition;
      FCondition = &FResult.Conditions[*n];
      FConditionLines[*n] = FLine;
    } else {
      Fail("unknown section [" + name + "]");
    }
  }

  [[noreturn]] void UnknownKey(const std::string& key, const std::string& section) const {
    Fail("unknown key '" + key + "' in [" + section + "]");
  }

  bool Bool(const std::string& key, const std::string& value) const {
    return Choice<bool>(key, value,
                        {{"1", true},
                         {"0", false},
                         {"true", true},
                         {"false", false},
                         {"yes", true},
                         {"no", false}});
  }

  // The value of the name that matches ignoring case; an error listing the names otherwise.
  template <class T>
  T Choice(const std::string& key, const std::string& value,
           std::initializer_list<std::pair<const char*, T>> names) const {
    std::string list;
    size_t i = 0;
    for (const auto& [name, result] : names) {
      if (SameText(value, name)) return result;
      if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
      list += name;
      ++i;
    }
    Fail(key + " must be " + list + ", not '" + value + "'");
  }

  void ImportValue(const std::string& key, const std::string& value) {
    static const std::pair<const char*, std::optional<bool> TImportDefinition::*> kFlags[] = {
        {"SkipFirstRecord", &TImportDefinition::SkipFirstRecord},
        {"UseTransactions", &TImportDefinition::UseTransactions},
        {"ClearDestination", &TImportDefinition::ClearDestination},
        {"AbortOnError", &TImportDefinition::AbortOnError},
        {"AbortOnWarning", &TImportDefinition::AbortOnWarning},
        {"IgnoreRecordOnError", &TImportDefinition::IgnoreRecordOnError},
        {"IgnoreRecordOnWarning", &TImportDefinition::IgnoreRecordOnWarning},
        {"RollBackOnError", &TImportDefinition::RollBackOnError},
        {"RollBackOnWarning", &TImportDefinition::RollBackOnWarning},
    };
    for (const auto& [name, member] : kFlags)
      if (SameText(key, name)) {
        FResult.*member = Bool(key, value);
        return;
      }
    if (SameText(key, "Mode")) {
      FResult.Mode = ImportModeFromName(value);
      if (!FResult.Mode) Fail("Mode must be update, onlynew or cleancopy, not '" + value + "'");
    } else if (SameText(key, "KeyFields")) {
      TStringList fields;
      fields.SetCommaText(value);
      FResult.KeyFields = fields.Lines();
    } else {
      UnknownKey(key, "Import");
    }
  }

  void FieldValue(TFieldDefinition& f, const std::string& key, const std::string& value) {
    static const std::pair<const char*, bool TFieldDefinition::*> kFlags[] = {
        {"UseFixValue", &TFieldDefinition::UseFixValue},
        {"AutoValue", &TFieldDefinition::AutoValue},
        {"LeftTrim", &TFieldDefinition::LeftTrim},
        {"RightTrim", &TFieldDefinition::RightTrim},
    };
    static const std::pair<const char*, std::optional<int> TFieldDefinition::*> kNumbers[] = {
        {"StepStart", &TFieldDefinition::StepStart},
        {"StepWidth", &TFieldDefinition::StepWidth},
    };
    for (const auto& [name, member] : kFlags)
      if (SameText(key, name)) {
        f.*member = Bool(key, value);
        return;
      }
    for (const auto& [name, member] : kNumbers)
      if (SameText(key, name)) {
        int n = 0;
        if (!TryStrToInt(value, n)) Fail(key + " must be a whole number, not '" + value + "'");
        f.*member = n;
        return;
      }
    if (SameText(key, "FixValue")) {
      f.FixValue = value;
    } else if (SameText(key, "AutoValueString")) {
      f.AutoValueString = value;
    } else if (SameText(key, "CaseMode")) {
      f.CaseMode = Choice<TCaseMode>(
          key, value, {{"0", cmNone}, {"1", cmFirstUpper}, {"2", cmUpper}, {"3", cmLower}});
    } else if (auto n = NumberAfter("Replace", key)) {
      // search|replacement|case-sensitive; the last two may be left out.
      TReplacementDefinition& r = f.Replacements[*n];
      const size_t p1 = value.find('|');
      r.Search = value.substr(0, p1);
      if (p1 == std::string::npos) return;
      const size_t p2 = value.find('|', p1 + 1);
      r.Replace = value.substr(p1 + 1, p2 == std::string::npos ? p2 : p2 - p1 - 1);
      if (p2 != std::string::npos)
        r.CaseSensitive = Bool(key + "'s case-sensitive flag", value.substr(p2 + 1));
    } else {
      UnknownKey(key, "Field:" + f.Field);
    }
  }

  void ConditionValue(TConditionDefinition& c, const std::string& key, const std::string& value) {
    static const std::pair<const char*, std::string TConditionDefinition::*> kTexts[] = {
        {"Field", &TConditionDefinition::Field},
        {"Value", &TConditionDefinition::Value},
        {"DestinationField", &TConditionDefinition::DestinationField},
        {"ReplaceField", &TConditionDefinition::ReplaceField},
    };
    for (const auto& [name, member] : kTexts)
      if (SameText(key, name)) {
        c.*member = value;
        return;
      }
    if (SameText(key, "Condition")) {
      c.Condition = Choice<TCondition>(key, value, {{"equal", coEqual}, {"notequal", coNotEqual}});
    } else if (SameText(key, "CheckMode")) {
      c.CheckMode = Choice<TConditionCheckMode>(
          key, value, {{"before", ccmBeforeKeySearch}, {"after", ccmAfterKeySearch}});
    } else if (SameText(key, "Action")) {
      c.Action = Choice<TConditionAction>(
          key, value, {{"ignore", caIgnoreRecord}, {"replace", caReplaceField}});
    } else {
      UnknownKey(key, "Condition");
    }
  }

  const std::string& FFileName;
  int FLine = 0;
  TImportDefinition FResult;
  bool FInSection = false;
  TSectionKind FKind = TSectionKind::Import;
  TConditionDefinition* FCondition = nullptr;
  std::map<int, int> FConditionLines;    // condition number: line of its section
  std::map<std::string, int> FSections;  // lower-case name: line
  std::map<std::string, int> FKeys;      // of the current section
};

}  // namespace

TImportDefinition ParseImportDefinition(std::string_view text, const std::string& fileName) {
  return TDefinitionParser(fileName).Parse(text);
}

TImportDefinition LoadImportDefinition(const std::string& fileName) {
  if (!FileExists(fileName)) throw EUsageError("definition file not found: " + fileName);
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  return ParseImportDefinition(DecodeText(f.ReadToEnd()), fileName);
}

std::optional<TImportMode> ImportModeFromName(std::string_view name) {
  if (SameText(name, "update")) return DimUpdate;
  if (SameText(name, "onlynew")) return DimOnlyNew;
  if (SameText(name, "cleancopy")) return DimCleanCopy;
  return std::nullopt;
}

}  // namespace vela::cli
