#include "host/server/AccessTokens.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "rtl/Encoders.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

const char* const kSelectByName = "SELECT \"id\" FROM \"vela_accesstoken\" WHERE \"name\" = ";

}  // namespace

TVelaAccessTokens::TVelaAccessTokens(TVelaDatabase& db) : FDb(db) {
  FDb.InitHostTables();
}

std::string TVelaAccessTokens::HashToken(std::string_view token) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(token.data(), token.size(), digest, &size, EVP_sha256(), nullptr) != 1)
    throw Exception("SHA-256 failed");
  return LowerCase(TextToHex(std::string_view(reinterpret_cast<const char*>(digest), size)));
}

std::string TVelaAccessTokens::Add(const std::string& name, const std::string& rights) {
  if (Trim(name).empty()) throw Exception("An access token needs a name");
  TVelaSession check;
  if (!Trim(rights).empty()) check.SetRightsText(rights);  // raises for a malformed list
  unsigned char random[32];
  if (RAND_bytes(random, sizeof random) != 1) throw Exception("No random bytes for a token");
  const std::string token =
      LowerCase(TextToHex(std::string_view(reinterpret_cast<const char*>(random), sizeof random)));
  auto conn = FDb.Connection();
  {
    TStatementRun st(conn->Prepare(kSelectByName + conn->Placeholder(1)));
    st->BindText(1, name);
    st->Execute();
    if (st->Next()) throw Exception("An access token named '" + name + "' exists already");
  }
  TStatementRun st(conn->Prepare(
      "INSERT INTO \"vela_accesstoken\" (\"name\", \"tokenhash\", \"rights\", \"createdate\") "
      "VALUES (" +
      conn->Placeholder(1) + ", " + conn->Placeholder(2) + ", " + conn->Placeholder(3) + ", " +
      conn->Placeholder(4) + ")"));
  st->BindText(1, name);
  st->BindText(2, HashToken(token));
  st->BindText(3, Trim(rights));
  st->BindText(4, FormatDateTime("yyyy-mm-dd hh:nn:ss", Now()));
  st->Execute();
  FDb.NoteTableChanged("vela_accesstoken");
  return token;
}

std::vector<TAccessTokenInfo> TVelaAccessTokens::List() {
  auto conn = FDb.Connection();
  TStatementRun st(conn->Prepare(
      "SELECT \"name\", \"rights\", \"createdate\" FROM \"vela_accesstoken\" ORDER BY \"name\""));
  st->Execute();
  std::vector<TAccessTokenInfo> tokens;
  while (st->Next()) {
    TAccessTokenInfo info;
    info.Name = st->ColumnText(0);
    if (!st->ColumnIsNull(1)) info.Rights = st->ColumnText(1);
    if (!st->ColumnIsNull(2)) info.Created = st->ColumnText(2).substr(0, 19);
    tokens.push_back(std::move(info));
  }
  return tokens;
}

bool TVelaAccessTokens::Remove(const std::string& name) {
  auto conn = FDb.Connection();
  TStatementRun st(
      conn->Prepare("DELETE FROM \"vela_accesstoken\" WHERE \"name\" = " + conn->Placeholder(1)));
  st->BindText(1, name);
  st->Execute();
  const bool removed = st->RowsAffected() > 0;
  if (removed) FDb.NoteTableChanged("vela_accesstoken");
  return removed;
}

std::optional<TRestSession> TVelaAccessTokens::Verify(std::string_view token) {
  if (token.empty()) return std::nullopt;
  const std::string hash = HashToken(token);
  auto conn = FDb.Connection();
  TStatementRun st(
      conn->Prepare("SELECT \"name\", \"rights\" FROM \"vela_accesstoken\" WHERE "
                    "\"tokenhash\" = " +
                    conn->Placeholder(1)));
  st->BindText(1, hash);
  st->Execute();
  if (!st->Next()) return std::nullopt;
  TRestSession session;
  session.Kind = TRestSessionKind::rskToken;
  session.TokenName = st->ColumnText(0);
  session.User.SetUserName(session.TokenName);
  const std::string rights = st->ColumnIsNull(1) ? std::string() : std::string(st->ColumnText(1));
  if (!rights.empty()) session.User.SetRightsText(rights);
  return session;
}

}  // namespace vela
