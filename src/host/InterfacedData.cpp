#include "host/InterfacedData.h"

#include <memory>

#include "rtl/Classes.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {
namespace {

class TStringData : public TInterfacedObject, public IStringData {
  VELA_INTERFACES(TInterfacedObject, IStringData)
 public:
  explicit TStringData(std::string_view s) : FText(s) {}
  std::string Get_Text() const override { return FText; }
  void Set_Text(std::string_view text) override { FText.assign(text); }

 private:
  std::string FText;
};

void SplitLines(std::string_view text, std::vector<std::string>& out) {
  out.clear();
  size_t start = 0;
  const size_t n = text.size();
  while (start < n) {
    size_t i = start;
    while (i < n && text[i] != '\r' && text[i] != '\n')
      ++i;
    out.emplace_back(text.substr(start, i - start));
    if (i < n && text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
}

class TStringListData : public TInterfacedObject, public IStringListData {
  VELA_INTERFACES(TInterfacedObject, IStringListData)
 public:
  explicit TStringListData(std::vector<std::string> items) : FItems(std::move(items)) {}
  int Get_Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get_Item(int index) const override { return FItems.at(Check(index)); }
  void Set_Item(int index, std::string_view value) override { FItems[Check(index)] = value; }
  void Add(std::string_view value) override { FItems.emplace_back(value); }
  void Clear() override { FItems.clear(); }
  std::string Get_Text() const override {
    std::string r;
    for (const auto& s : FItems) {
      r += s;
      r += sLineBreak;
    }
    return r;
  }
  void Set_Text(std::string_view text) override { SplitLines(text, FItems); }
  const std::vector<std::string>& Items() const override { return FItems; }

 private:
  size_t Check(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= FItems.size())
      throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return static_cast<size_t>(index);
  }
  std::vector<std::string> FItems;
};

class TBinaryData : public TInterfacedObject, public IBinaryData {
  VELA_INTERFACES(TInterfacedObject, IBinaryData)
 public:
  explicit TBinaryData(std::string_view bytes) : FData(bytes) {}
  size_t Get_Size() const override { return FData.size(); }
  const uint8_t* Get_Data() const override {
    return reinterpret_cast<const uint8_t*>(FData.data());
  }
  void Set_Data(const void* data, size_t size) override {
    FData.assign(static_cast<const char*>(data), size);
  }
  std::string_view AsView() const override { return FData; }

 private:
  std::string FData;
};

class TNamedVariantListData : public TInterfacedObject, public INamedVariantListData {
  VELA_INTERFACES(TInterfacedObject, INamedVariantListData)
 public:
  int Get_Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get_Name(int index) const override { return FItems.at(Check(index)).first; }
  Variant Get_Value(int index) const override { return FItems.at(Check(index)).second; }
  void Set_Value(int index, const Variant& value) override { FItems[Check(index)].second = value; }
  int IndexOf(std::string_view name) const override {
    for (size_t i = 0; i < FItems.size(); ++i)
      if (SameText(FItems[i].first, name)) return static_cast<int>(i);
    return -1;
  }
  Variant ValueByName(std::string_view name) const override {
    int i = IndexOf(name);
    return i < 0 ? Variant() : FItems[static_cast<size_t>(i)].second;
  }
  void SetValueByName(std::string_view name, const Variant& value) override {
    int i = IndexOf(name);
    if (i < 0)
      FItems.emplace_back(std::string(name), value);
    else
      FItems[static_cast<size_t>(i)].second = value;
  }
  void Delete(int index) override {
    FItems.erase(FItems.begin() + static_cast<long>(Check(index)));
  }
  void Clear() override { FItems.clear(); }

 private:
  size_t Check(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= FItems.size())
      throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return static_cast<size_t>(index);
  }
  std::vector<std::pair<std::string, Variant>> FItems;
};

class TDataStream : public TInterfacedObject, public IDataStream {
  VELA_INTERFACES(TInterfacedObject, IDataStream)
 public:
  TDataStream(TStream* stream, bool owns) : FStream(stream), FOwns(owns) {}
  ~TDataStream() override {
    if (FOwns) delete FStream;
  }
  int64_t Read(void* buffer, int64_t count) override {
    return count <= 0 ? 0 : static_cast<int64_t>(FStream->Read(buffer, static_cast<size_t>(count)));
  }
  int64_t Write(const void* buffer, int64_t count) override {
    return count <= 0 ? 0
                      : static_cast<int64_t>(FStream->Write(buffer, static_cast<size_t>(count)));
  }
  int64_t Seek(int64_t offset, int origin) override {
    TSeekOrigin o = origin == 1 ? soCurrent : origin == 2 ? soEnd : soBeginning;
    return FStream->Seek(offset, o);
  }
  int64_t Get_Size() override { return FStream->Size(); }
  void Set_Size(int64_t size) override { FStream->SetSize(size); }

 private:
  TStream* FStream;
  bool FOwns;
};

class TIntegerListData : public TInterfacedObject, public IIntegerListData {
  VELA_INTERFACES(TInterfacedObject, IIntegerListData)
 public:
  explicit TIntegerListData(std::vector<int64_t> items) : FItems(std::move(items)) {}
  int Get_Count() const override { return static_cast<int>(FItems.size()); }
  int64_t Get_Item(int index) const override {
    if (index < 0 || static_cast<size_t>(index) >= FItems.size())
      throw EListError("List index out of bounds (" + IntToStr(index) + ")");
    return FItems[static_cast<size_t>(index)];
  }
  void Add(int64_t value) override { FItems.push_back(value); }
  void Clear() override { FItems.clear(); }

 private:
  std::vector<int64_t> FItems;
};

}  // namespace

IPtr<IStringData> StrToStringData(std::string_view s) {
  return MakeIntf<TStringData, IStringData>(s);
}

std::string StringDataToStr(const IStringData* data) {
  return data ? data->Get_Text() : std::string();
}

IPtr<IStringListData> NewStringListData(const std::vector<std::string>& items) {
  return MakeIntf<TStringListData, IStringListData>(items);
}

std::vector<std::string> StringListDataToVector(const IStringListData* data) {
  return data ? data->Items() : std::vector<std::string>();
}

IPtr<IBinaryData> NewBinaryData(std::string_view bytes) {
  return MakeIntf<TBinaryData, IBinaryData>(bytes);
}

std::vector<uint8_t> BinaryDataToBin(const IBinaryData* data) {
  if (!data) return {};
  return std::vector<uint8_t>(data->Get_Data(), data->Get_Data() + data->Get_Size());
}

std::string BinaryDataToRawByteStr(const IBinaryData* data) {
  return data ? std::string(data->AsView()) : std::string();
}

IPtr<INamedVariantListData> NewNamedVariantListData() {
  return MakeIntf<TNamedVariantListData, INamedVariantListData>();
}

IPtr<INamedVariantListData> VarToVariantData(const Variant& v) {
  if (v.kind() == Variant::Kind::Interface)
    return Supports<INamedVariantListData>(v.GetInterface());
  if (v.kind() == Variant::Kind::String) {
    // name=value lines
    auto list = NewNamedVariantListData();
    std::vector<std::string> lines;
    SplitLines(v.GetString(), lines);
    for (const auto& line : lines) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      list->SetValueByName(line.substr(0, eq), Variant(line.substr(eq + 1)));
    }
    return list;
  }
  return nullptr;
}

IPtr<IStringListData> CommaTextToStringListData(std::string_view commaText) {
  TStringList sl;
  sl.SetCommaText(commaText);
  std::vector<std::string> items;
  items.reserve(static_cast<size_t>(sl.Count()));
  for (int i = 0; i < sl.Count(); ++i)
    items.push_back(sl[i]);
  return NewStringListData(items);
}

IPtr<IDataStream> NewDataStream(TStream* stream, bool owns) {
  return MakeIntf<TDataStream, IDataStream>(stream, owns);
}

IPtr<IIntegerListData> NewIntegerListData(const std::vector<int64_t>& items) {
  return MakeIntf<TIntegerListData, IIntegerListData>(items);
}

}  // namespace vela
