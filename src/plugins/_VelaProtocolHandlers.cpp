#include "plugins/_VelaProtocolHandlers.h"

#include <vector>

#include "host/HTTPUtils.h"
#include "host/velaxml/XMLDataEncoding.h"
#include "platform/indy/IdURI.h"
#include "rtl/Encoders.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr size_t kFileCopyBufferSize = 1024 * 1024;
const char* const kAssertionFailed = "Assertion fehlgeschlagen";

// The value of the first "name=value" line whose name matches (ignoring case); '' when none.
std::string SettingValue(const IStringListData& ASettings, std::string_view AName) {
  for (const std::string& line : ASettings.Items()) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && SameText(std::string_view(line).substr(0, eq), AName))
      return line.substr(eq + 1);
  }
  return {};
}

// The request body of an upload with settings.
std::string EncodedUploadBody(TStream& AStream, const IStringListData& ASettings) {
  const TVelaXMLDataEncoding encoding =
      StrToXMLDataEncoding(SettingValue(ASettings, "ContentEncoding"));
  AStream.SetPosition(0);
  std::string data = AStream.ReadToEnd();
  switch (encoding) {
    case xdeNone:
      break;
    case xdeBase64:
      data = Base64EncodeMime(data);
      break;
    case xdeBase64Compressed:
      data = Base64EncodeMime(CompressString(data, 9));
      break;
    case xdeHex:
      data = TextToHex(data);
      break;
    default:
      throw EAssertionFailed("not implemented TVelaXMLDataEncoding encoding!");
  }
  const std::string name = SettingValue(ASettings, "VariableName");
  if (name.empty()) return data;
  return name + "=" + (encoding == xdeNone ? THTTPUtils::ParamsEncode(data) : data);
}

void HTTPTransfer(TVelaProtocolHandlerClient& Sender, TVelaProtocolHandlerItem& AItem,
                  const std::string& AURL, TStream& AStream, TVelaProtocolHandlerAction AAction,
                  bool AShowProgress, IStringListData* AProtocolHandlerSettings) {
  TVelaProtocolHandlerHTTP http(Sender, AItem, AURL, AShowProgress);
  switch (AAction) {
    case vphaDownload:
      http.Get(THTTPUtils::GetInternationalURL(AURL), AStream);
      break;
    case vphaUpload:
      // The body goes out exactly as built here; the client never re-encodes it.
      if (!AProtocolHandlerSettings) {
        http.Post(AURL, AStream);
      } else {
        TStringStream body(EncodedUploadBody(AStream, *AProtocolHandlerSettings));
        body.SetPosition(0);
        http.Post(AURL, body);
      }
      break;
    default:
      throw EAssertionFailed(kAssertionFailed);
  }
}

void FTPTransfer(TVelaProtocolHandlerClient& Sender, TVelaProtocolHandlerItem& AItem,
                 const std::string& AURL, TStream& AStream, TVelaProtocolHandlerAction AAction,
                 bool AShowProgress) {
  TVelaProtocolHandlerFTP ftp(Sender, AItem, AURL, AShowProgress);
  const TIdURI uri(AURL);  // freed before the handler
  ftp.Host = uri.Host;
  if (!uri.Username.empty()) {
    ftp.Username = uri.Username;
    ftp.Password = uri.Password;
  }
  ftp.SetPassive(true);
  // The location's port is not used: the client connects to its standard port.
  ftp.Connect();
  const std::string path = TIdURI::ProcessPath(uri.Path, "", "/");
  for (size_t pos = 0; pos < path.size();) {
    const size_t next = std::min(path.find('/', pos), path.size());
    if (next > pos) ftp.ChangeDir(path.substr(pos, next - pos));
    pos = next + 1;
  }
  switch (AAction) {
    case vphaDownload:
      ftp.Get(uri.Document, AStream, false);
      break;
    case vphaUpload:
      ftp.Put(AStream, uri.Document, false);
      break;
    default:
      throw EAssertionFailed(kAssertionFailed);
  }
}

void CopyWithBuffer(TStream& ASource, TStream& ADest) {
  std::vector<char> buffer(kFileCopyBufferSize);
  while (const size_t n = ASource.Read(buffer.data(), buffer.size()))
    ADest.WriteBuffer(buffer.data(), n);
}

void FileSystemTransfer(TVelaProtocolHandlerClient& Sender, TVelaProtocolHandlerItem& AItem,
                        const std::string& AURL, TStream& AStream,
                        TVelaProtocolHandlerAction AAction, bool AShowProgress) {
  if (AShowProgress) Sender.StartProgress(AItem, AAction, AURL);
  try {
    switch (AAction) {
      case vphaDownload: {
        TFileStream file(AURL, fmOpenRead | fmShareDenyWrite);
        CopyWithBuffer(file, AStream);
        break;
      }
      case vphaUpload: {
        TFileStream file(AURL, fmCreate);
        AStream.SetPosition(0);
        CopyWithBuffer(AStream, file);
        break;
      }
      default:
        throw EAssertionFailed(kAssertionFailed);
    }
  } catch (...) {
    Sender.EndProgress(AItem, AAction);
    throw;
  }
  Sender.EndProgress(AItem, AAction);
}

}  // namespace

TVelaProtocolHandlerHTTP::TVelaProtocolHandlerHTTP(TVelaProtocolHandlerClient& AClient,
                                                   TVelaProtocolHandlerItem& AItem,
                                                   const std::string& AURL, bool AShowProgress)
    : TVelaProtocolHandlerProgress<TIdHTTP>(AClient, AItem, AURL, AShowProgress) {
  // A plain substring search: "https://" anywhere in the location switches TLS on.
  if (LowerCase(AURL).find("https://") != std::string::npos) {
    FSSLIOHandler = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
    FSSLIOHandler->SSLOptions.Method = sslvSSLv23;
    FSSLIOHandler->SSLOptions.Mode = sslmClient;
    IOHandler = FSSLIOHandler.get();
  }
  HandleRedirects = true;
}

void VelaProtocolHandlerClientExecute(TVelaProtocolHandlerClient& Sender,
                                      TVelaProtocolHandlerItem& AItem, const std::string& AURL,
                                      TStream& AStream, TVelaProtocolHandlerAction AAction,
                                      bool AShowProgress,
                                      IStringListData* AProtocolHandlerSettings) {
  switch (Sender.IndexOfItem(AItem)) {
    case 0:
      HTTPTransfer(Sender, AItem, AURL, AStream, AAction, AShowProgress, AProtocolHandlerSettings);
      break;
    case 1:
      FTPTransfer(Sender, AItem, AURL, AStream, AAction, AShowProgress);
      break;
    case 2:
      FileSystemTransfer(Sender, AItem, AURL, AStream, AAction, AShowProgress);
      break;
    default:
      break;  // not one of the module's items: nothing to do
  }
}

void CreateVelaProtocolHandlerItems(TVelaProtocolHandlerClient& AClient) {
  AClient.AddItem("http", {"http", "https"}, false);
  AClient.AddItem("ftp", {"ftp"}, false);
  AClient.AddItem("Filesystem", {"{LOCALFILESYSTEM}", "{UNC}", "{LOCALFILESYSTEMREL}"}, true);
}

}  // namespace vela
