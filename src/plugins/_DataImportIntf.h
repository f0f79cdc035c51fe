// The host interfaces of a configurable file import: the import object (IDataImport) that
// Do_Import hands out, the callback (IDataImportCallBack) its caller may pass to Do_Execute, and
// the enumerations both use.
#pragma once

#include <cstdint>
#include <string>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "host/InterfacedData.h"
#include "rtl/Interfaces.h"

namespace vela {

enum TImportMode : int32_t {
  DimAsk,        // the caller did not choose
  DimUpdate,     // update records found by key, insert the others
  DimOnlyNew,    // insert only records not found by key
  DimCleanCopy,  // insert every record (used with clearing the destination)
};

enum TImportRunMode : int32_t { DimrImport, DimrSimulateFirst, DimrSimulate };

enum TImportPage : int32_t {
  DipFieldAssignments,
  DipImportMode,
  DipImportOptions,
  DipReplacements,
  DipFieldRules,
};
// A set of TImportPage: bit n stands for page n (pages 0 to 7).
using TImportPageSet = uint8_t;

// Messages counted per message type.
struct TMessageCounts {
  int32_t Counts[3] = {0, 0, 0};

  int32_t& operator[](int msgType) { return Counts[msgType]; }
  int32_t operator[](int msgType) const { return Counts[msgType]; }
  void Clear() { Counts[0] = Counts[1] = Counts[2] = 0; }
};

// Supplied by the caller of Do_Execute; the import object reports every step of a run to it.
struct IDataImportCallBack : virtual IInterface {
  VELA_IID("{3F6B9C2E-81D4-4E0A-9B57-C2A4D81E6F30}");
  // After a record was inserted (-1 in a simulation).
  virtual void Do_AfterInsert(bool Simulation, int64_t RecordID) = 0;
  virtual void Do_AfterUpdate(bool Simulation, int64_t RecordID) = 0;
  // CanDelete arrives true; false keeps the record.
  virtual void Do_BeforeDelete(bool Simulation, int64_t RecordID, bool& CanDelete) = 0;
  // Every message of the run.
  virtual void Do_Message(TImportMessageType AMsgType, const std::string& AMsg) = 0;
  // Once per advanced field of a written record; the import object does not write the field.
  virtual bool Do_AdvFieldImport(bool Simulation, int64_t RecordID, const std::string& FieldName,
                                 const std::string& FieldValue, bool ARecordInserted) = 0;
};

// The configurable import object. Lists travel as IStringListData.
struct IDataImport : virtual IInterface {
  VELA_IID("{E56184B6-0760-488B-A12F-9C7DC33F4CFD}");
  // Runs the import; an exception becomes false and an error message to the callback.
  // Silent has no effect.
  virtual bool Do_Execute(const IPtr<IDataImportCallBack>& ACallBack, bool SimulationOnly = false,
                          bool Silent = false) = 0;
  virtual bool Get_ClearDestination() = 0;
  virtual bool Get_SkipFirstRecord() = 0;
  virtual bool Get_RollBackOnError() = 0;
  virtual bool Get_RollBackOnWarning() = 0;
  virtual bool Get_UseTransactions() = 0;
  virtual bool Get_IgnoreRecordOnError() = 0;
  virtual bool Get_IgnoreRecordOnWarning() = 0;
  virtual TImportMode Get_ImportMode() = 0;
  // A copy of the field assignments ("databasefield=importfield" lines).
  virtual IPtr<IStringListData> Get_FieldAssignments() = 0;
  // The data processor's rule lists (owned by the processor, not reference counted).
  virtual IFieldChangeConditions* Get_FieldChangeConditions() = 0;
  virtual IAdvFieldSettings* Get_AdvFieldSettings() = 0;
  // A copy of the key fields (database field names).
  virtual IPtr<IStringListData> Get_KeyFields() = 0;
  virtual bool Get_AbortOnError() = 0;
  virtual bool Get_AbortOnWarning() = 0;
  virtual TImportRunMode Get_RunMode() = 0;
  // False for pages above 7.
  virtual bool Get_PageVisible(TImportPage Page) = 0;
  virtual bool Get_CanClearDest() = 0;
  virtual void Set_ClearDestination(bool Value) = 0;
  virtual void Set_SkipFirstRecord(bool Value) = 0;
  virtual void Set_RollBackOnError(bool Value) = 0;
  virtual void Set_RollBackOnWarning(bool Value) = 0;
  virtual void Set_UseTransactions(bool Value) = 0;
  virtual void Set_IgnoreRecordOnError(bool Value) = 0;
  virtual void Set_IgnoreRecordOnWarning(bool Value) = 0;
  virtual void Set_ImportMode(TImportMode Value) = 0;
  // The list setters replace the list's text with the given list's text (nil empties it).
  virtual void Set_FieldAssignments(const IPtr<IStringListData>& Value) = 0;
  virtual void Set_KeyFields(const IPtr<IStringListData>& Value) = 0;
  virtual void Set_AbortOnError(bool Value) = 0;
  virtual void Set_AbortOnWarning(bool Value) = 0;
  virtual void Set_RunMode(TImportRunMode Value) = 0;
  // Pages 0 to 7; others are ignored.
  virtual void Set_PageVisible(TImportPage Page, bool Value) = 0;
  virtual void Set_CanClearDest(bool Value) = 0;
  // Records inserted and updated by the last run.
  virtual void Do_QueryImportResult(int32_t& CountInserted, int32_t& CountUpdated) = 0;
  virtual void Set_AdvFields(const IPtr<IStringListData>& AValue) = 0;
  virtual IPtr<IStringListData> Get_AdvFields() = 0;
};

}  // namespace vela
