#include "host/velaxml/XMLDataStore.h"

#include <string>

#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

[[noreturn]] void StoreIndexError(int AIndex) {
  throw EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
}

}  // namespace

// --- TXMLDataStoreItem ---

void TXMLDataStoreItem::Reset(TXMLDataStore* AParent, std::string_view AName,
                              std::string_view AValue, TVelaXMLDataEncoding AEncoding,
                              TVelaXMLBinaryHandlingMode ABinaryMode, uint16_t ACodePage) {
  // assign() keeps the buffers of a reused item.
  FName.assign(AName);
  FValue.assign(AValue);
  FDataEncoding = AEncoding;
  FBinaryHandlingMode = ABinaryMode;
  FCodePage = ACodePage;
  FParent = AParent;
}

// --- TXMLDataStore ---

size_t TXMLDataStore::NameHash::operator()(std::string_view s) const noexcept {
  // FNV-1a over the ASCII-folded name, matching NameEqual.
  size_t h = 1469598103934665603ULL;
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + ('a' - 'A'));
    h = (h ^ u) * 1099511628211ULL;
  }
  return h;
}

bool TXMLDataStore::NameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  return SameText(a, b);
}

TXMLDataStoreItem& TXMLDataStore::NewItem() {
  if (static_cast<size_t>(FCount) == FItems.size())
    FItems.push_back(std::make_unique<TXMLDataStoreItem>());
  return *FItems[static_cast<size_t>(FCount++)];
}

void TXMLDataStore::IndexItem(int AIndex) const {
  // emplace keeps an existing entry: the index names the first item of a name.
  FIndex.emplace(FItems[static_cast<size_t>(AIndex)]->Name(), AIndex);
}

TXMLDataStoreItem& TXMLDataStore::Add(std::string_view AName, std::string_view AValue,
                                      TVelaXMLDataEncoding AEncoding,
                                      TVelaXMLBinaryHandlingMode ABinaryMode, uint16_t ACodePage) {
  TXMLDataStoreItem& item = NewItem();
  item.Reset(this, AName, AValue, AEncoding, ABinaryMode, ACodePage);
  if (FIndexed) IndexItem(FCount - 1);
  return item;
}

TXMLDataStoreItem& TXMLDataStore::Add(std::string_view AName, std::string_view AValue) {
  return Add(AName, AValue, xdeNone, xbhInline, 0);
}

TXMLDataStoreItem& TXMLDataStore::Add(std::string_view AName) {
  return Add(AName, std::string_view(), xdeNone, xbhInline, 0);
}

void TXMLDataStore::Clear() noexcept {
  FCount = 0;
  FIndex.clear();
  FIndexed = false;
}

TXMLDataStoreItem& TXMLDataStore::GetItem(int AIndex) const {
  if (AIndex < 0 || AIndex >= FCount) StoreIndexError(AIndex);
  return *FItems[static_cast<size_t>(AIndex)];
}

int TXMLDataStore::IndexByName(std::string_view AName) const {
  if (FCount <= kLinearSearchLimit) {
    for (int i = 0; i < FCount; ++i)
      if (SameText(FItems[static_cast<size_t>(i)]->Name(), AName)) return i;
    return -1;
  }
  if (!FIndexed) {
    FIndex.reserve(static_cast<size_t>(FCount));
    for (int i = 0; i < FCount; ++i)
      IndexItem(i);
    FIndexed = true;
  }
  const auto it = FIndex.find(AName);
  return it == FIndex.end() ? -1 : it->second;
}

TXMLDataStoreItem* TXMLDataStore::FindByName(std::string_view AName) const {
  const int i = IndexByName(AName);
  return i < 0 ? nullptr : FItems[static_cast<size_t>(i)].get();
}

std::string_view TXMLDataStore::ValueByName(std::string_view AName) const {
  const TXMLDataStoreItem* item = FindByName(AName);
  return item ? std::string_view(item->Value()) : std::string_view();
}

TXMLDataStoreItem* TXMLDataStore::Last() const noexcept {
  return FCount == 0 ? nullptr : FItems[static_cast<size_t>(FCount - 1)].get();
}

// --- TXMLDataStoreContainer ---

TXMLDataStore& TXMLDataStoreContainer::GetItem(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) StoreIndexError(AIndex);
  return *FStores[static_cast<size_t>(AIndex)];
}

TXMLDataStoreItem* TXMLDataStoreContainer::FindByName(std::string_view AName) const {
  for (TXMLDataStore* store : FStores)
    if (TXMLDataStoreItem* item = store->FindByName(AName)) return item;
  return nullptr;
}

}  // namespace vela
