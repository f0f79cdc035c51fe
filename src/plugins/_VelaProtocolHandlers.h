// The main data module's transfer protocol handlers: the three items it offers the host
// ("http", "ftp", "Filesystem") and the event that carries out a transfer for one of them.
// Each transfer builds its own client objects and frees them before it returns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/InterfacedData.h"
#include "host/ProtocolHandlerClient.h"
#include "platform/indy/IdFTP.h"
#include "platform/indy/IdHTTP.h"

namespace vela {

class TStream;

// The progress reports shared by the HTTP and FTP handlers: while FShowProgress is set, the
// client library's work events become the host client's progress calls for FProtocolHandlerItem,
// with reading reported as download and writing as upload.
template <class TClientBase>
class TVelaProtocolHandlerProgress : public TClientBase {
 public:
  TVelaProtocolHandlerProgress(TVelaProtocolHandlerClient& AClient, TVelaProtocolHandlerItem& AItem,
                               const std::string& AURL, bool AShowProgress)
      : FURL(AURL),
        FProtocolHandlerItem(&AItem),
        FVelaProtocolHandlerClient(&AClient),
        FShowProgress(AShowProgress) {
    this->OnWorkBegin = [this](TWorkMode m, int64_t total) { WorkBegin(m, total); };
    this->OnWork = [this](TWorkMode m, int64_t count) { Work(m, count); };
    this->OnWorkEnd = [this](TWorkMode m) { WorkEnd(m); };
  }

 protected:
  static TVelaProtocolHandlerAction DirectionOf(TWorkMode AMode) noexcept {
    return AMode == wmWrite ? vphaUpload : vphaDownload;
  }
  void WorkBegin(TWorkMode AMode, int64_t AWorkCountMax) {
    if (!FShowProgress) return;
    FVelaProtocolHandlerClient->StartProgress(*FProtocolHandlerItem, DirectionOf(AMode), FURL);
    FMaxCount = static_cast<int32_t>(AWorkCountMax);
  }
  void Work(TWorkMode AMode, int64_t AWorkCount) {
    if (!FShowProgress) return;
    FVelaProtocolHandlerClient->StepProgress(*FProtocolHandlerItem, DirectionOf(AMode), AWorkCount,
                                             FMaxCount, {});
  }
  void WorkEnd(TWorkMode AMode) {
    if (!FShowProgress) return;
    FVelaProtocolHandlerClient->EndProgress(*FProtocolHandlerItem, DirectionOf(AMode));
  }

  int32_t FMaxCount = 0;  // expected total of the running transfer (32 bits)
  std::string FURL;       // the location as given; the caption of the progress display
  TVelaProtocolHandlerItem* FProtocolHandlerItem;
  TVelaProtocolHandlerClient* FVelaProtocolHandlerClient;
  bool FShowProgress;
};

// HTTP client of one transfer. A location containing "https://" anywhere (any case) gets a
// TLS transport (version negotiated, client mode); redirects are followed.
class TVelaProtocolHandlerHTTP : public TVelaProtocolHandlerProgress<TIdHTTP> {
 public:
  TVelaProtocolHandlerHTTP(TVelaProtocolHandlerClient& AClient, TVelaProtocolHandlerItem& AItem,
                           const std::string& AURL, bool AShowProgress);

  bool UsesTLS() const noexcept { return FSSLIOHandler != nullptr; }

 private:
  std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> FSSLIOHandler;  // nil for plain HTTP
};

// FTP client of one transfer.
class TVelaProtocolHandlerFTP : public TVelaProtocolHandlerProgress<TIdFTP> {
 public:
  using TVelaProtocolHandlerProgress<TIdFTP>::TVelaProtocolHandlerProgress;
};

// The execute event of the module's protocol handler client. The item's position in the
// client's collection picks the transfer: 0 HTTP(S), 1 FTP, 2 file system; any other position
// does nothing. Failures are the transfer library's or the file system's exceptions; an
// unknown direction raises EAssertionFailed "Assertion fehlgeschlagen", an unknown upload
// encoding EAssertionFailed "not implemented TVelaXMLDataEncoding encoding!".
//
// An HTTP upload with settings reads "ContentEncoding" (a TVelaXMLDataEncoding name or ordinal)
// and "VariableName": the whole stream is encoded (none, MIME Base64, zlib level 9 then MIME
// Base64, or hexadecimal) and, with a variable name, sent as "name=" + the encoded document
// (form-encoded for the encoding none).
void VelaProtocolHandlerClientExecute(TVelaProtocolHandlerClient& Sender,
                                      TVelaProtocolHandlerItem& AItem, const std::string& AURL,
                                      TStream& AStream, TVelaProtocolHandlerAction AAction,
                                      bool AShowProgress,
                                      IStringListData* AProtocolHandlerSettings);

// Adds the items "http" (http, https), "ftp" (ftp) and "Filesystem" (local, UNC and relative
// file names; file-stream compatible), in this order.
void CreateVelaProtocolHandlerItems(TVelaProtocolHandlerClient& AClient);

}  // namespace vela
