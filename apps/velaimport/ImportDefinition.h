// Import definitions (`velaimport import --definition FILE`): INI text read once into a typed
// structure. Every section is optional:
//
//   [Import]          Mode, KeyFields (comma text), and the flags SkipFirstRecord,
//                     UseTransactions, ClearDestination, AbortOnError, AbortOnWarning,
//                     IgnoreRecordOnError, IgnoreRecordOnWarning, RollBackOnError,
//                     RollBackOnWarning
//   [Assignments]     DBFIELD=IMPORTFIELD lines, in order
//   [AdvFields]       names of advanced fields, one per line
//   [Field:NAME]      the settings of destination field NAME
//   [ConditionN]      field change conditions, applied in order of N
//
// Names of sections and keys are compared ignoring case. A value ends at a ';' that follows a
// blank or a tab; lines starting with ';' are comments. Booleans are 1/0, true/false or yes/no
// in any case. Anything the format does not know (a section, a key, a value) is refused with
// EUsageError "FILE:LINE: ...", and so is a key or section given twice.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/_DataImportIntf.h"

namespace vela::cli {

// One replacement of a field value (ReplaceN=search|replacement|case-sensitive).
struct TReplacementDefinition {
  std::string Search;
  std::string Replace;
  bool CaseSensitive = false;
};

// The advanced settings of one destination field ([Field:NAME]).
struct TFieldDefinition {
  std::string Field;
  bool UseFixValue = false;
  std::string FixValue;
  bool AutoValue = false;
  std::string AutoValueString;
  std::optional<int> StepStart;  // absent: the import object's default
  std::optional<int> StepWidth;
  bool LeftTrim = false;
  bool RightTrim = false;
  TCaseMode CaseMode = cmNone;
  std::map<int, TReplacementDefinition> Replacements;  // by number, applied in that order
};

// One field change condition ([ConditionN]).
struct TConditionDefinition {
  std::string Field;  // required
  TCondition Condition = coEqual;
  std::string Value;
  TConditionCheckMode CheckMode = ccmBeforeKeySearch;
  TConditionAction Action = caIgnoreRecord;
  std::string DestinationField;
  std::string ReplaceField;
};

// An import definition. Absent values leave the import object's settings as they are.
struct TImportDefinition {
  std::optional<TImportMode> Mode;
  std::optional<std::vector<std::string>> KeyFields;
  std::optional<bool> SkipFirstRecord, UseTransactions, ClearDestination;
  std::optional<bool> AbortOnError, AbortOnWarning;
  std::optional<bool> IgnoreRecordOnError, IgnoreRecordOnWarning;
  std::optional<bool> RollBackOnError, RollBackOnWarning;
  std::vector<std::string> Assignments;  // "dbfield=importfield"
  std::vector<std::string> AdvFields;
  std::vector<TFieldDefinition> Fields;            // in file order
  std::map<int, TConditionDefinition> Conditions;  // by number
};

// Parses definition text; fileName is what error messages name.
TImportDefinition ParseImportDefinition(std::string_view text, const std::string& fileName);
// Reads and parses a definition file (UTF-8 with or without BOM, else the system's code page).
// A missing file is a usage error.
TImportDefinition LoadImportDefinition(const std::string& fileName);

// update, onlynew or cleancopy (ignoring case); nothing for any other name.
std::optional<TImportMode> ImportModeFromName(std::string_view name);

}  // namespace vela::cli
