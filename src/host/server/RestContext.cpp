#include "host/server/RestContext.h"

#include <fstream>
#include <iterator>

#include "host/HTTPUtils.h"
#include "platform/json/JsonValue.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A path's %XX escapes decoded ('+' stays: it is a blank only in queries).
std::string DecodePath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int hi, lo;
    if (text[i] == '%' && i + 2 < text.size() && (hi = HexDigit(text[i + 1])) >= 0 &&
        (lo = HexDigit(text[i + 2])) >= 0) {
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

const char* ContentTypeOfFile(const std::string& fileName) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".json", "application/json"},   {".xml", "application/xml"}, {".txt", "text/plain"},
      {".html", "text/html"},          {".htm", "text/html"},       {".pdf", "application/pdf"},
      {".fdf", "application/vnd.fdf"}, {".csv", "text/csv"},
  };
  const std::string ext = LowerCase(ExtractFileExt(fileName));
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return "application/octet-stream";
}

}  // namespace

TVelaRestRequestContext::TVelaRestRequestContext(std::string method, std::string target,
                                                 THeaderList headers, std::string body,
                                                 std::string remoteIP)
    : FMethod(std::move(method)),
      FUrl(std::move(target)),
      FHeaders(std::move(headers)),
      FBody(std::move(body)),
      FRemoteIP(std::move(remoteIP)) {
  const size_t q = FUrl.find('?');
  FPath = DecodePath(std::string_view(FUrl).substr(0, q));
  if (q == std::string::npos) return;
  std::string_view query = std::string_view(FUrl).substr(q + 1);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    FInputs.emplace_back(THTTPUtils::ParamsDecode(pair.substr(0, eq)),
                         eq == std::string_view::npos
                             ? std::string()
                             : THTTPUtils::ParamsDecode(pair.substr(eq + 1)));
  }
}

bool TVelaRestRequestContext::InputExists(std::string_view name) const {
  for (const auto& [n, v] : FInputs)
    if (SameText(n, name)) return true;
  return false;
}

std::string TVelaRestRequestContext::GetInputUTF8OrVoid(std::string_view name) const {
  for (const auto& [n, v] : FInputs)
    if (SameText(n, name)) return v;
  return {};
}

std::string TVelaRestRequestContext::GetInputString(std::string_view name) const {
  for (const auto& [n, v] : FInputs)
    if (SameText(n, name)) return v;
  throw ERestError(400, "Missing URI parameter '" + std::string(name) + "'");
}

std::string TVelaRestRequestContext::GetHeader(std::string_view name) const {
  for (const auto& [n, v] : FHeaders)
    if (SameText(n, name)) return v;
  return {};
}

void TVelaRestRequestContext::Returns(std::string text, int status, std::string_view header) {
  FAnswered = true;
  FStatus = status;
  FOutBody = std::move(text);
  FOutHeaders.clear();
  bool hasType = false;
  while (!header.empty()) {
    const size_t nl = header.find('\n');
    std::string_view line = header.substr(0, nl);
    header = nl == std::string_view::npos ? std::string_view() : header.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    std::string name = Trim(std::string(line.substr(0, colon)));
    std::string value = Trim(std::string(line.substr(colon + 1)));
    hasType = hasType || SameText(name, "Content-Type");
    FOutHeaders.emplace_back(std::move(name), std::move(value));
  }
  if (!hasType) FOutHeaders.emplace_back("Content-Type", "text/plain; charset=utf-8");
}

void TVelaRestRequestContext::ReturnsJson(std::string json, int status) {
  Returns(std::move(json), status, "Content-Type: application/json");
}

void TVelaRestRequestContext::ReturnFile(const std::string& fileName,
                                         std::string_view contentType) {
  std::string content;
  try {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw EFOpenError(fileName);
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw EFOpenError(fileName);
  } catch (const std::exception&) {
    Error("File '" + ExtractFileName(fileName) + "' not found", 404);
    return;
  }
  const std::string type =
      contentType.empty() ? ContentTypeOfFile(fileName) : std::string(contentType);
  Returns(std::move(content), 200, "Content-Type: " + type);
}

void TVelaRestRequestContext::Error(std::string_view message, int status) {
  TJsonValue answer = TJsonValue::MakeObject();
  answer.Add("errorCode", TJsonValue(status));
  answer.Add("errorText", TJsonValue(message));
  ReturnsJson(answer.ToJSON(), status);
}

}  // namespace vela
