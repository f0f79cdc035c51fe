// The host's protocol handler client: a plug-in lists the protocols it can transfer (items),
// registers them with the host, and receives every transfer for those protocols through its
// OnExecute event.
//
// A name maps to a protocol key: the lower-case scheme of a location ("http", "https", "ftp",
// ...), or for file names "{LOCALFILESYSTEM}" (absolute), "{UNC}" (beginning with two slashes
// or backslashes) and "{LOCALFILESYSTEMREL}" (relative, resolved against the current folder).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/InterfacedData.h"
#include "host/MainInterface.h"
#include "rtl/Exceptions.h"

namespace vela {

class TStream;

enum TVelaProtocolHandlerAction : uint8_t {
  vphaDownload = 0,  // the content of the location is written into the stream
  vphaUpload = 1,    // the content of the stream is stored at the location
};

// No item of any registered client handles a name.
VELA_DECLARE_EXCEPTION(EVelaProtocolHandlerError, Exception);

class TVelaProtocolHandlerItem {
 public:
  std::string Caption;
  // Protocol keys, compared ignoring case.
  std::vector<std::string> Protocols;
  // A plain file that callers may open themselves instead of calling Execute.
  bool FileStreamCompatible = false;

  bool HandlesProtocol(const std::string& AProtocol) const;
};

class TVelaProtocolHandlerClient;

using TVelaProtocolHandlerExecuteEvent = std::function<void(
    TVelaProtocolHandlerClient& Sender, TVelaProtocolHandlerItem& AItem, const std::string& AURL,
    TStream& AStream, TVelaProtocolHandlerAction AAction, bool AShowProgress,
    IStringListData* AProtocolHandlerSettings)>;

class TVelaProtocolHandlerClient {
 public:
  // Progress goes to the IVelaProgressService of AMainInterface when it offers one.
  explicit TVelaProtocolHandlerClient(IMainInterface* AMainInterface = nullptr);
  // Unregisters the items.
  ~TVelaProtocolHandlerClient();
  TVelaProtocolHandlerClient(const TVelaProtocolHandlerClient&) = delete;
  TVelaProtocolHandlerClient& operator=(const TVelaProtocolHandlerClient&) = delete;

  TVelaProtocolHandlerExecuteEvent OnExecute;

  // --- the item collection (owned, in order) ---
  TVelaProtocolHandlerItem& AddItem(std::string ACaption, std::vector<std::string> AProtocols,
                                    bool AFileStreamCompatible);
  int32_t ItemCount() const noexcept { return static_cast<int32_t>(FItems.size()); }
  TVelaProtocolHandlerItem& Item(int32_t AIndex) const;
  // The item's position in the collection; -1 for an item of another client.
  int32_t IndexOfItem(const TVelaProtocolHandlerItem& AItem) const noexcept;
  // The item that handles the name's protocol key; nil when none does.
  TVelaProtocolHandlerItem* FindItem(const std::string& AName) const;

  // True adds this client to the host's registry, false removes it.
  void RegisterProtocolHandlerItems(bool ARegister);
  bool Registered() const;

  // Whether the name is a plain file that the caller may open itself (the same answer for
  // both directions).
  bool IsFileStreamCompatible(const std::string& AName, TVelaProtocolHandlerAction AAction) const;
  // Transfers between the name and AStream through the item for the name's protocol (a relative
  // file name made absolute first). Raises EVelaProtocolHandlerError when no item handles the
  // name or no OnExecute is set; the event's exceptions pass through.
  void Execute(const std::string& AURL, TStream& AStream, TVelaProtocolHandlerAction AAction,
               bool AShowProgress, IStringListData* AProtocolHandlerSettings);

  // --- progress, forwarded to the host's progress service ---
  void StartProgress(TVelaProtocolHandlerItem& AItem, TVelaProtocolHandlerAction AAction,
                     const std::string& ACaption);
  void StepProgress(TVelaProtocolHandlerItem& AItem, TVelaProtocolHandlerAction AAction,
                    int64_t APosition, int64_t ATotal, const std::string& AText);
  void EndProgress(TVelaProtocolHandlerItem& AItem, TVelaProtocolHandlerAction AAction);

  // The protocol key of a name (see above).
  static std::string ProtocolOf(const std::string& AName);
  // The registered client with an item for the name (the one registered first); nil when none.
  static TVelaProtocolHandlerClient* FindRegisteredClient(const std::string& AName);

 private:
  IPtr<IVelaProgressService> ProgressService() const;

  IPtr<IMainInterface> FMainInterface;
  std::vector<std::unique_ptr<TVelaProtocolHandlerItem>> FItems;
};

}  // namespace vela
