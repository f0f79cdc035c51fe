#include "vcard/VCard.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/LineReader.h"
#include "rtl/SysUtils.h"
#include "vcard/VCardItem.h"
#include "vcard/VCardProps.h"

namespace vela {

namespace {

// Items of comma text as the definition tables write them ("HOME,VOICE"); blanks around items
// are dropped.
std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> result;
  if (Trim(text).empty()) return result;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string item =
        Trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    if (!item.empty()) result.push_back(std::move(item));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return result;
}

struct TRegistry {
  std::mutex Lock;
  std::vector<TCardItemClass> Classes;
  std::map<TCardItemClass, std::unique_ptr<TCardFieldDefList>> Defs;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

void EnsureStandardClasses() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterStandardCardItemClasses(); });
}

}  // namespace

// --- TFieldDef ---

TFieldDef::TFieldDef(TCardItemClass itemClass, std::string_view tag, std::string_view types,
                     int kind, std::string_view fixedValue, std::string_view fields,
                     std::string_view encoding, std::string_view charset, bool isText)
    : Tag(tag),
      Types(SplitCommaText(types)),
      Kind(kind),
      FixedValue(fixedValue),
      Encoding(encoding),
      Charset(charset),
      IsText(isText) {
  for (const std::string& name : SplitCommaText(fields)) {
    const TCardProperty* prop = FindCardProperty(itemClass, name);
    Assert(prop != nullptr, "Property " + name + " not found! on class!");
    Fields.push_back(prop);
  }
}

std::string TFieldDef::TypesCommaText() const {
  std::string s;
  for (const std::string& t : Types) {
    if (!s.empty()) s += ',';
    s += t;
  }
  return s;
}

bool TFieldDef::TypesFit(const std::vector<std::string>& lineTypes) const {
  for (const std::string& t : Types) {
    bool found = false;
    for (const std::string& lt : lineTypes)
      if (SameName(t, lt)) {
        found = true;
        break;
      }
    if (!found) return false;
  }
  return true;
}

TFieldDef& TCardFieldDefList::Add(std::string_view tag, std::string_view types, int kind,
                                  std::string_view fixedValue, std::string_view fields,
                                  std::string_view encoding, std::string_view charset,
                                  bool isText) {
  FItems.push_back(std::make_unique<TFieldDef>(FItemClass, tag, types, kind, fixedValue, fields,
                                               encoding, charset, isText));
  const TFieldDef* def = FItems.back().get();
  auto group = std::find_if(FTagGroups.begin(), FTagGroups.end(),
                            [&](const auto& g) { return SameText(g.front()->Tag, def->Tag); });
  if (group == FTagGroups.end())
    FTagGroups.push_back({def});
  else
    group->push_back(def);
  return *FItems.back();
}

std::span<const TFieldDef* const> TCardFieldDefList::ByTag(std::string_view tag) const {
  for (const auto& g : FTagGroups) {
    if (SameName(g.front()->Tag, tag)) return g;
  }
  return {};
}

const TCardProperty* FindCardProperty(TCardItemClass itemClass, std::string_view name) {
  for (const TCardProperty& p : itemClass->Properties())
    if (SameText(p.Name, name)) return &p;
  return nullptr;
}

// --- registry ---

const std::vector<TCardItemClass>& CardItemClasses() {
  EnsureStandardClasses();
  return Registry().Classes;
}

void RegisterCardItemClass(TCardItemClass itemClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  for (TCardItemClass c : r.Classes)
    if (c == itemClass) return;
  r.Classes.push_back(itemClass);
}

const TCardFieldDefList& CardFieldDefs(TCardItemClass itemClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  auto& slot = r.Defs[itemClass];
  if (!slot) {
    auto list = std::make_unique<TCardFieldDefList>(itemClass);
    itemClass->BuildFieldDef(*list);
    slot = std::move(list);
  }
  return *slot;
}

// --- buffers and lists ---

std::string TCardFormatDataBuffer::Text() const {
  std::string s;
  size_t n = 0;
  for (const std::string& l : FLines)
    n += l.size() + 2;
  s.reserve(n);
  for (size_t i = 0; i < FLines.size(); ++i) {
    if (i) s += "\r\n";
    s += FLines[i];
  }
  return s;
}

TCustomCardItem& TCardItemList::Add(std::unique_ptr<TCustomCardItem> item) {
  FItems.push_back(std::move(item));
  return *FItems.back();
}

void TCardItemList::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  FItems.erase(FItems.begin() + index);
}

void TCardItemList::Clear() {
  FItems.clear();
}

int TCardItemList::IndexOf(const TCustomCardItem* item) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == item) return static_cast<int>(i);
  return -1;
}

// --- TCustomCard ---

TCustomCard::TCustomCard(TCardItemClass itemClass) : FItemClass(itemClass) {
  EnsureStandardClasses();
  for (const TCardProperty& p : itemClass->Properties())
    FFieldNames.emplace_back(p.Name);
}

TCustomCard::~TCustomCard() = default;

void TCustomCard::Clear() {
  FItems.Clear();
}

void TCustomCard::LoadFromFile(const std::string& fileName, bool clear) {
  if (clear) Clear();
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream, false);
}

void TCustomCard::SetAsString(std::string_view text) {
  Clear();
  TStringStream stream{std::string(text)};
  LoadFromStream(stream, false);
}

void TCustomCard::LoadFromStream(TStream& stream, bool clear) {
  if (clear) Clear();
  TCardItemReader reader(*this, stream);
  while (reader.NextInto(FItems)) {
  }
}

void TCustomCard::ReadEnvelope(const std::vector<std::string>& /*lines*/) {}
void TCustomCard::WriteHeader(TCardFormatDataBuffer& /*buffer*/) {}
void TCustomCard::WriteFooter(TCardFormatDataBuffer& /*buffer*/) {}

void TCustomCard::WriteAll(TCardItemWriter& writer, TCustomCardItem* item) {
  writer.Start();
  if (item) {
    writer.Write(*item);
  } else {
    for (const auto& i : FItems)
      writer.Write(*i);
  }
  writer.Finish();
}

std::string TCustomCard::GetAsString(TCustomCardItem* item) {
  TStringStream stream;
  TCardItemWriter writer(*this, stream);
  WriteAll(writer, item);
  return stream.DataString();
}

void TCustomCard::SaveToFile(TCustomCardItem& item, const std::string& fileName) {
  TCardItemWriter writer(*this, fileName);
  WriteAll(writer, &item);
}

void TCustomCard::SaveAllToFile(const std::string& fileName) {
  TCardItemWriter writer(*this, fileName);
  WriteAll(writer, nullptr);
}

// --- TCardItemReader ---

// The lines are cut at LF; the CR of a CR LF pair is dropped, a lone CR stays part of the line.
// The card decodes each value by the charset of its line or of the card, so the bytes of a line
// reach it as they are; only a UTF-16 file is decoded to UTF-8, and a byte-order mark is dropped.
TCardItemReader::TCardItemReader(TCustomCard& card, TStream& stream)
    : FCard(card),
      FReader(stream, 0,
              card.ReadBlockSize() != 0 ? card.ReadBlockSize() : TLineReader::kDefaultBlockSize,
              TLineReaderMode::Bytes, TLineEnds::LfOnly) {}

TCardItemReader::TCardItemReader(TCustomCard& card, const std::string& fileName)
    : FCard(card),
      FOwnedStream(std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite)),
      FReader(*FOwnedStream, 0,
              card.ReadBlockSize() != 0 ? card.ReadBlockSize() : TLineReader::kDefaultBlockSize,
              TLineReaderMode::Bytes, TLineEnds::LfOnly) {}

bool TCardItemReader::NextLine(std::string& line, bool& last) {
  if (FDone) return false;
  last = !FReader.ReadLine(line) || !FReader.LineEnded();
  if (last) {
    FDone = true;
    line = Trim(line);
  }
  return true;
}

std::unique_ptr<TCustomCardItem> TCardItemReader::Next() {
  TCardItemClass itemClass = ReadItemLines();
  if (!itemClass) return nullptr;
  std::unique_ptr<TCustomCardItem> item = itemClass->Create(&FCard);
  item->ParseCardLines(ItemLines());
  return item;
}

TCustomCardItem* TCardItemReader::Next(std::unique_ptr<TCustomCardItem>& slot) {
  TCardItemClass itemClass = ReadItemLines();
  if (!itemClass) return nullptr;
  if (!slot || slot->ClassType() != itemClass || slot->Owner() != &FCard || !slot->Reset())
    slot = itemClass->Create(&FCard);
  slot->ParseCardLines(ItemLines());
  return slot.get();
}

TCustomCardItem* TCardItemReader::NextInto(TCardItemList& list) {
  TCardItemClass itemClass = ReadItemLines();
  if (!itemClass) return nullptr;
  TCustomCardItem& item = list.Add(itemClass->Create(&FCard));
  item.ParseCardLines(ItemLines());
  return &item;
}

TCardItemClass TCardItemReader::ReadItemLines() {
  FLineCount = 0;
  const std::vector<TCardItemClass>& classes = CardItemClasses();
  TCardItemClass open = nullptr;
  bool last = false;
  while (true) {
    // Inside an item the line is read straight into the next kept string of the item's lines.
    if (open && FLineCount == FItemLines.size()) FItemLines.emplace_back();
    std::string& line = open ? FItemLines[FLineCount] : FLine;
    if (!NextLine(line, last)) break;
    if (!open) {
      for (TCardItemClass c : classes)
        if (c->IsHeaderStart(line)) {
          open = c;
          break;
        }
      if (open) {
        if (!FOutside.empty()) {
          FCard.ReadEnvelope(FOutside);
          FOutside.clear();
        }
      } else {
        FOutside.push_back(std::move(FLine));
      }
      continue;
    }
    if (open->IsFooterEnd(line) || last) return open;
    ++FLineCount;
  }
  if (!FOutside.empty()) {
    FCard.ReadEnvelope(FOutside);
    FOutside.clear();
  }
  return nullptr;
}

// --- TCardItemWriter ---

TCardItemWriter::TCardItemWriter(TCustomCard& card, TStream& stream, std::string fileName)
    : FCard(card), FStream(stream), FFileName(std::move(fileName)) {}

TCardItemWriter::TCardItemWriter(TCustomCard& card, const std::string& fileName)
    : FCard(card),
      FOwnedStream(std::make_unique<TBufferedFileStream>(fileName, fmCreate)),
      FStream(*FOwnedStream),
      FFileName(fileName) {}

void TCardItemWriter::Flush() {
  FText.clear();
  for (const std::string& l : FBuffer.Lines()) {
    FText += l;
    FText += "\r\n";
  }
  FBuffer.Clear();
  FStream.WriteString(FText);
}

void TCardItemWriter::Start() {
  if (FStarted) return;
  FStarted = true;
  FCard.WriteHeader(FBuffer);
  Flush();
}

void TCardItemWriter::Write(TCustomCardItem& item) {
  Start();
  item.WriteToDataBuffer(FBuffer, FFileName, fdkAllKinds);
  Flush();
}

void TCardItemWriter::Finish() {
  Start();
  FCard.WriteFooter(FBuffer);
  Flush();
  if (FOwnedStream) FOwnedStream->FlushBuffer();
}

std::string TCustomCard::DecodeFileText(std::string_view bytes) const {
  if (IsAscii(bytes)) return std::string(bytes);
  if (FFileCharset.empty()) return DecodeText(bytes);
  return CharsetToUtf8(bytes, FFileCharset);
}

std::string TCustomCard::EncodeFileText(std::string_view utf8) const {
  if (IsAscii(utf8)) return std::string(utf8);
  if (FFileCharset.empty()) return Utf8ToCodePage(utf8, SystemAnsiCodePage());
  return Utf8ToCharset(utf8, FFileCharset);
}

// --- field access ---

int TCustomCard::GetFieldIndexByName(std::string_view name) const {
  for (size_t i = 0; i < FFieldNames.size(); ++i)
    if (SameText(FFieldNames[i], name)) return static_cast<int>(i);
  return -1;
}

// The field names are the class's published properties in order, so an index is a position in
// its table.
const TCardProperty& TCustomCard::GetFieldTypeInfo(int index) const {
  GetFieldNames(index);  // raises on an index out of range
  return FItemClass->Properties()[index];
}

// The property of the item's own class for a field of the card (items of another registered
// class, such as LDIF entries in a vCard card, publish the same contact fields). The positions
// in the last other class asked for are kept, as an import asks for every field of every item.
const TCardProperty& TCustomCard::ItemProperty(const TCustomCardItem& item, int index) const {
  if (item.ClassType() == FItemClass) return GetFieldTypeInfo(index);
  if (FOtherClass != item.ClassType()) {
    FOtherClass = nullptr;
    FOtherProperties.clear();
    for (const std::string& name : FFieldNames)
      FOtherProperties.push_back(FindCardProperty(item.ClassType(), name));
    FOtherClass = item.ClassType();
  }
  const TCardProperty* p = FOtherProperties.at(index);
  if (!p) Assert(false, "Property " + GetFieldNames(index) + " not found! on class!");
  return *p;
}

Variant TCustomCard::GetValues(const TCustomCardItem& item, int index) const {
  const TCardProperty& p = ItemProperty(item, index);
  auto& mutableItem = const_cast<TCustomCardItem&>(item);
  switch (p.Type) {
    case TCardFieldType::cftDate:
    case TCardFieldType::cftDateTime:
    case TCardFieldType::cftTime:
      return Variant::FromDateTime(p.Get(item).AsDateTime());
    case TCardFieldType::cftStringList:
      return Variant(p.List(mutableItem)->Text());
    case TCardFieldType::cftItemValue: {
      TCustomCardItemValue* obj = p.Object(mutableItem);
      if (auto intf = Supports<ICardItemValue>(obj); intf && intf->HasValue())
        return Variant(IPtr<IInterface>(intf));
      return obj->AsVariant();
    }
    default:
      return p.Get(item);
  }
}

void TCustomCard::SetValues(TCustomCardItem& item, int index, const Variant& value) const {
  const TCardProperty& p = ItemProperty(item, index);
  if (value.IsNull()) {
    item.ResetField(p);
    return;
  }
  switch (p.Type) {
    case TCardFieldType::cftDate:
    case TCardFieldType::cftDateTime:
    case TCardFieldType::cftTime:
      p.Set(item, Variant::FromDateTime(VarToDateTime(value)));
      break;
    case TCardFieldType::cftStringList:
      p.List(item)->SetText(VarToStr(value));
      break;
    case TCardFieldType::cftItemValue: {
      TCustomCardItemValue* obj = p.Object(item);
      if (value.kind() == Variant::Kind::Interface) {
        auto source = Supports<ICardItemValue>(value.GetInterface());
        auto target = Supports<ICardItemValue>(obj);
        if (source && target) {
          target->SetValue(source->GetValue());
          break;
        }
        if (source) {
          obj->SetAsVariant(source->GetValue());
          break;
        }
      }
      obj->SetAsVariant(value);
      break;
    }
    case TCardFieldType::cftInteger:
    case TCardFieldType::cftEnumeration:
      p.Set(item, Variant(value.AsInteger()));
      break;
    case TCardFieldType::cftBoolean:
      p.Set(item, Variant(value.AsBoolean()));
      break;
    case TCardFieldType::cftString:
      p.Set(item, Variant(VarToStr(value)));
      break;
    case TCardFieldType::cftVariant:
      p.Set(item, value);
      break;
  }
}

void TCustomCard::CopyValue(const TCustomCardItem& from, int index, const TCustomCard& target,
                            TCustomCardItem& to, int targetIndex) const {
  const TCardProperty& sp = ItemProperty(from, index);
  const TCardProperty& tp = target.ItemProperty(to, targetIndex);
  if (sp.Type == TCardFieldType::cftString && tp.Type == TCardFieldType::cftString && sp.Text &&
      tp.Text) {
    tp.Text(to).assign(sp.TextOf(from));
    return;
  }
  if (sp.Type == TCardFieldType::cftStringList && tp.Type == TCardFieldType::cftStringList) {
    // Lines without line breaks come through the text round trip unchanged: copied one by one.
    const TStringList& lines = *sp.List(const_cast<TCustomCardItem&>(from));
    TStringList& out = *tp.List(to);
    if (std::none_of(lines.begin(), lines.end(), [](const std::string& l) {
          return l.find('\n') != std::string::npos || l.find('\r') != std::string::npos;
        })) {
      out.Clear();
      for (const std::string& l : lines)
        out.Add(l);
    } else {
      out.SetText(lines.Text());
    }
    return;
  }
  target.SetValues(to, targetIndex, GetValues(from, index));
}

// --- TVCard ---

TVCard::TVCard() : TCustomCard(&TVCardItem::ClassInfo) {}

TVCardItem& TVCard::CreateCard() {
  return static_cast<TVCardItem&>(Items().Add(std::make_unique<TVCardItem>(this)));
}

}  // namespace vela
