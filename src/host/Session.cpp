#include "host/Session.h"

#include "rtl/SysUtils.h"

namespace vela {

void TVelaSession::SetRightsText(std::string_view list) {
  std::set<int> rights;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string item = Trim(list.substr(start, comma - start));
    if (!item.empty()) rights.insert(StrToInt(item));
    start = comma + 1;
  }
  SetRights(std::move(rights));
}

}  // namespace vela
