// velaimport log: the business integration import log, newest entry last, with the documents
// attached to each entry.
#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>

#include "Commands.h"
#include "host/DocumentStore.h"
#include "host/db/DbValues.h"
#include "host/db/VelaDatabase.h"
#include "rtl/DateUtils.h"

namespace vela::cli {

namespace {

const char* const kImportLog = "businessintegration_importlog";

struct TLogEntry {
  int64_t Id = 0;
  std::string Created;  // '' when unknown
  std::string State;
  std::string Descr;
  std::string Message;
  std::vector<std::string> Documents;
};

std::string StateName(int64_t state) {
  switch (state) {
    case 0:
      return "new";
    case 1:
      return "success";
    case 2:
      return "failed";
    default:
      return std::to_string(state);
  }
}

std::string ColumnString(TDbStatement& st, int column) {
  return st.ColumnIsNull(column) ? std::string() : std::string(st.ColumnText(column));
}

// The last `count` entries, oldest first.
std::vector<TLogEntry> ReadLastEntries(TVelaDatabase& db, int64_t count) {
  std::vector<TLogEntry> entries;
  {
    auto conn = db.Connection();
    TStatementRun st(conn->Prepare(
        "SELECT \"id\", \"createdate\", \"processedstateid\", \"descr\", \"logmessage\" FROM "
        "\"businessintegration_importlog\" ORDER BY \"id\" DESC LIMIT " +
        conn->Placeholder(1)));
    st->BindInt64(1, count);
    st->Execute();
    while (st->Next()) {
      TLogEntry e;
      e.Id = st->ColumnInt64(0);
      const Variant created = ReadFieldValue(*st, 1, ftDateTime);
      if (!created.IsNull())
        e.Created = FormatDateTime("yyyy-mm-dd hh:nn:ss", created.AsDateTime());
      e.State = StateName(st->ColumnIsNull(2) ? -1 : st->ColumnInt64(2));
      e.Descr = ColumnString(*st, 3);
      e.Message = ColumnString(*st, 4);
      entries.push_back(std::move(e));
    }
  }
  std::reverse(entries.begin(), entries.end());
  TVelaDocumentStore documents(db);
  for (auto& e : entries)
    e.Documents = documents.AttachedFiles(kImportLog, e.Id);
  return entries;
}

// The last `count` messages of the host's event log (background jobs), oldest first.
int RunEvents(TCommandContext& c, int64_t count) {
  struct TEvent {
    int64_t Id;
    std::string Created, Caption, Kind, Message;
  };
  std::vector<TEvent> events;
  {
    auto conn = c.Database().Connection();
    TStatementRun st(
        conn->Prepare("SELECT \"id\", \"createdate\", \"caption\", \"iserror\", \"message\" FROM "
                      "\"vela_eventlog\" ORDER BY \"id\" DESC LIMIT " +
                      conn->Placeholder(1)));
    st->BindInt64(1, count);
    st->Execute();
    while (st->Next()) {
      const Variant created = ReadFieldValue(*st, 1, ftDateTime);
      events.push_back(
          {st->ColumnInt64(0),
           created.IsNull() ? std::string()
                            : FormatDateTime("yyyy-mm-dd hh:nn:ss", created.AsDateTime()),
           ColumnString(*st, 2), !st->ColumnIsNull(3) && st->ColumnBool(3) ? "error" : "info",
           ColumnString(*st, 4)});
    }
  }
  std::reverse(events.begin(), events.end());
  TJson json = TJson::array();
  for (const auto& e : events)
    json.push_back({{"id", e.Id},
                    {"createdate", e.Created},
                    {"caption", e.Caption},
                    {"kind", e.Kind},
                    {"message", e.Message}});
  c.Output({{"events", json}}, [&](std::ostream& out) {
    for (const auto& e : events)
      out << e.Id << "  " << e.Created << "  " << e.Kind << "  " << e.Caption << ": " << e.Message
          << "\n";
  });
  return kExitOk;
}

int RunLog(TCommandContext& c, int64_t last, bool events) {
  if (last < 1) throw EUsageError("--last needs a number of entries (1 or more)");
  if (events) return RunEvents(c, last);
  const auto entries = ReadLastEntries(c.Database(), last);
  TJson json = TJson::array();
  for (const auto& e : entries)
    json.push_back({{"id", e.Id},
                    {"createdate", e.Created.empty() ? TJson() : TJson(e.Created)},
                    {"state", e.State},
                    {"descr", e.Descr},
                    {"logmessage", e.Message},
                    {"documents", e.Documents}});
  c.Output({{"entries", json}}, [&](std::ostream& out) {
    for (const auto& e : entries) {
      out << e.Id << "  " << (e.Created.empty() ? "-" : e.Created) << "  " << e.State;
      if (!e.Descr.empty()) out << "  " << e.Descr;
      out << "\n";
      std::istringstream lines(e.Message);
      for (std::string line; std::getline(lines, line);)
        out << "    " << line << "\n";
      if (!e.Documents.empty()) {
        out << "    documents:";
        for (const auto& d : e.Documents)
          out << " " << d;
        out << "\n";
      }
    }
  });
  return kExitOk;
}

}  // namespace

void RegisterLogCommands(TCommandLine& cli) {
  auto last = std::make_shared<int64_t>(20);
  auto events = std::make_shared<bool>(false);
  auto* log = cli.Add("log", "the business integration import log, newest entry last",
                      [last, events](TCommandContext& c) { return RunLog(c, *last, *events); });
  log->add_option("--last", *last, "how many entries")->capture_default_str();
  log->add_flag("--events", *events,
                "the event log of the background jobs instead (a container that fails before "
                "its import shows only there)");
}

}  // namespace vela::cli
