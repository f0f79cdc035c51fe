#include "host/ProtocolHandlerClient.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

// The host's registry of clients, in registration order.
std::mutex gRegistryLock;
std::vector<TVelaProtocolHandlerClient*>& Registry() {
  static std::vector<TVelaProtocolHandlerClient*> clients;
  return clients;
}

bool IsSchemeChar(char c, bool first) {
  const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return first ? alpha : alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

bool TVelaProtocolHandlerItem::HandlesProtocol(const std::string& AProtocol) const {
  return std::any_of(Protocols.begin(), Protocols.end(),
                     [&](const std::string& p) { return SameText(p, AProtocol); });
}

TVelaProtocolHandlerClient::TVelaProtocolHandlerClient(IMainInterface* AMainInterface)
    : FMainInterface(AMainInterface) {}

TVelaProtocolHandlerClient::~TVelaProtocolHandlerClient() {
  RegisterProtocolHandlerItems(false);
}

TVelaProtocolHandlerItem& TVelaProtocolHandlerClient::AddItem(std::string ACaption,
                                                              std::vector<std::string> AProtocols,
                                                              bool AFileStreamCompatible) {
  auto item = std::make_unique<TVelaProtocolHandlerItem>();
  item->Caption = std::move(ACaption);
  item->Protocols = std::move(AProtocols);
  item->FileStreamCompatible = AFileStreamCompatible;
  FItems.push_back(std::move(item));
  return *FItems.back();
}

TVelaProtocolHandlerItem& TVelaProtocolHandlerClient::Item(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= ItemCount())
    throw EListError("List index out of bounds (" + IntToStr(AIndex) + ")");
  return *FItems[static_cast<size_t>(AIndex)];
}

int32_t TVelaProtocolHandlerClient::IndexOfItem(
    const TVelaProtocolHandlerItem& AItem) const noexcept {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == &AItem) return static_cast<int32_t>(i);
  return -1;
}

std::string TVelaProtocolHandlerClient::ProtocolOf(const std::string& AName) {
  const size_t scheme = AName.find("://");
  if (scheme != std::string::npos && scheme > 0) {
    bool valid = true;
    for (size_t i = 0; i < scheme && valid; ++i)
      valid = IsSchemeChar(AName[i], i == 0);
    if (valid) return LowerCase(AName.substr(0, scheme));
  }
  if (AName.starts_with("//") || AName.starts_with("\\\\")) return "{UNC}";
  if (AName.starts_with("/")) return "{LOCALFILESYSTEM}";
  return "{LOCALFILESYSTEMREL}";
}

TVelaProtocolHandlerItem* TVelaProtocolHandlerClient::FindItem(const std::string& AName) const {
  const std::string protocol = ProtocolOf(AName);
  for (const auto& item : FItems)
    if (item->HandlesProtocol(protocol)) return item.get();
  return nullptr;
}

void TVelaProtocolHandlerClient::RegisterProtocolHandlerItems(bool ARegister) {
  std::lock_guard lock(gRegistryLock);
  auto& clients = Registry();
  const auto it = std::find(clients.begin(), clients.end(), this);
  if (ARegister && it == clients.end()) clients.push_back(this);
  if (!ARegister && it != clients.end()) clients.erase(it);
}

bool TVelaProtocolHandlerClient::Registered() const {
  std::lock_guard lock(gRegistryLock);
  const auto& clients = Registry();
  return std::find(clients.begin(), clients.end(), this) != clients.end();
}

TVelaProtocolHandlerClient* TVelaProtocolHandlerClient::FindRegisteredClient(
    const std::string& AName) {
  std::lock_guard lock(gRegistryLock);
  for (TVelaProtocolHandlerClient* client : Registry())
    if (client->FindItem(AName)) return client;
  return nullptr;
}

bool TVelaProtocolHandlerClient::IsFileStreamCompatible(const std::string& AName,
                                                        TVelaProtocolHandlerAction) const {
  const TVelaProtocolHandlerItem* item = FindItem(AName);
  return item && item->FileStreamCompatible;
}

void TVelaProtocolHandlerClient::Execute(const std::string& AURL, TStream& AStream,
                                         TVelaProtocolHandlerAction AAction, bool AShowProgress,
                                         IStringListData* AProtocolHandlerSettings) {
  TVelaProtocolHandlerItem* item = FindItem(AURL);
  if (!item) throw EVelaProtocolHandlerError("No protocol handler for \"" + AURL + "\"");
  if (!OnExecute)
    throw EVelaProtocolHandlerError("The protocol handler \"" + item->Caption +
                                    "\" has no transfer");
  std::string url = AURL;
  if (ProtocolOf(AURL) == "{LOCALFILESYSTEMREL}")
    url = (std::filesystem::current_path() / AURL).lexically_normal().string();
  OnExecute(*this, *item, url, AStream, AAction, AShowProgress, AProtocolHandlerSettings);
}

IPtr<IVelaProgressService> TVelaProtocolHandlerClient::ProgressService() const {
  return Supports<IVelaProgressService>(FMainInterface);
}

void TVelaProtocolHandlerClient::StartProgress(TVelaProtocolHandlerItem&,
                                               TVelaProtocolHandlerAction AAction,
                                               const std::string& ACaption) {
  if (auto service = ProgressService())
    service->StartProgress(ACaption, AAction == vphaUpload ? vpkUpload : vpkDownload);
}

void TVelaProtocolHandlerClient::StepProgress(TVelaProtocolHandlerItem&, TVelaProtocolHandlerAction,
                                              int64_t APosition, int64_t ATotal,
                                              const std::string& AText) {
  if (auto service = ProgressService()) service->StepProgress(APosition, ATotal, AText);
}

void TVelaProtocolHandlerClient::EndProgress(TVelaProtocolHandlerItem&,
                                             TVelaProtocolHandlerAction) {
  if (auto service = ProgressService()) service->EndProgress();
}

}  // namespace vela
