// A processor with recording event handlers, to observe what an engine delivers, and the small
// helpers of the engine tests.
#pragma once

#include <string>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "TestData.h"
#include "rtl/Exceptions.h"
#include "rtl/RtlTestSupport.h"
#include "vcard/VCard.h"

namespace vela::test {

struct TRecordedValue {
  std::string Name;
  std::string Value;
  TImportDataType Type;
  bool operator==(const TRecordedValue&) const = default;
  friend void PrintTo(const TRecordedValue& v, std::ostream* os) {
    *os << v.Name << "=" << v.Value << ":" << static_cast<int>(v.Type);
  }
};
using TRecordedRow = std::vector<TRecordedValue>;

struct TImportRecorder {
  TDataImportProcessor Processor;
  std::vector<TRecordedRow> Rows;
  std::vector<std::pair<std::string, TImportMessageType>> Messages;
  int StartCalls = 0;
  int AbortAtStart = -1;  // 0-based StartRecord call that answers abort
  bool Open = false;
  int ValuesOutsideRecord = 0;
  int PostCalls = 0;
  std::string ThrowOnValue;  // a SetValue with this value raises

  TImportRecorder() {
    Processor.SetOnStartRecord([this](TDataImportProcessor*, int32_t, bool& Abort) {
      if (StartCalls++ == AbortAtStart) {
        Abort = true;
        return;
      }
      Rows.emplace_back();
      Open = true;
    });
    Processor.SetOnSetValue([this](TDataImportProcessor*, std::string_view Name,
                                   std::string_view Value, TImportDataType Type, int32_t) {
      if (!ThrowOnValue.empty() && Value == ThrowOnValue) throw EConvertError("bad value");
      if (!Open) {
        ++ValuesOutsideRecord;
        return;
      }
      Rows.back().push_back({std::string(Name), std::string(Value), Type});
    });
    Processor.SetOnPostRecord([this](TDataImportProcessor*, int32_t) {
      Open = false;
      ++PostCalls;
    });
    Processor.SetOnEngineMessage(
        [this](TDataImportProcessor*, int32_t, std::string_view Msg, TImportMessageType Type) {
          Messages.emplace_back(std::string(Msg), Type);
        });
  }

  // The value of a field in a row; "<missing>" when the row lacks it.
  std::string Value(size_t Row, std::string_view Name) const {
    const TRecordedValue* v = Find(Row, Name);
    return v ? v->Value : Row < Rows.size() ? "<missing>" : "<no row>";
  }
  // The type of a field in a row; -1 when the row lacks it.
  TImportDataType Type(size_t Row, std::string_view Name) const {
    const TRecordedValue* v = Find(Row, Name);
    return v ? v->Type : static_cast<TImportDataType>(-1);
  }
  // The field names of a row in the order delivered.
  std::vector<std::string> Names(size_t Row) const {
    std::vector<std::string> names;
    for (const TRecordedValue& v : Rows.at(Row))
      names.push_back(v.Name);
    return names;
  }
  void Reset() {
    Rows.clear();
    Messages.clear();
    StartCalls = PostCalls = ValuesOutsideRecord = 0;
    Open = false;
  }

 private:
  const TRecordedValue* Find(size_t Row, std::string_view Name) const {
    if (Row >= Rows.size()) return nullptr;
    for (const TRecordedValue& v : Rows[Row])
      if (v.Name == Name) return &v;
    return nullptr;
  }
};

// A recorder around one engine, which it registers as engine 0.
template <class TEngine>
struct TEngineRecorder : TImportRecorder {
  TEngine Engine;
  TEngineRecorder() { Processor.RegisterEngine(&Engine); }
  ~TEngineRecorder() { Processor.UnRegisterEngine(&Engine); }
  // Imports Source in Format afresh; the processor's result.
  bool Run(const std::string& Source, int32_t Format = 0, const TStringList& Dest = {}) {
    Reset();
    Processor.SetEngineParameter(0, Source, Format, Dest);
    return Processor.Execute(0, false);
  }
};

// The contact fields in card order: the field names every contact engine delivers.
inline std::vector<std::string> CardFieldNames() {
  TVCard card;
  std::vector<std::string> names;
  for (int i = 0; i < card.FieldCount(); ++i)
    names.push_back(card.GetFieldNames(i));
  return names;
}

}  // namespace vela::test
