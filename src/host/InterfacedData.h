// Interfaced data transports: the forms in which strings, string lists, option lists, binary
// content and streams cross host and module interfaces. Each is a reference-counted interface,
// so a caller may keep what it received.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Interfaces.h"
#include "rtl/Variants.h"

namespace vela {

class TStream;

struct IStringData : virtual IInterface {
  VELA_IID("{5C1F3E0B-7A64-4E43-9A0C-1D8C2B7E4A01}");
  virtual std::string Get_Text() const = 0;
  virtual void Set_Text(std::string_view text) = 0;
};

// An ordered list of strings (name=value lines where the caller uses them so).
struct IStringListData : virtual IInterface {
  VELA_IID("{5C1F3E0B-7A64-4E43-9A0C-1D8C2B7E4A02}");
  virtual int Get_Count() const = 0;
  virtual std::string Get_Item(int index) const = 0;
  virtual void Set_Item(int index, std::string_view value) = 0;
  virtual void Add(std::string_view value) = 0;
  virtual void Clear() = 0;
  // Lines joined by CR LF, with a trailing CR LF (empty list: empty text).
  virtual std::string Get_Text() const = 0;
  // Splits at CR LF, LF or CR.
  virtual void Set_Text(std::string_view text) = 0;
  virtual const std::vector<std::string>& Items() const = 0;
};

// Binary content (raw bytes).
struct IBinaryData : virtual IInterface {
  VELA_IID("{5C1F3E0B-7A64-4E43-9A0C-1D8C2B7E4A03}");
  virtual size_t Get_Size() const = 0;
  virtual const uint8_t* Get_Data() const = 0;
  virtual void Set_Data(const void* data, size_t size) = 0;
  virtual std::string_view AsView() const = 0;
};

// Named values in insertion order; names compare ignoring ASCII case.
struct INamedVariantListData : virtual IInterface {
  VELA_IID("{5C1F3E0B-7A64-4E43-9A0C-1D8C2B7E4A04}");
  virtual int Get_Count() const = 0;
  virtual std::string Get_Name(int index) const = 0;
  virtual Variant Get_Value(int index) const = 0;
  virtual void Set_Value(int index, const Variant& value) = 0;
  // -1 when absent.
  virtual int IndexOf(std::string_view name) const = 0;
  // Unassigned (Empty) when absent.
  virtual Variant ValueByName(std::string_view name) const = 0;
  // Replaces the value of an existing name or appends a new entry.
  virtual void SetValueByName(std::string_view name, const Variant& value) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
};

// A stream behind an interface. Reads and writes move the position.
struct IDataStream : virtual IInterface {
  VELA_IID("{5C1F3E0B-7A64-4E43-9A0C-1D8C2B7E4A05}");
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // origin: 0 beginning, 1 current, 2 end. Returns the new position.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  virtual int64_t Get_Size() = 0;
  // Cuts or extends the data; the position stays where it was, within the new size.
  virtual void Set_Size(int64_t size) = 0;
};

// A list of 64-bit integers (record ids and the like).
struct IIntegerListData : virtual IInterface {
  VELA_IID("{5C1F3E0B-7A64-4E43-9A0C-1D8C2B7E4A06}");
  virtual int Get_Count() const = 0;
  virtual int64_t Get_Item(int index) const = 0;
  virtual void Add(int64_t value) = 0;
  virtual void Clear() = 0;
};

// --- factories and conversions ---
IPtr<IStringData> StrToStringData(std::string_view s);
// nil gives ''.
std::string StringDataToStr(const IStringData* data);
inline std::string StringDataToStr(const IPtr<IStringData>& data) {
  return StringDataToStr(data.get());
}

IPtr<IStringListData> NewStringListData(const std::vector<std::string>& items = {});
// Splits comma text (as TStringList::CommaText reads it) into a new list.
IPtr<IStringListData> CommaTextToStringListData(std::string_view commaText);
// nil gives an empty list.
std::vector<std::string> StringListDataToVector(const IStringListData* data);

IPtr<IBinaryData> NewBinaryData(std::string_view bytes = {});
// The content as bytes; nil gives an empty vector.
std::vector<uint8_t> BinaryDataToBin(const IBinaryData* data);
// The content as a byte string (no conversion); nil gives ''.
std::string BinaryDataToRawByteStr(const IBinaryData* data);

IPtr<INamedVariantListData> NewNamedVariantListData();
// A variant holding an INamedVariantListData (or name=value lines as text) becomes a list;
// anything else (Empty, Null, other interfaces) gives nil.
IPtr<INamedVariantListData> VarToVariantData(const Variant& v);

// Wraps a stream; when owns is true the stream is deleted with the interface.
IPtr<IDataStream> NewDataStream(TStream* stream, bool owns);

IPtr<IIntegerListData> NewIntegerListData(const std::vector<int64_t>& items = {});

}  // namespace vela
