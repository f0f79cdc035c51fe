// Data schemas for the text import and the record reader that applies them.
//
// A data schema says how a line of a delimited or fixed-width text file is cut into fields, how
// the fields are named and typed, how dates and decimal numbers are written, and which other
// schema takes over for a line whose key field has a given value (sub-schemas, for files that mix
// several record kinds). Schemas are kept in schema files (*.tic) written and read through the
// module's own XML tree (_xmlTree). TImportData reads a file with a schema and reports records
// and fields through its events.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ImportEngine/_ImportParsedValue.h"
#include "rtl/Classes.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"

namespace vela {

class TStream;
class TXMLNode;
class TDataSchema;
class TDataSchemas;
class TImportFieldsDef;
class TSubSchemaLinks;
class TXMLTextImport;

// The schema's own field types. The engines' host data types (_BaseDataImportEngine) carry the
// same enumeration name and some of the same value names, so the schema's live in a namespace of
// their own.
namespace textschema {
enum TImportDataType { idtUnknown = 0, idtString = 1, idtInteger = 2, idtFloat = 3, idtDate = 4 };

// "idtUnknown" ... "idtDate".
const char* ImportDataTypeName(TImportDataType AType) noexcept;
// Exact match of one of the five names; idtUnknown for anything else.
TImportDataType ImportDataTypeFromName(std::string_view AName) noexcept;
}  // namespace textschema

// Kinds of reader errors.
enum TErrorType { ierUnknown = 0, ierRecord = 1, ierSchema = 2 };

// How a float field is written. DecimalSeparator 0 means implied decimals: the last Precision
// characters are the fraction. A field's own format with Precision kUnsetPrecision is unset and
// stands for the schema's.
struct TImportFloatFormat {
  static constexpr int32_t kUnsetPrecision = INT32_MIN;
  int32_t Precision = kUnsetPrecision;
  char32_t DecimalSeparator = 0;

  bool IsSet() const noexcept { return Precision != kUnsetPrecision; }
  bool operator==(const TImportFloatFormat&) const = default;
};

// An owning list of collection items; items know their collection and their index.
template <class TItem>
class TSchemaCollection {
 public:
  TSchemaCollection() = default;
  TSchemaCollection(const TSchemaCollection&) = delete;
  TSchemaCollection& operator=(const TSchemaCollection&) = delete;

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TItem* Items(int Index) const {
    if (Index < 0 || Index >= Count())
      throw EListError(Format("List index out of bounds (%d)", Index));
    return FItems[static_cast<size_t>(Index)].get();
  }
  int IndexOf(const TItem* AItem) const noexcept {
    for (size_t i = 0; i < FItems.size(); ++i)
      if (FItems[i].get() == AItem) return static_cast<int>(i);
    return -1;
  }
  void Delete(int Index) {
    Items(Index);
    FItems.erase(FItems.begin() + Index);
  }
  void Clear() { FItems.clear(); }

 protected:
  TItem* AddItem(std::unique_ptr<TItem> AItem) {
    FItems.push_back(std::move(AItem));
    return FItems.back().get();
  }

  std::vector<std::unique_ptr<TItem>> FItems;
};

// One field of a schema.
class TImportFieldDef {
 public:
  explicit TImportFieldDef(TImportFieldsDef* ACollection) : FCollection(ACollection) {}

  TImportFieldsDef* Collection() const noexcept { return FCollection; }
  int Index() const noexcept;

  // 1-based start column and width of a fixed-width field.
  int32_t StartOffset() const noexcept { return FStartOffset; }
  void SetStartOffset(int32_t AValue) noexcept { FStartOffset = AValue; }
  int32_t Length() const noexcept { return FLength; }
  void SetLength(int32_t AValue) noexcept { FLength = AValue; }
  const std::string& Descr() const noexcept { return FDescr; }
  void SetDescr(std::string AValue) { FDescr = std::move(AValue); }
  const std::string& FieldName() const noexcept { return FFieldName; }
  void SetFieldName(std::string AValue) { FFieldName = std::move(AValue); }
  textschema::TImportDataType DataType() const noexcept { return FDataType; }
  void SetDataType(textschema::TImportDataType AValue) noexcept { FDataType = AValue; }

  // The field's own date mask when set, else the owning schema's.
  const std::string& DateFormat() const noexcept;
  const std::string& OwnDateFormat() const noexcept { return FDateFormat; }
  void SetDateFormat(std::string AValue) { FDateFormat = std::move(AValue); }
  // The field's own float format when set, else the owning schema's.
  const TImportFloatFormat& FloatFormat() const noexcept;
  const TImportFloatFormat& OwnFloatFormat() const noexcept { return FFloatFormat; }
  void SetFloatFormat(const TImportFloatFormat& AValue) noexcept { FFloatFormat = AValue; }

 private:
  TImportFieldsDef* FCollection;
  int32_t FStartOffset = 0;
  int32_t FLength = 0;
  std::string FDescr;
  std::string FFieldName;
  textschema::TImportDataType FDataType = textschema::idtUnknown;
  std::string FDateFormat;
  TImportFloatFormat FFloatFormat;
};

class TImportFieldsDef : public TSchemaCollection<TImportFieldDef> {
 public:
  explicit TImportFieldsDef(TDataSchema* AOwnerSchema) : FOwnerSchema(AOwnerSchema) {}

  TImportFieldDef* Add() { return AddItem(std::make_unique<TImportFieldDef>(this)); }
  // Exact match on the field name; nullptr if none.
  TImportFieldDef* ByName(std::string_view AFieldName) const noexcept;
  TDataSchema* OwnerSchema() const noexcept { return FOwnerSchema; }

 private:
  TDataSchema* FOwnerSchema;
};

// A link to the schema that takes over when the linked field has the given value ("*" matches
// every value). A link without a schema marks a value that no schema describes.
class TSubSchemaLink {
 public:
  explicit TSubSchemaLink(TSubSchemaLinks* ACollection) : FCollection(ACollection) {}

  TSubSchemaLinks* Collection() const noexcept { return FCollection; }
  int Index() const noexcept;

  const std::string& FieldValue() const noexcept { return FFieldValue; }
  void SetFieldValue(std::string AValue) { FFieldValue = std::move(AValue); }
  TDataSchema* DataSchema() const noexcept { return FDataSchema; }
  void SetDataSchema(TDataSchema* AValue) noexcept { FDataSchema = AValue; }
  // A field of the owning schema.
  TImportFieldDef* Field() const noexcept { return FField; }
  void SetField(TImportFieldDef* AValue) noexcept { FField = AValue; }
  // Positions as stored in the schema file, resolved into Field and DataSchema after a load.
  int32_t FieldIndex() const noexcept { return FFieldIndex; }
  void SetFieldIndex(int32_t AValue) noexcept { FFieldIndex = AValue; }
  int32_t DataSchemaIndex() const noexcept { return FDataSchemaIndex; }
  void SetDataSchemaIndex(int32_t AValue) noexcept { FDataSchemaIndex = AValue; }

 private:
  TSubSchemaLinks* FCollection;
  std::string FFieldValue;
  TDataSchema* FDataSchema = nullptr;
  TImportFieldDef* FField = nullptr;
  int32_t FFieldIndex = -1;
  int32_t FDataSchemaIndex = -1;
};

class TSubSchemaLinks : public TSchemaCollection<TSubSchemaLink> {
 public:
  explicit TSubSchemaLinks(TDataSchema* AOwnerSchema) : FOwnerSchema(AOwnerSchema) {}

  TSubSchemaLink* Add() { return AddItem(std::make_unique<TSubSchemaLink>(this)); }
  TDataSchema* OwnerSchema() const noexcept { return FOwnerSchema; }

 private:
  TDataSchema* FOwnerSchema;
};

class TDataSchema {
 public:
  // Sets the flag defaults; the date mask and float format defaults come with TDataSchemas::Add.
  explicit TDataSchema(TDataSchemas* ACollection);
  TDataSchema(const TDataSchema&) = delete;
  TDataSchema& operator=(const TDataSchema&) = delete;

  TDataSchemas* OwnerSchemas() const noexcept { return FCollection; }
  int Index() const noexcept;

  // For a delimited schema without predefined fields: replaces the fields by one per value of
  // the file's first line, named "field1", "field2", ... with the value as description and the
  // type idtString. Raises EFOpenError when the file cannot be opened.
  void AutoAddFields(const std::string& DataFile);

  const std::string& Descr() const noexcept { return FDescr; }
  void SetDescr(std::string AValue) { FDescr = std::move(AValue); }
  const std::string& FileExt() const noexcept { return FFileExt; }
  void SetFileExt(std::string AValue) { FFileExt = std::move(AValue); }
  const std::string& SchemaName() const noexcept { return FSchemaName; }
  void SetSchemaName(std::string AValue) { FSchemaName = std::move(AValue); }
  TImportFieldsDef& FieldsDef() noexcept { return FFieldsDef; }
  const TImportFieldsDef& FieldsDef() const noexcept { return FFieldsDef; }
  const std::string& DefaultDateFormat() const noexcept { return FDefaultDateFormat; }
  void SetDefaultDateFormat(std::string AValue) { FDefaultDateFormat = std::move(AValue); }
  const TImportFloatFormat& DefaultFloatFormat() const noexcept { return FDefaultFloatFormat; }
  void SetDefaultFloatFormat(const TImportFloatFormat& AValue) noexcept {
    FDefaultFloatFormat = AValue;
  }
  // Delimited (true) or fixed-width (false).
  bool SeparatedFile() const noexcept { return FSeparatedFile; }
  void SetSeparatedFile(bool AValue) noexcept { FSeparatedFile = AValue; }
  // Only a separator of exactly one character ever matches.
  const std::string& FieldSeparator() const noexcept { return FFieldSeparator; }
  void SetFieldSeparator(std::string AValue) { FFieldSeparator = std::move(AValue); }
  TSubSchemaLinks& SubSchemaLinks() noexcept { return FSubSchemaLinks; }
  const TSubSchemaLinks& SubSchemaLinks() const noexcept { return FSubSchemaLinks; }
  // True when the schema file defined at least one field.
  bool HasPreDefinedFields() const noexcept { return FHasPreDefinedFields; }
  void SetHasPreDefinedFields(bool AValue) noexcept { FHasPreDefinedFields = AValue; }
  char32_t QuoteChar() const noexcept { return FQuoteChar; }
  void SetQuoteChar(char32_t AValue) noexcept { FQuoteChar = AValue; }
  bool UseFormatForDialog() const noexcept { return FUseFormatForDialog; }
  void SetUseFormatForDialog(bool AValue) noexcept { FUseFormatForDialog = AValue; }
  bool HasSettings() const noexcept { return FHasSettings; }
  void SetHasSettings(bool AValue) noexcept { FHasSettings = AValue; }
  bool FirstRowIsHeader() const noexcept { return FFirstRowIsHeader; }
  void SetFirstRowIsHeader(bool AValue) noexcept { FFirstRowIsHeader = AValue; }
  bool FileNameIsUserReadable() const noexcept { return FFileNameIsUserReadable; }
  void SetFileNameIsUserReadable(bool AValue) noexcept { FFileNameIsUserReadable = AValue; }
  bool CheckFileExt() const noexcept { return FCheckFileExt; }
  void SetCheckFileExt(bool AValue) noexcept { FCheckFileExt = AValue; }
  // The import format's GUID.
  const std::string& UID() const noexcept { return FUID; }
  void SetUID(std::string AValue) { FUID = std::move(AValue); }
  // Kept and written back; the import does not use it.
  const std::string& UniqueFieldGroupName() const noexcept { return FUniqueFieldGroupName; }
  void SetUniqueFieldGroupName(std::string AValue) { FUniqueFieldGroupName = std::move(AValue); }

 private:
  TDataSchemas* FCollection;
  std::string FDescr;
  std::string FFileExt;
  std::string FSchemaName;
  TImportFieldsDef FFieldsDef;
  std::string FDefaultDateFormat;
  TImportFloatFormat FDefaultFloatFormat;
  bool FSeparatedFile = false;
  std::string FFieldSeparator;
  TSubSchemaLinks FSubSchemaLinks;
  bool FHasPreDefinedFields = false;
  char32_t FQuoteChar = U'"';
  bool FUseFormatForDialog = true;
  bool FHasSettings = true;
  bool FFirstRowIsHeader = false;
  bool FFileNameIsUserReadable = true;
  bool FCheckFileExt = true;
  std::string FUID;
  std::string FUniqueFieldGroupName;
};

class TDataSchemas : public TSchemaCollection<TDataSchema> {
 public:
  TDataSchemas() = default;

  // A new schema with the date mask "yyyymmdd" and the float format precision 2, separator 0.
  TDataSchema* Add();
  // First exact, case-sensitive match; nullptr if none.
  TDataSchema* SchemaByName(std::string_view ASchemaName) const noexcept;
  TDataSchema* SchemaByFileExt(std::string_view AFileExt) const noexcept;

  // Append the schemas of a schema file to the collection and resolve the links of the whole
  // collection. Raise "Can't load ImportSchemas: invalid format!" when the document has no
  // element below the declaration.
  void LoadSchemasFromFile(const std::string& FileName);
  void LoadSchemasFromStream(TStream& AStream);
  // The one-line schema file: the text in the system's ANSI code page.
  void SaveSchemasToFile(const std::string& FileName) const;
  void SaveSchemasToStream(TStream& AStream) const;
  // The same document as UTF-8 text.
  std::string SchemasToText() const;

 private:
  void LoadSchema(const TXMLNode& ANode);
  void ResolveLinks();
};

// The values of one line, one per field, reused from line to line so that their buffers keep
// their capacity.
class TImportValues {
 public:
  int Count() const noexcept { return FCount; }
  bool IsEmpty() const noexcept { return FCount == 0; }
  const std::string& operator[](int Index) const { return FItems[static_cast<size_t>(Index)]; }
  std::string& operator[](int Index) { return FItems[static_cast<size_t>(Index)]; }
  void Clear() noexcept { FCount = 0; }
  // Appends an empty value and returns it for filling.
  std::string& Add() {
    if (static_cast<size_t>(FCount) == FItems.size()) FItems.emplace_back();
    std::string& s = FItems[static_cast<size_t>(FCount++)];
    s.clear();
    return s;
  }
  // Drops the last value.
  void Pop() noexcept {
    if (FCount > 0) --FCount;
  }
  // Drops values beyond ACount or adds empty ones up to it.
  void Fit(int ACount) {
    if (FCount > ACount) FCount = ACount;
    while (FCount < ACount)
      Add();
  }
  std::vector<std::string> ToVector() const {
    return std::vector<std::string>(FItems.begin(), FItems.begin() + FCount);
  }

 private:
  std::vector<std::string> FItems;
  int FCount = 0;
};

// UTF-8 text of one character (code point).
std::string CharToUtf8(char32_t AChar);

// Cuts a delimited line into values (appended to Values). Separator and Quote are the UTF-8 text
// of one character each; a separator of any other length never matches. Quote runs: an odd run
// toggles quoting, two quotes directly before the separator close an empty quoted field, any other
// even run stands for literal quotes. Consecutive separators give empty values; an empty last
// field adds no value.
void SplitDelimitedLine(std::string_view Line, std::string_view Separator, std::string_view Quote,
                        TImportValues& Values);
// Whether a line ends inside an open quoted field (an odd number of quote characters).
bool IsInQuotedFieldData(std::string_view Line, std::string_view Quote);

class TImportData {
 public:
  using TFieldEvent = std::function<void(TImportData* Sender, TDataSchema* DataSchema, int RecNo,
                                         const std::string& Value, TImportFieldDef* Field)>;
  using TImportEvent = std::function<void(TImportData* Sender, TDataSchema* DataSchema)>;
  using TRecordEvent = std::function<void(TImportData* Sender, TDataSchema* DataSchema, int RecNo)>;
  using TImportErrorEvent =
      std::function<void(TImportData* Sender, TImportFieldDef* Field, std::string& Value,
                         const Exception& AException, int ARecNo, TErrorType ErrorType)>;
  using TRecordFieldsEvent = std::function<void(TImportData* Sender, TDataSchema* DataSchema,
                                                int RecNo, const TImportValues& Values)>;

  explicit TImportData(TXMLTextImport* AXMLTextImport) : FOwnerXMLTextImport(AXMLTextImport) {}

  // Reads the file with the schema and fires the events. The file is opened for reading, others
  // denied writing. The silent abort ends the import normally; other exceptions leave it. The
  // end import event fires in every case.
  void StartImport(const std::string& DataFile, TDataSchema* DataSchema);
  // The same on a stream, from its position.
  void StartImport(TStream& Data, TDataSchema* DataSchema);

  TXMLTextImport* OwnerXMLTextImport() const noexcept { return FOwnerXMLTextImport; }
  void SetOnField(TFieldEvent AEvent) { FOnField = std::move(AEvent); }
  void SetOnStartImport(TImportEvent AEvent) { FOnStartImport = std::move(AEvent); }
  void SetOnEndImport(TImportEvent AEvent) { FOnEndImport = std::move(AEvent); }
  void SetOnStartRecord(TRecordEvent AEvent) { FOnStartRecord = std::move(AEvent); }
  void SetOnEndRecord(TRecordEvent AEvent) { FOnEndRecord = std::move(AEvent); }
  void SetOnError(TImportErrorEvent AEvent) { FOnError = std::move(AEvent); }
  void SetOnRecordFields(TRecordFieldsEvent AEvent) { FOnRecordFields = std::move(AEvent); }
  bool NoWarnOnZeroDate() const noexcept { return FNoWarnOnZeroDate; }
  void SetNoWarnOnZeroDate(bool AValue) noexcept { FNoWarnOnZeroDate = AValue; }
  // The 8-bit code page for files that are neither UTF-8 nor UTF-16 (0: the system's).
  int CodePage() const noexcept { return FCodePage; }
  void SetCodePage(int AValue) noexcept { FCodePage = AValue; }
  // Size of each read from the file (and of the chunk that decides the encoding).
  size_t BlockSize() const noexcept { return FBlockSize; }
  void SetBlockSize(size_t AValue) noexcept { FBlockSize = AValue; }

  // The physical line (1-based) at which the record being read began; 0 before the first.
  int64_t RecordLine() const noexcept { return FRecordLine; }

  // Converts Value for the field by its type in place. On failure returns false and sets
  // AError; Value is then unchanged. Parsed, when given, receives the integer, number or date
  // that the converted text reads back as (through the runtime's StrToInt64, StrToFloat and
  // StrToDate with the current settings); it is left empty for text fields, on failure and
  // where the text would not read back as the same value.
  static bool ConvertValue(const TImportFieldDef& AField, std::string& Value, std::string& AError,
                           std::optional<TImportParsedValue>* Parsed = nullptr);
  // During the field event: the parsed value of the field's text (see ConvertValue); empty
  // when its conversion failed or the text stands for no number or date.
  const std::optional<TImportParsedValue>& FieldParsed() const noexcept { return FParsed; }

 private:
  void ReadRecords(TStream& Data, TDataSchema* DataSchema);
  void ReportConversion(TImportFieldDef* AField, std::string& Value, int ARecNo);

  TXMLTextImport* FOwnerXMLTextImport;
  TFieldEvent FOnField;
  TImportEvent FOnEndImport;
  TImportEvent FOnStartImport;
  TRecordEvent FOnEndRecord;
  TRecordEvent FOnStartRecord;
  std::optional<TImportParsedValue> FParsed;
  TDataSchema* FCurrentDataSchema = nullptr;  // never set while reading: the events get nullptr
  TImportErrorEvent FOnError;
  bool FNoWarnOnZeroDate = false;
  TRecordFieldsEvent FOnRecordFields;
  int FCodePage = 0;
  size_t FBlockSize = 64 * 1024;
  int64_t FRecordLine = 0;
  // Per import, reused from line to line.
  TImportValues FValues;
  std::vector<TDataSchema*> FSchemaStack;
};

// Owns a schema collection and the reader.
class TXMLTextImport : public TObject {
 public:
  TXMLTextImport();
  ~TXMLTextImport() override;

  TDataSchemas& DataSchemas() noexcept { return *FDataSchemas; }
  TImportData& ImportData() noexcept { return *FImportData; }

 private:
  std::unique_ptr<TDataSchemas> FDataSchemas;
  std::unique_ptr<TImportData> FImportData;
};

}  // namespace vela
