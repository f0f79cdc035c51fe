// The runtime's string list: ordered UTF-8 lines with optional objects, name=value access,
// sorting, and the runtime's text, comma text and delimited text formats.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

// Root of classes whose instances lists can own. Lists that own their objects delete them
// through this virtual destructor.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;
};

class TStream;

// What a sorted list does with an added string that is already in it.
enum TDuplicates { dupIgnore, dupAccept, dupError };

// Lines with an object each. Objects are plain TObject pointers: when OwnsObjects is set the
// list owns them and deletes them when their line is deleted, replaced, or the list is cleared
// or destroyed; otherwise they are references that the list never touches.
//
// Comparisons (IndexOf, IndexOfName, Find, sorting) fold ASCII case unless CaseSensitive is set;
// case-sensitive comparison is byte order.
class TStringList : public TObject {
 public:
  // Compares the lines at index1 and index2; < 0, 0 or > 0 like strcmp.
  using TStringListSortCompare = std::function<int(const TStringList&, int index1, int index2)>;
  using const_iterator = std::vector<std::string>::const_iterator;

  TStringList() = default;
  explicit TStringList(bool ownsObjects) : FOwnsObjects(ownsObjects) {}
  TStringList(std::initializer_list<std::string_view> lines);
  ~TStringList() override;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;
  TStringList(TStringList&& other) noexcept;
  TStringList& operator=(TStringList&& other) noexcept;

  int Count() const noexcept { return static_cast<int>(FStrings.size()); }
  bool IsEmpty() const noexcept { return FStrings.empty(); }
  void Reserve(size_t capacity);

  // Raise EListError "List index out of bounds (%d)" for a bad index.
  const std::string& operator[](int index) const { return Strings(index); }
  const std::string& Strings(int index) const;
  // Replaces a line (keeps its object). Not allowed on a sorted list.
  void SetStrings(int index, std::string s);
  TObject* Objects(int index) const;
  // Replaces the object of a line; an owning list deletes the old one.
  void SetObjects(int index, TObject* obj);
  // Takes the object out of the list without deleting it; the line keeps a null object.
  std::unique_ptr<TObject> ExtractObject(int index);

  // Adds a line (at its sorted place when Sorted) and returns its index. On a sorted list an
  // existing string is ignored (dupIgnore: the index of the existing line is returned) or
  // refused (dupError: EListError "String list does not allow duplicates").
  int Add(std::string s);
  // As Add; an owning list takes over obj, also when the line is ignored or refused.
  int AddObject(std::string s, TObject* obj);
  int AddObject(std::string s, std::unique_ptr<TObject> obj) {
    return AddObject(std::move(s), obj.release());
  }
  void Insert(int index, std::string s);
  void InsertObject(int index, std::string s, TObject* obj);
  void Delete(int index);
  void Clear();
  void Exchange(int index1, int index2);
  // Moves the line (with its object) from curIndex to newIndex.
  void Move(int curIndex, int newIndex);

  void AddStrings(const TStringList& other);
  void AddStrings(const std::vector<std::string>& lines);
  void AddStrings(std::initializer_list<std::string_view> lines);
  // Replaces content and settings (delimiters, quote, separator, case, sorting, duplicates) by
  // those of source. Objects are copied as references when this list does not own objects;
  // an owning list gets null objects (it cannot share ownership).
  void Assign(const TStringList& source);

  int IndexOf(std::string_view s) const;
  // First line whose name (the part before NameValueSeparator) equals name.
  int IndexOfName(std::string_view name) const;
  int IndexOfObject(const TObject* obj) const;
  // Binary search (meaningful on a sorted list): true when found; index is the position of the
  // match (the first one with dupAccept) or where s would be inserted.
  bool Find(std::string_view s, int& index) const;
  // Sorts an unsorted list (a sorted list is always in order). Stable.
  void Sort();
  void CustomSort(const TStringListSortCompare& compare);

  // --- name=value lines ---
  // The part before the separator; empty for a line without one.
  std::string Names(int index) const;
  // The part after the separator; empty for a line without one.
  std::string ValueFromIndex(int index) const;
  // The value of the first line named name; empty when there is none.
  std::string Values(std::string_view name) const;
  // Sets the value of the first line named name, adding a line when there is none; an empty
  // value deletes the line.
  void SetValues(std::string_view name, std::string_view value);
  void SetValueFromIndex(int index, std::string_view value);

  // --- whole-list texts ---
  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines; breaks at CR LF, LF or CR. A final line break adds no empty line.
  void SetText(std::string_view text);
  // DelimitedText with ',' '"' and non-strict delimiters.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);
  // Items joined by Delimiter. An item is quoted (QuoteChar, inner quotes doubled) when it
  // contains the delimiter or the quote char, or when StrictDelimiter is off a char 1..32.
  // A list of one empty line gives two quote chars.
  std::string DelimitedText() const;
  // Replaces the lines by the items of text. Quotes group and doubled quotes stand for one;
  // without StrictDelimiter also chars 1..32 separate items and blanks around items are skipped.
  // A delimiter at the very end adds an empty item. Reading stops at a NUL character.
  void SetDelimitedText(std::string_view text);

  char Delimiter() const noexcept { return FDelimiter; }
  void SetDelimiter(char c) noexcept { FDelimiter = c; }
  char QuoteChar() const noexcept { return FQuoteChar; }
  void SetQuoteChar(char c) noexcept { FQuoteChar = c; }
  bool StrictDelimiter() const noexcept { return FStrictDelimiter; }
  void SetStrictDelimiter(bool v) noexcept { FStrictDelimiter = v; }
  char NameValueSeparator() const noexcept { return FNameValueSeparator; }
  void SetNameValueSeparator(char c) noexcept { FNameValueSeparator = c; }

  bool Sorted() const noexcept { return FSorted; }
  void SetSorted(bool v);
  TDuplicates Duplicates() const noexcept { return FDuplicates; }
  void SetDuplicates(TDuplicates d) noexcept { FDuplicates = d; }
  bool CaseSensitive() const noexcept { return FCaseSensitive; }
  void SetCaseSensitive(bool v);
  bool OwnsObjects() const noexcept { return FOwnsObjects; }
  void SetOwnsObjects(bool v) noexcept { FOwnsObjects = v; }
  // Whether SaveToFile/SaveToStream write a UTF-8 byte-order mark (default: no).
  bool WriteBOM() const noexcept { return FWriteBOM; }
  void SetWriteBOM(bool v) noexcept { FWriteBOM = v; }

  // --- files and streams: written as UTF-8 Text; read through DecodeText (BOM, UTF-8, or
  // 8-bit in the system code page) ---
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;
  // Reads from the stream's position to its end.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  // The lines as a vector, and iteration over them.
  const std::vector<std::string>& Lines() const noexcept { return FStrings; }
  const_iterator begin() const noexcept { return FStrings.begin(); }
  const_iterator end() const noexcept { return FStrings.end(); }

  // The comparison the list uses (case by CaseSensitive).
  int CompareStrings(std::string_view a, std::string_view b) const;

 private:
  void CheckIndex(int index) const;
  void CheckNotSorted() const;
  void InsertItem(int index, std::string s, TObject* obj);
  void FreeObject(TObject* obj) const noexcept;
  bool SameName(std::string_view a, std::string_view b) const;
  void ApplyOrder(const std::vector<int>& order);
  std::string BuildDelimited(char delimiter, char quoteChar, bool strict) const;
  void ParseDelimited(std::string_view text, char delimiter, char quoteChar, bool strict);

  std::vector<std::string> FStrings;
  std::vector<TObject*> FObjects;  // parallel to FStrings
  char FDelimiter = ',';
  char FQuoteChar = '"';
  char FNameValueSeparator = '=';
  bool FStrictDelimiter = false;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  bool FWriteBOM = false;
  TDuplicates FDuplicates = dupIgnore;
};

}  // namespace vela
