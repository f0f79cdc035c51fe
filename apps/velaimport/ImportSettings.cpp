#include "ImportSettings.h"

#include "CommandLine.h"
#include "host/InterfacedData.h"

namespace vela::cli {

namespace {

// The field settings and the field change conditions of a definition.
void ApplyFieldRules(IDataImport& imp, const TImportDefinition& def) {
  for (const TFieldDefinition& d : def.Fields) {
    IAdvFieldData* f = imp.Get_AdvFieldSettings()->Add(d.Field);
    f->Set_UseFixValue(d.UseFixValue);
    f->Set_FixValue(d.FixValue);
    f->Set_AutoValue(d.AutoValue);
    f->Set_AutoValueString(d.AutoValueString);
    if (d.StepStart) f->Set_StepStart(*d.StepStart);
    if (d.StepWidth) f->Set_StepWidth(*d.StepWidth);
    f->Set_LeftTrim(d.LeftTrim);
    f->Set_RightTrim(d.RightTrim);
    f->Set_CaseMode(d.CaseMode);
    for (const auto& [number, r] : d.Replacements) {
      IReplacement* item = f->Get_Replacements()->Add();
      item->Set_SearchStr(r.Search);
      item->Set_ReplaceStr(r.Replace);
      item->Set_CaseSensitive(r.CaseSensitive);
    }
  }
  for (const auto& [number, d] : def.Conditions) {
    IFieldChangeCondition* c = imp.Get_FieldChangeConditions()->Add();
    c->Set_ConditionField(d.Field);
    c->Set_Condition(d.Condition);
    c->Set_ConditionValue(d.Value);
    c->Set_ConditionCheckMode(d.CheckMode);
    c->Set_Action(d.Action);
    c->Set_DestinationField(d.DestinationField);
    c->Set_ReplaceField(d.ReplaceField);
  }
}

// A flag of the import object: the option switches it on, else the definition decides.
struct TFlagSetting {
  bool TImportOptions::*Option;
  std::optional<bool> TImportDefinition::*Definition;
  void (IDataImport::*Set)(bool);
};

const TFlagSetting kFlags[] = {
    {&TImportOptions::Transaction, &TImportDefinition::UseTransactions,
     &IDataImport::Set_UseTransactions},
    {&TImportOptions::Clear, &TImportDefinition::ClearDestination,
     &IDataImport::Set_ClearDestination},
    {&TImportOptions::AbortOnError, &TImportDefinition::AbortOnError,
     &IDataImport::Set_AbortOnError},
    {&TImportOptions::AbortOnWarning, &TImportDefinition::AbortOnWarning,
     &IDataImport::Set_AbortOnWarning},
    {&TImportOptions::IgnoreOnError, &TImportDefinition::IgnoreRecordOnError,
     &IDataImport::Set_IgnoreRecordOnError},
    {&TImportOptions::IgnoreOnWarning, &TImportDefinition::IgnoreRecordOnWarning,
     &IDataImport::Set_IgnoreRecordOnWarning},
    {&TImportOptions::RollbackOnError, &TImportDefinition::RollBackOnError,
     &IDataImport::Set_RollBackOnError},
    {&TImportOptions::RollbackOnWarning, &TImportDefinition::RollBackOnWarning,
     &IDataImport::Set_RollBackOnWarning},
};

}  // namespace

TImportMode EffectiveImportMode(const TImportOptions& o, const TImportDefinition& def) {
  if (auto mode = ImportModeFromName(o.Mode)) return *mode;
  return def.Mode.value_or(DimUpdate);
}

bool ApplyImportSettings(IDataImport& imp, bool formatHasHeader, const TImportDefinition& def,
                         const TImportOptions& o) {
  imp.Set_ImportMode(EffectiveImportMode(o, def));
  if (!o.Keys.empty())
    imp.Set_KeyFields(NewStringListData(o.Keys));
  else if (def.KeyFields)
    imp.Set_KeyFields(NewStringListData(*def.KeyFields));

  if (o.SkipFirst || o.NoSkipFirst)
    imp.Set_SkipFirstRecord(o.SkipFirst);
  else
    imp.Set_SkipFirstRecord(def.SkipFirstRecord.value_or(formatHasHeader));
  for (const TFlagSetting& flag : kFlags) {
    if (o.*flag.Option)
      (imp.*flag.Set)(true);
    else if (const auto& value = def.*flag.Definition)
      (imp.*flag.Set)(*value);
  }

  if (!def.AdvFields.empty()) imp.Set_AdvFields(NewStringListData(def.AdvFields));
  ApplyFieldRules(imp, def);

  for (const auto& m : o.Maps)
    if (m.find('=') == std::string::npos)
      throw EUsageError("--map needs DBFIELD=IMPORTFIELD: " + m);
  const auto& assignments = !o.Maps.empty() ? o.Maps : def.Assignments;
  if (assignments.empty()) return false;
  imp.Set_FieldAssignments(NewStringListData(assignments));
  return true;
}

}  // namespace vela::cli
