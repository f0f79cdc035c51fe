// The name/value stores of VelaXML: the attributes of an element, or the field values of one
// record, in document order. Names are XML names; lookups ignore ASCII case, as field names do
// everywhere else in the host. A store and its items belong to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/velaxml/XMLDataEncoding.h"

namespace vela {

class TXMLDataStore;

// One named value. The value is 8-bit text: UTF-8 for plain text, or the encoded form that
// DataEncoding names (Base64, hexadecimal), or a file path for binary values kept as files.
class TXMLDataStoreItem {
 public:
  // Code page 0: the text is in the system's text encoding (UTF-8).
  static constexpr uint16_t kCodePageUTF8 = 65001;

  const std::string& Name() const noexcept { return FName; }
  const std::string& Value() const noexcept { return FValue; }
  void SetValue(std::string_view AValue) { FValue.assign(AValue); }
  // Appends character data to the value (a field's text may arrive in several pieces).
  void AppendDate(std::string_view AText) { FValue.append(AText); }

  TVelaXMLDataEncoding DataEncoding() const noexcept { return FDataEncoding; }
  void SetDataEncoding(TVelaXMLDataEncoding AValue) noexcept { FDataEncoding = AValue; }
  TVelaXMLBinaryHandlingMode BinaryHandlingMode() const noexcept { return FBinaryHandlingMode; }
  void SetBinaryHandlingMode(TVelaXMLBinaryHandlingMode AValue) noexcept {
    FBinaryHandlingMode = AValue;
  }
  uint16_t CodePage() const noexcept { return FCodePage; }
  void SetCodePage(uint16_t AValue) noexcept { FCodePage = AValue; }

  // The store that holds the item.
  TXMLDataStore* Parent() const noexcept { return FParent; }

 private:
  friend class TXMLDataStore;
  void Reset(TXMLDataStore* AParent, std::string_view AName, std::string_view AValue,
             TVelaXMLDataEncoding AEncoding, TVelaXMLBinaryHandlingMode ABinaryMode,
             uint16_t ACodePage);

  std::string FName;
  std::string FValue;
  TVelaXMLDataEncoding FDataEncoding = xdeNone;
  TVelaXMLBinaryHandlingMode FBinaryHandlingMode = xbhInline;
  uint16_t FCodePage = 0;
  TXMLDataStore* FParent = nullptr;
};

// Ordered items; a name may occur more than once, and IndexByName finds the first. References
// to items stay valid until Clear or the store's destruction. Clear keeps the item objects and
// their buffers for the next record, so refilling a store per record does not allocate.
class TXMLDataStore {
 public:
  TXMLDataStore() = default;
  virtual ~TXMLDataStore() = default;
  TXMLDataStore(const TXMLDataStore&) = delete;
  TXMLDataStore& operator=(const TXMLDataStore&) = delete;

  // A text value: no encoding, inline, code page 0.
  TXMLDataStoreItem& Add(std::string_view AName, std::string_view AValue);
  // An 8-bit value in the given encoding.
  TXMLDataStoreItem& Add(std::string_view AName, std::string_view AValue,
                         TVelaXMLDataEncoding AEncoding, TVelaXMLBinaryHandlingMode ABinaryMode,
                         uint16_t ACodePage);
  // An empty value, to be filled by AppendDate.
  TXMLDataStoreItem& Add(std::string_view AName);

  void Clear() noexcept;
  int Count() const noexcept { return FCount; }
  bool IsEmpty() const noexcept { return FCount == 0; }
  // Raises EListError for an index outside 0..Count-1.
  TXMLDataStoreItem& GetItem(int AIndex) const;
  // Index of the first item named AName (ignoring ASCII case); -1 when there is none.
  int IndexByName(std::string_view AName) const;
  // The first item named AName, or nullptr.
  TXMLDataStoreItem* FindByName(std::string_view AName) const;
  // The value of the first item named AName; empty when there is none.
  std::string_view ValueByName(std::string_view AName) const;
  // The item added last; nullptr for an empty store.
  TXMLDataStoreItem* Last() const noexcept;

  // For a child record: the store of the record it belongs to and that record's element name.
  TXMLDataStore* ParentStore() const noexcept { return FParentStore; }
  void SetParentStore(TXMLDataStore* AStore) noexcept { FParentStore = AStore; }
  const std::string& ParentName() const noexcept { return FParentName; }
  void SetParentName(std::string_view AName) { FParentName.assign(AName); }

 private:
  // Case-folding hash and equality for the name index.
  struct NameHash {
    size_t operator()(std::string_view s) const noexcept;
  };
  struct NameEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };
  // Small stores are searched linearly; the index is built once a store grows beyond this.
  static constexpr int kLinearSearchLimit = 12;

  TXMLDataStoreItem& NewItem();
  void IndexItem(int AIndex) const;

  std::vector<std::unique_ptr<TXMLDataStoreItem>> FItems;  // [0, FCount) in use
  int FCount = 0;
  // First index of each name; keys view the names of the items. Empty until needed.
  mutable std::unordered_map<std::string_view, int, NameHash, NameEqual> FIndex;
  mutable bool FIndexed = false;
  TXMLDataStore* FParentStore = nullptr;
  std::string FParentName;
};

// The stores that together make up the attributes handed to a part handler, searched in the
// order added. The container does not own the stores.
class TXMLDataStoreContainer {
 public:
  TXMLDataStoreContainer() = default;
  virtual ~TXMLDataStoreContainer() = default;
  TXMLDataStoreContainer(const TXMLDataStoreContainer&) = delete;
  TXMLDataStoreContainer& operator=(const TXMLDataStoreContainer&) = delete;

  // The store must outlive its membership (until Clear or the container's destruction).
  void Add(TXMLDataStore& AStore) { FStores.push_back(&AStore); }
  virtual void Clear() noexcept { FStores.clear(); }
  int Count() const noexcept { return static_cast<int>(FStores.size()); }
  // Raises EListError for an index outside 0..Count-1.
  TXMLDataStore& GetItem(int AIndex) const;
  // The first item named AName in the first store that has one, or nullptr.
  TXMLDataStoreItem* FindByName(std::string_view AName) const;

 private:
  std::vector<TXMLDataStore*> FStores;
};

}  // namespace vela
