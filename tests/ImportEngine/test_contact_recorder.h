// A processor with recording event handlers around one contact engine: every record with its
// values by name (in the order delivered) and their types, the engine's messages and the number
// of posted records.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "rtl/Classes.h"
#include "vcard/VCard.h"

namespace vela::test {

struct TContactValue {
  std::string Text;
  TImportDataType Type;
};

struct TContactRecord {
  std::vector<std::string> Order;
  std::map<std::string, TContactValue> Values;
  const std::string& operator[](const std::string& name) const { return Values.at(name).Text; }
};

template <class TEngine>
struct TContactRecorder {
  TEngine Engine;
  TDataImportProcessor Processor;
  std::vector<TContactRecord> Records;
  std::vector<std::pair<std::string, TImportMessageType>> Messages;
  int PostCalls = 0;
  int AbortAfter = -1;  // records accepted before StartRecord answers Abort

  TContactRecorder() {
    Processor.RegisterEngine(&Engine);
    Processor.SetOnStartRecord([this](TDataImportProcessor*, int32_t, bool& abort) {
      if (AbortAfter >= 0 && static_cast<int>(Records.size()) >= AbortAfter) {
        abort = true;
        return;
      }
      Records.emplace_back();
    });
    Processor.SetOnSetValue([this](TDataImportProcessor*, std::string_view name,
                                   std::string_view value, TImportDataType type, int32_t) {
      ASSERT_FALSE(Records.empty());
      Records.back().Order.emplace_back(name);
      Records.back().Values[std::string(name)] = {std::string(value), type};
    });
    Processor.SetOnPostRecord([this](TDataImportProcessor*, int32_t) { ++PostCalls; });
    Processor.SetOnEngineMessage(
        [this](TDataImportProcessor*, int32_t, std::string_view msg, TImportMessageType type) {
          Messages.emplace_back(std::string(msg), type);
        });
  }

  bool Run(const std::string& source, int32_t format = 0) {
    Records.clear();
    Messages.clear();
    PostCalls = 0;
    Processor.SetEngineParameter(0, source, format, TStringList());
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
