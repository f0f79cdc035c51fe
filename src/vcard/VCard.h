// The card model: a card holds the items of one contact or calendar file, each item exposes its
// content as named fields, and field definitions bind the property lines of the file format to
// those fields. Reading and writing of the line format live in the item classes (VCardItem.h,
// VCalendarItem.h); this unit holds what they share.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/DateUtils.h"
#include "rtl/Interfaces.h"
#include "rtl/LineReader.h"
#include "rtl/Streams.h"
#include "rtl/Variants.h"

namespace vela {

class TCustomCard;
class TCustomCardItem;
class TCustomCardItemValue;
class TCardFieldDefList;
class TCardItemWriter;

// The type of an item field, as the import engines see it.
enum class TCardFieldType {
  cftString,
  cftInteger,
  cftBoolean,
  cftDate,
  cftDateTime,
  cftTime,
  cftStringList,
  cftItemValue,
  cftEnumeration,
  cftVariant
};

// One published field of an item class. Scalar fields are read and written as Variants of their
// own kind (strings, integers, Booleans, dates); string lists and item values are reached through
// the object they live in.
struct TCardProperty {
  const char* Name = "";
  TCardFieldType Type = TCardFieldType::cftString;
  const char* TypeName = "";  // the runtime's type name, e.g. "string", "TDateTime"
  Variant (*Get)(const TCustomCardItem&) = nullptr;
  void (*Set)(TCustomCardItem&, const Variant&) = nullptr;
  TStringList* (*List)(TCustomCardItem&) = nullptr;
  TCustomCardItemValue* (*Object)(TCustomCardItem&) = nullptr;
  // Optional direct access to a string field stored as a member: reading, emptiness and
  // assignment without a Variant, keeping the string's buffer.
  std::string& (*Text)(TCustomCardItem&) = nullptr;
  const std::string& TextOf(const TCustomCardItem& item) const {
    return Text(const_cast<TCustomCardItem&>(item));
  }
};

// The published fields of an item class in declaration order (base classes first).
using TCardPropertyTable = std::vector<TCardProperty>;

// The interface of structured field values that can hand out their value.
struct ICardItemValue : virtual IInterface {
  VELA_IID("{99A2AE7D-AD1E-44AB-BD2A-6E7914A338E5}");
  // True when the object holds a value worth handing out.
  virtual bool HasValue() = 0;
  virtual Variant GetValue() = 0;
  virtual void SetValue(const Variant& value) = 0;
};

// A structured field value (photo, recurrence). Owned by its item; references handed out through
// interfaces do not keep it alive.
class TCustomCardItemValue : public TInterfacedObject {
 public:
  TCustomCardItemValue() { SetFreeOnRelease(false); }
  virtual bool IsEmpty() const = 0;
  virtual void Clear() = 0;
  // The text written into the file (raw bytes for binary values).
  virtual std::string AsText() const = 0;
  // The value's own variant and its own setter.
  virtual Variant AsVariant() const = 0;
  virtual void SetAsVariant(const Variant& value) = 0;
};

// Definition kinds; the writer takes a mask of them.
enum TFieldDefKind : int { fdkHeader = 0, fdkData = 1, fdkFooter = 2 };
inline constexpr unsigned FieldDefKindBit(int kind) {
  return 1u << kind;
}
inline constexpr unsigned fdkAllKinds = 7;

struct TCardItemClassInfo;
using TCardItemClass = const TCardItemClassInfo*;

// Binds one property line (tag and types) to fields of an item class.
class TFieldDef {
 public:
  // types and fields are comma text; every field name must be published by the class.
  TFieldDef(TCardItemClass itemClass, std::string_view tag, std::string_view types, int kind,
            std::string_view fixedValue, std::string_view fields, std::string_view encoding = {},
            std::string_view charset = {}, bool isText = false);

  std::string Tag;
  std::vector<std::string> Types;
  int Kind = fdkData;
  std::string FixedValue;
  std::vector<const TCardProperty*> Fields;
  std::string Encoding;
  std::string Charset;
  bool IsText = false;
  // Options handed to the date-and-time writer: write the time, mark it as UTC.
  bool DateWithTime = true;
  bool DateAsUTC = true;

  std::string TypesCommaText() const;
  // True when every type of this definition is in the line's types (case ignored).
  bool TypesFit(const std::vector<std::string>& lineTypes) const;
};

// The definitions of one item class, in file order.
class TCardFieldDefList {
 public:
  explicit TCardFieldDefList(TCardItemClass itemClass) : FItemClass(itemClass) {}
  TFieldDef& Add(std::string_view tag, std::string_view types, int kind,
                 std::string_view fixedValue, std::string_view fields,
                 std::string_view encoding = {}, std::string_view charset = {},
                 bool isText = false);
  int Count() const { return static_cast<int>(FItems.size()); }
  const TFieldDef& operator[](int index) const { return *FItems[index]; }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }
  TCardItemClass ItemClass() const { return FItemClass; }
  // The definitions of a tag (case ignored) in file order; empty when there are none.
  std::span<const TFieldDef* const> ByTag(std::string_view tag) const;

 private:
  TCardItemClass FItemClass;
  std::vector<std::unique_ptr<TFieldDef>> FItems;
  std::vector<std::vector<const TFieldDef*>> FTagGroups;
};

// The class reference of an item kind: what the reader and the registry need without an instance.
struct TCardItemClassInfo {
  const char* ClassName;
  const TCardPropertyTable& (*Properties)();
  std::unique_ptr<TCustomCardItem> (*Create)(TCustomCard* owner);
  bool (*IsHeaderStart)(std::string_view line);
  bool (*IsFooterEnd)(std::string_view line);
  void (*BuildFieldDef)(TCardFieldDefList& list);
};

// The published field of a class by name (case ignored); nullptr when absent.
const TCardProperty* FindCardProperty(TCardItemClass itemClass, std::string_view name);

// --- item class registry (process-wide) ---
// The registered classes in registration order: TVCardItem, TLDifItem, TVCalendarItem.
const std::vector<TCardItemClass>& CardItemClasses();
void RegisterCardItemClass(TCardItemClass itemClass);
// The definitions of a class, built on first use and kept until the process ends.
const TCardFieldDefList& CardFieldDefs(TCardItemClass itemClass);

// The lines of a file being written, as byte strings.
class TCardFormatDataBuffer {
 public:
  void Add(std::string line) { FLines.push_back(std::move(line)); }
  int Count() const { return static_cast<int>(FLines.size()); }
  std::string& operator[](int index) { return FLines[index]; }
  const std::string& operator[](int index) const { return FLines[index]; }
  std::vector<std::string>& Lines() { return FLines; }
  const std::vector<std::string>& Lines() const { return FLines; }
  void Clear() { FLines.clear(); }
  // The lines joined with CR LF (no line end after the last).
  std::string Text() const;

 private:
  std::vector<std::string> FLines;
};

// The items of a card; owns them.
class TCardItemList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TCustomCardItem& operator[](int index) const { return *FItems.at(index); }
  TCustomCardItem& Add(std::unique_ptr<TCustomCardItem> item);
  void Delete(int index);
  void Clear();
  int IndexOf(const TCustomCardItem* item) const;
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::vector<std::unique_ptr<TCustomCardItem>> FItems;
};

// A file's worth of items: reads and writes files and strings, and offers the fields of its item
// class by index to the import engines.
class TCustomCard {
 public:
  explicit TCustomCard(TCardItemClass itemClass);
  virtual ~TCustomCard();
  TCustomCard(const TCustomCard&) = delete;
  TCustomCard& operator=(const TCustomCard&) = delete;

  TCardItemList& Items() { return FItems; }
  const TCardItemList& Items() const { return FItems; }
  int Count() const { return FItems.Count(); }
  TCardItemClass ItemClass() const { return FItemClass; }

  // Reading. With clear, the existing items are dropped first; a file that cannot be opened
  // raises EFOpenError.
  void LoadFromFile(const std::string& fileName, bool clear = true);
  // Reads from the stream's position to its end, line by line.
  void LoadFromStream(TStream& stream, bool clear = true);
  // Size of the blocks in which LoadFromFile, LoadFromStream and the item reader read; 0: the
  // default size.
  void SetReadBlockSize(size_t size) { FReadBlockSize = size; }
  size_t ReadBlockSize() const { return FReadBlockSize; }
  // Always drops the existing items before reading.
  void SetAsString(std::string_view text);

  // Writing: one item (SaveToFile) or all of them. The result is bytes in the file charset.
  void SaveToFile(TCustomCardItem& item, const std::string& fileName);
  void SaveAllToFile(const std::string& fileName);
  // The text that would be written: of one item, or of all items when item is nullptr.
  std::string GetAsString(TCustomCardItem* item = nullptr);
  virtual void Clear();

  // --- field access for the import engines ---
  int FieldCount() const { return static_cast<int>(FFieldNames.size()); }
  const std::string& GetFieldNames(int index) const { return FFieldNames.at(index); }
  // -1 when absent (case ignored).
  int GetFieldIndexByName(std::string_view name) const;
  const TCardProperty& GetFieldTypeInfo(int index) const;
  Variant GetValues(const TCustomCardItem& item, int index) const;
  void SetValues(TCustomCardItem& item, int index, const Variant& value) const;
  // Copies a field of item into a field of an item of the target card: the same as
  // target.SetValues(to, targetIndex, GetValues(from, index)), text and lines without a Variant.
  void CopyValue(const TCustomCardItem& from, int index, const TCustomCard& target,
                 TCustomCardItem& to, int targetIndex) const;

  // The charset of the file's text outside of lines that name their own charset. Empty means the
  // system's ANSI code page for writing, and for reading: valid UTF-8 as it is, else ANSI.
  const std::string& FileCharset() const { return FFileCharset; }
  void SetFileCharset(std::string charset) { FFileCharset = std::move(charset); }
  // File text (bytes) to UTF-8 and back by the file charset.
  std::string DecodeFileText(std::string_view bytes) const;
  std::string EncodeFileText(std::string_view utf8) const;

 protected:
  friend class TCardItemReader;
  friend class TCardItemWriter;
  // Text outside any item, handed over when the next item opens.
  virtual void ReadEnvelope(const std::vector<std::string>& lines);
  // Lines written before and after the items.
  virtual void WriteHeader(TCardFormatDataBuffer& buffer);
  virtual void WriteFooter(TCardFormatDataBuffer& buffer);

 private:
  // Writes one item, or all items when item is nullptr, with the card's opening and closing lines.
  void WriteAll(TCardItemWriter& writer, TCustomCardItem* item);
  const TCardProperty& ItemProperty(const TCustomCardItem& item, int index) const;

  TCardItemClass FItemClass;
  TCardItemList FItems;
  std::vector<std::string> FFieldNames;
  std::string FFileCharset;
  size_t FReadBlockSize = 0;
  mutable TCardItemClass FOtherClass = nullptr;
  mutable std::vector<const TCardProperty*> FOtherProperties;
};

// Reads the items of a card file one at a time, each parsed when it is asked for, so that only
// one item's lines are held. The items get the card as their owner but stay out of its item list;
// text outside the items reaches the card as LoadFromStream hands it over (LoadFromStream reads
// through this reader).
class TCardItemReader {
 public:
  // Reads from the stream's position on, in blocks of the card's read block size.
  TCardItemReader(TCustomCard& card, TStream& stream);
  // Opens the file; raises EFOpenError when it cannot be opened.
  TCardItemReader(TCustomCard& card, const std::string& fileName);
  TCardItemReader(const TCardItemReader&) = delete;
  TCardItemReader& operator=(const TCardItemReader&) = delete;

  // The next item in file order; nullptr when the file holds no further item.
  std::unique_ptr<TCustomCardItem> Next();
  // The same, parsed into the item held in slot when it is of the next item's class and can be
  // reset (its text buffers are reused), else into a new item put there. Returns the item, or
  // nullptr at the end.
  TCustomCardItem* Next(std::unique_ptr<TCustomCardItem>& slot);
  // The same, appended to the list before it is parsed: an item whose parsing fails stays in the
  // list as far as it was read.
  TCustomCardItem* NextInto(TCardItemList& list);

 private:
  // Reads up to the next item's footer; its class (nullptr at the end) and the first FLineCount
  // entries of FItemLines.
  TCardItemClass ReadItemLines();
  std::span<const std::string> ItemLines() const { return {FItemLines.data(), FLineCount}; }
  // The next line; false when none is left. The final line (the text after the last line end)
  // is flagged as last and trimmed of surrounding blanks.
  bool NextLine(std::string& line, bool& last);

  TCustomCard& FCard;
  std::unique_ptr<TStream> FOwnedStream;
  TLineReader FReader;
  bool FDone = false;
  std::string FLine;
  // The lines of the item being read; the strings are kept and refilled for the next item.
  std::vector<std::string> FItemLines;
  size_t FLineCount = 0;
  std::vector<std::string> FOutside;
};

// Writes the items of a card file one at a time: the card's opening lines first, each item's
// lines as it is handed over, the closing lines at Finish. Every line ends with CR LF. The items
// need not be in the card's list; SaveToFile, SaveAllToFile and GetAsString write through it.
class TCardItemWriter {
 public:
  // Writes into the stream at its position; fileName is what file-name-aware items remember.
  TCardItemWriter(TCustomCard& card, TStream& stream, std::string fileName = {});
  // Creates or replaces the file; raises EFCreateError when it cannot be created.
  TCardItemWriter(TCustomCard& card, const std::string& fileName);
  TCardItemWriter(const TCardItemWriter&) = delete;
  TCardItemWriter& operator=(const TCardItemWriter&) = delete;

  // Writes the opening lines; done by the first Write or Finish when not called before.
  void Start();
  void Write(TCustomCardItem& item);
  // Writes the closing lines and flushes a file; the file is complete only after it.
  void Finish();

 private:
  void Flush();

  TCustomCard& FCard;
  std::unique_ptr<TBufferedFileStream> FOwnedStream;
  TStream& FStream;
  std::string FFileName;
  TCardFormatDataBuffer FBuffer;
  std::string FText;
  bool FStarted = false;
};

// vCard versions.
enum TVCardVersion { vcv21, vcv30 };

class TVCardItem;

// A card of contacts (vCard 2.1/3.0, LDIF on reading).
class TVCard : public TCustomCard {
 public:
  TVCard();
  TVCardVersion VCardVersion() const { return FVCardVersion; }
  void SetVCardVersion(TVCardVersion v) { FVCardVersion = v; }
  // Appends a new contact.
  TVCardItem& CreateCard();

 private:
  TVCardVersion FVCardVersion = vcv21;
};

}  // namespace vela
