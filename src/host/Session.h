// The running user's session: who is working, in which language, with which rights.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "host/ArdoLang.h"

namespace vela {

class TVelaSession {
 public:
  int64_t UserId() const { return FUserId; }
  void SetUserId(int64_t id) { FUserId = id; }
  int64_t AddressId() const { return FAddressId; }
  void SetAddressId(int64_t id) { FAddressId = id; }
  const std::string& UserName() const { return FUserName; }
  void SetUserName(std::string name) { FUserName = std::move(name); }
  TArdoLanguage Language() const { return FLanguage; }
  void SetLanguage(TArdoLanguage lang) { FLanguage = lang; }

  // Without an explicit list the user holds every right.
  bool HasRight(int right) const { return FAllRights || FRights.count(right) > 0; }
  void GrantAllRights() {
    FAllRights = true;
    FRights.clear();
  }
  void SetRights(std::set<int> rights) {
    FAllRights = false;
    FRights = std::move(rights);
  }
  // Comma-separated numbers ("100,101"); blanks allowed. Raises EConvertError for a bad number.
  void SetRightsText(std::string_view list);

 private:
  int64_t FUserId = 1;
  int64_t FAddressId = 0;
  std::string FUserName = "admin";
  TArdoLanguage FLanguage = TArdoLanguage::English;
  bool FAllRights = true;
  std::set<int> FRights;
};

}  // namespace vela
