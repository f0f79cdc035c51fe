#include "platform/indy/IdURI.h"

#include <vector>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TIdURI::TIdURI(const std::string& AURI) {
  SetURI(AURI);
}

std::string TIdURI::URLDecode(const std::string& AText) {
  std::string result;
  result.reserve(AText.size());
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '%' && i + 2 < AText.size() && HexValue(AText[i + 1]) >= 0 &&
        HexValue(AText[i + 2]) >= 0) {
      result.push_back(static_cast<char>(HexValue(AText[i + 1]) * 16 + HexValue(AText[i + 2])));
      i += 2;
    } else {
      result.push_back(AText[i]);
    }
  }
  return result;
}

void TIdURI::SetURI(const std::string& AURI) {
  FURI = AURI;
  Protocol = Username = Password = Host = Port = Document = Params = Bookmark = {};
  Path = "/";
  std::string rest = AURI;
  if (const size_t hash = rest.find('#'); hash != std::string::npos) {
    Bookmark = rest.substr(hash + 1);
    rest.erase(hash);
  }
  if (const size_t query = rest.find('?'); query != std::string::npos) {
    Params = rest.substr(query + 1);
    rest.erase(query);
  }
  if (const size_t scheme = rest.find("://"); scheme != std::string::npos) {
    Protocol = LowerCase(rest.substr(0, scheme));
    rest.erase(0, scheme + 3);
    const size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    if (const size_t at = authority.rfind('@'); at != std::string::npos) {
      const std::string userInfo = authority.substr(0, at);
      authority.erase(0, at + 1);
      const size_t colon = userInfo.find(':');
      Username = URLDecode(userInfo.substr(0, colon));
      if (colon != std::string::npos) Password = URLDecode(userInfo.substr(colon + 1));
    }
    size_t portColon = authority.rfind(':');
    if (!authority.empty() && authority[0] == '[') {
      const size_t close = authority.find(']');
      Host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      portColon = close == std::string::npos ? close : authority.find(':', close);
    } else {
      Host = authority.substr(0, portColon);
    }
    if (portColon != std::string::npos) Port = authority.substr(portColon + 1);
  }
  const size_t lastSlash = rest.rfind('/');
  if (lastSlash == std::string::npos) {
    Document = URLDecode(rest);
  } else {
    Path = URLDecode(rest.substr(0, lastSlash + 1));
    if (Path.empty() || Path[0] != '/') Path.insert(0, "/");
    Document = URLDecode(rest.substr(lastSlash + 1));
  }
}

std::string TIdURI::ProcessPath(const std::string& APathIn, const std::string& ABasePath,
                                const std::string& APathDelim) {
  if (APathDelim.empty()) return APathIn;
  std::string path = APathIn;
  const bool absolute = path.compare(0, APathDelim.size(), APathDelim) == 0;
  if (!absolute && !ABasePath.empty()) {
    path = ABasePath;
    if (path.size() < APathDelim.size() ||
        path.compare(path.size() - APathDelim.size(), APathDelim.size(), APathDelim) != 0)
      path += APathDelim;
    path += APathIn;
  }
  const bool leading = path.compare(0, APathDelim.size(), APathDelim) == 0;
  if (leading) path.erase(0, APathDelim.size());

  std::vector<std::string> segments;
  bool trailing = false;
  size_t pos = 0;
  while (true) {
    const size_t next = path.find(APathDelim, pos);
    const std::string seg = path.substr(pos, next == std::string::npos ? next : next - pos);
    const bool last = next == std::string::npos;
    if (seg == ".") {
      trailing = true;
    } else if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
      trailing = true;
    } else if (!(last && seg.empty())) {
      segments.push_back(seg);
      trailing = false;
    } else {
      trailing = !segments.empty() || leading;
    }
    if (last) break;
    pos = next + APathDelim.size();
  }
  std::string result = leading ? APathDelim : std::string();
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) result += APathDelim;
    result += segments[i];
  }
  if (trailing && !segments.empty()) result += APathDelim;
  return result;
}

}  // namespace vela
