// The item kinds of the card library: the base item, the text property-line format shared by
// vCard, LDIF and vCalendar, the contact fields, and the quoted-printable encoder used for writing.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vcard/VCard.h"

namespace vela {

// A decoded property value: text in UTF-8, or raw bytes when it came base64-encoded.
struct TCardValue {
  std::string Data;
  bool IsBytes = false;
};

// One entry of a card (a contact, an event).
class TCustomCardItem {
 public:
  TCustomCardItem(TCustomCard* owner, TCardItemClass itemClass);
  virtual ~TCustomCardItem() = default;
  TCustomCardItem(const TCustomCardItem&) = delete;
  TCustomCardItem& operator=(const TCustomCardItem&) = delete;

  TCustomCard* Owner() const { return FOwner; }
  TCardItemClass ClassType() const { return FClass; }
  const TCardFieldDefList& FieldDefs() const { return *FFieldDefs; }

  // Parses a whole item from its text: the lines between its header and its footer.
  void ParseCardItem(std::string_view text);
  virtual void ParseCardLines(std::span<const std::string> lines) = 0;
  // Appends the item's lines of the definition kinds in the mask (FieldDefKindBit) to buffer.
  virtual void WriteToDataBuffer(TCardFormatDataBuffer& buffer, const std::string& fileName,
                                 unsigned kinds) = 0;

  // Field state by the rules of the definition choice: empty strings, zero numbers, dates not
  // after the minimum date, string lists without lines, empty item values, null variants.
  bool IsFieldEmpty(const TCardProperty& prop) const;
  // Sets a field to its empty value.
  void ResetField(const TCardProperty& prop);
  // Returns the item to the state of a new one, keeping the buffers of its text fields, so that
  // the next item of a file can be parsed into it; false for kinds that cannot (nothing changed).
  virtual bool Reset() { return false; }

 protected:
  TCustomCard* FOwner;
  TCardItemClass FClass;
  const TCardFieldDefList* FFieldDefs;
};

// Items in the text property-line format: NAME;PARAMS:VALUE lines with continuation lines.
class TCustomTextCardItem : public TCustomCardItem {
 public:
  using TCustomCardItem::TCustomCardItem;

  void ParseCardLines(std::span<const std::string> lines) override;
  void WriteToDataBuffer(TCardFormatDataBuffer& buffer, const std::string& fileName,
                         unsigned kinds) override;

  // One logical property line split into its parts.
  struct TPropertyLine {
    std::string Name;
    std::string Params;
    std::string Value;
    std::vector<std::string> Types;
    std::string Charset;
    std::string Encoding;
    bool Base64 = false;
  };

  // Splits a line into name, parameter text and value; false for a line that is no property.
  virtual bool SplitLine(std::string_view line, TPropertyLine& out) const;
  // Decodes the gathered value by its encoding and charset into out (its buffer is reused).
  virtual void DecodeValue(const TPropertyLine& line, TCardValue& out) const;
  // A line that continues the previous one (starts with a blank or a tab).
  virtual bool IsContinuationLine(std::string_view line) const;
  // Folds the lines of the buffer from firstLine on (see FoldsOutput).
  virtual void FoldLines(TCardFormatDataBuffer& buffer, int firstLine) const;
  // Encodes one field's text for output.
  virtual std::string EncodeValue(std::string_view value, const std::string& encoding,
                                  const std::string& charset) const;
  // Text escapes: "\n" and "=0D=0A" to CR LF, then "\\", "\;" and "\,".
  std::string UnescapeText(std::string_view value) const;
  // True when value holds anything UnescapeText changes.
  static bool HasTextEscapes(std::string_view value);
  // UnescapeText into out, whose buffer is reused.
  static void UnescapeTo(std::string_view value, std::string& out);
  // The encoding of text definitions when written.
  virtual std::string DefaultEncoding() const { return {}; }
  // The value of a definition without bound fields when written.
  virtual std::string GetFixedTagValue(const TFieldDef& def) const { return def.FixedValue; }
  // A line whose definition has no bound fields (VERSION, specials).
  virtual void ReadSpecialTag(const TFieldDef& def, const TCardValue& value);
  virtual std::string TypeSuffix(const TFieldDef& def) const;
  virtual std::string LinePrefix(const TFieldDef& def, const std::string& encoding,
                                 const std::string& charset) const;
  virtual std::string WriteDate(TDateTime value, const TFieldDef& def) const;
  virtual std::string WriteDateTime(TDateTime value, const TFieldDef& def) const;
  virtual std::string WriteBoolean(bool value) const { return value ? "1" : "0"; }

 protected:
  // True where line breaks in unencoded text are written as "\n" (else "=0D=0A").
  virtual bool EscapesNewlines() const { return false; }
  // The first character of a folded continuation line.
  virtual char ContinuationPrefix() const { return ' '; }
  // Whether written lines are folded at 75 characters.
  virtual bool FoldsOutput() const { return false; }
  // Hooks around reading and writing.
  virtual void BeforeWrite() {}
  virtual void AfterParse() {}
  // Stores one decoded line: by default through the definition choice.
  virtual void AssignLine(const TPropertyLine& line, const TCardValue& value);
  // The definition for a line, or nullptr (type fit, emptiness).
  const TFieldDef* ChooseDefinition(const TPropertyLine& line) const;
  // Converts text into the field by its type.
  void AssignFieldText(const TCardProperty& prop, std::string_view text, bool isBytes);
  // The text of a field before encoding.
  std::string FieldText(const TCardProperty& prop, const TFieldDef& def) const;
};

class TCustomTextFileNameCardItem : public TCustomTextCardItem {
 public:
  using TCustomTextCardItem::TCustomTextCardItem;
  // The file this item was last written to.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string name) { FFileName = std::move(name); }
  void WriteToDataBuffer(TCardFormatDataBuffer& buffer, const std::string& fileName,
                         unsigned kinds) override {
    if (!fileName.empty()) FFileName = fileName;
    TCustomTextCardItem::WriteToDataBuffer(buffer, fileName, kinds);
  }

 protected:
  std::string FFileName;
};

// The photo of a contact: raw image bytes.
class TVCardImage : public TCustomCardItemValue, public ICardItemValue {
  VELA_INTERFACES(TCustomCardItemValue, ICardItemValue)
 public:
  bool IsEmpty() const override { return FData.empty(); }
  void Clear() override { FData.clear(); }
  std::string AsText() const override { return FData; }
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  bool HasValue() override { return !FData.empty(); }
  Variant GetValue() override { return AsVariant(); }
  void SetValue(const Variant& value) override { SetAsVariant(value); }

  const std::string& Data() const { return FData; }
  void SetData(std::string bytes) { FData = std::move(bytes); }

 private:
  std::string FData;
};

// The contact fields shared by vCard and LDIF.
class TCustomAddressCardItem : public TCustomTextFileNameCardItem {
 public:
  TCustomAddressCardItem(TCustomCard* owner, TCardItemClass itemClass);
  static const TCardPropertyTable& Properties();
  bool Reset() override;

  // The stored formatted name, else "FirstName LastName" trimmed, else the organisation.
  std::string FormattedName() const;
  void SetFormattedName(std::string v) { FFormattedName = std::move(v); }

  std::string FirstName, SecondFirstName, LastName, NickName, Organization, Title, Greeting,
      NamePrefix, Gender;
  std::string AdrHomeStreetAddress, AdrHomeExtendedAddress, AdrHomePostOfficeBox, AdrHomeCity,
      AdrHomeRegion, AdrHomePostal, AdrHomeCountry;
  std::string AdrWorkStreetAddress, AdrWorkExtendedAddress, AdrWorkPostOfficeBox, AdrWorkCity,
      AdrWorkRegion, AdrWorkPostal, AdrWorkCountry;
  std::string AdrPostalStreetAddress, AdrPostalExtendedAddress, AdrPostalPostOfficeBox,
      AdrPostalCity, AdrPostalRegion, AdrPostalPostal, AdrPostalCountry;
  std::string Role, Email, Email2, Email3;
  std::string TelHomeVoice, TelHomeCellular, TelHomeFax, TelWorkVoice, TelWorkCellular, TelWorkFax;
  std::string Url;
  TStringList Notes, LabelHome, LabelWork, LabelPostal;
  TDateTime Birthday = MinDateTime;
  TVCardImage Photo;
  std::string UID, AccessClass;
  TDateTime Revision = MinDateTime;

 protected:
  std::string FFormattedName;
};

// A vCard: BEGIN:VCARD to END:VCARD.
class TVCardItem : public TCustomAddressCardItem {
 public:
  explicit TVCardItem(TCustomCard* owner);
  static const TCardItemClassInfo ClassInfo;
  static bool GetIsHeaderStart(std::string_view line);
  static bool GetIsFooterEnd(std::string_view line);
  static void BuildFieldDef(TCardFieldDefList& list);

  bool Reset() override;
  // The version of the owning TVCard (2.1 without one).
  TVCardVersion Version() const;
  std::string DefaultEncoding() const override;
  std::string GetFixedTagValue(const TFieldDef& def) const override;
  void ReadSpecialTag(const TFieldDef& def, const TCardValue& value) override;
  std::string WriteDate(TDateTime value, const TFieldDef& def) const override;
  std::string WriteDateTime(TDateTime value, const TFieldDef& def) const override;

 protected:
  bool EscapesNewlines() const override { return Version() == vcv30; }
  bool FoldsOutput() const override { return Version() == vcv30; }
  void BeforeWrite() override;

 private:
  TVCardVersion FVersion = vcv21;  // used without an owner
};

// An LDIF entry, from its dn: line on. Attribute values go to the contact fields by name.
class TLDifItem : public TCustomAddressCardItem {
 public:
  explicit TLDifItem(TCustomCard* owner);
  static const TCardItemClassInfo ClassInfo;
  static bool GetIsHeaderStart(std::string_view line);
  static bool GetIsFooterEnd(std::string_view /*line*/) { return false; }
  static void BuildFieldDef(TCardFieldDefList& list);

  bool SplitLine(std::string_view line, TPropertyLine& out) const override;
  void DecodeValue(const TPropertyLine& line, TCardValue& out) const override;
  void WriteToDataBuffer(TCardFormatDataBuffer& buffer, const std::string& fileName,
                         unsigned kinds) override;

 protected:
  void AssignLine(const TPropertyLine& line, const TCardValue& value) override;
};

// Quoted-printable encoding for property values: lines of at most about 70 characters with "="
// soft breaks, "=0D=0A=" between input lines, "." encoded in the first column.
class TCardEncoderQuotedPrintable {
 public:
  static std::string Encode(std::string_view bytes);
};

// Decodes "=XX" escapes (soft breaks are already removed by the line reader); "=" without two
// hexadecimal digits stays as it is.
std::string CardDecodeQuotedPrintable(std::string_view text);

// Registers TVCardItem, TLDifItem and TVCalendarItem (in this order) with the registry.
void RegisterStandardCardItemClasses();

}  // namespace vela
