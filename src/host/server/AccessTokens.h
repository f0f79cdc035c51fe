// Access tokens of REST clients, kept in the host table "vela_accesstoken". A token is shown
// once, when it is created; the table holds only its SHA-256, so a copy of the database does not
// give access. Each token carries the rights of its holder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/server/RestContext.h"
#include "rtl/DateUtils.h"

namespace vela {

class TVelaDatabase;

struct TAccessTokenInfo {
  std::string Name;
  std::string Rights;   // comma-separated numbers; empty: every right
  std::string Created;  // "YYYY-MM-DD HH:MM:SS"
};

class TVelaAccessTokens {
 public:
  // Creates the host tables when they are missing.
  explicit TVelaAccessTokens(TVelaDatabase& db);

  // Creates a token named name and returns it (64 hex digits from 32 random bytes). Raises
  // Exception when the name is empty or taken, EConvertError for a malformed rights list.
  std::string Add(const std::string& name, const std::string& rights = {});
  // All tokens by name (without the tokens themselves).
  std::vector<TAccessTokenInfo> List();
  // False when no token has that name.
  bool Remove(const std::string& name);
  // The session of a token; nullopt when it is unknown (or was removed).
  std::optional<TRestSession> Verify(std::string_view token);

  // SHA-256 of the token in lower-case hex.
  static std::string HashToken(std::string_view token);

 private:
  TVelaDatabase& FDb;
};

}  // namespace vela
