// Services of the host that plug-ins query from the main interface with Supports, the way they
// reach the host database: the global functions, the scheduler's actions, the VelaXML part
// handlers and the application server. A host that lacks one does not offer its interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/GlobalFunctions.h"
#include "host/InterfacedData.h"
#include "host/Scheduler.h"
#include "host/server/ApplicationServer.h"
#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "rtl/Interfaces.h"

namespace vela {

struct IVelaGlobalFunctionService : virtual IInterface {
  VELA_IID("{6A0E93D4-21C8-4B7F-9E35-C84D1F0B7A26}");
  virtual TVelaGlobalFunctions& Get_GlobalFunctions() = 0;
};

struct IVelaScheduleService : virtual IInterface {
  VELA_IID("{B37C5E81-0D94-4A2B-8F61-3E9A7D05C4B8}");
  virtual TVelaScheduler& Get_Scheduler() = 0;
};

struct IVelaXMLImportContainerService : virtual IInterface {
  VELA_IID("{4E85D1A7-96B3-4C20-B7F8-1A2C6E9D0F53}");
  // The part handlers of the host's database for one run; nil while no database is open.
  virtual IPtr<IVelaXMLPartHandlerContainer> CreateVelaXMLImportContainer() = 0;
};

// The host's system scripts: Lua files "custom/scripts/CONTEXT.lua" below the application
// folder, each defining functions (methods). They run sandboxed (files only below the
// application folder, no programs, no native modules).
struct IVelaSystemScriptService : virtual IInterface {
  VELA_IID("{1F6B2C93-7E4A-4D18-A5C0-92E3B84D6F17}");
  // Calls the function with one table argument holding the named values. False, with nothing
  // run, when the context has no script or the script defines no such function; a script error
  // raises EScriptError.
  virtual bool RunSystemScriptMethod(const std::string& AContext, const std::string& AMethod,
                                     const IPtr<INamedVariantListData>& AParams) = 0;
};

// The application server: plug-ins register their REST routes, background jobs and shutdown
// checks here; the server serves them while it runs.
struct IVelaApplicationServerService : virtual IInterface {
  VELA_IID("{0BECC914-F0C1-4F85-AA1A-1DCA2AEDD59A}");
  virtual TVelaApplicationServer& Get_ApplicationServer() = 0;
};

// Display types of event log messages.
enum TEventLogMessageDisplayType : int32_t { elmdtInformation = 0, elmdtError = 1 };

// The display type of a message by its error flag (false: information, true: error).
constexpr TEventLogMessageDisplayType BoolToEventLogMessageDisplayType[2] = {elmdtInformation,
                                                                             elmdtError};

// One session of the host's event log: the messages of one run of one source (a background
// job, a scheduled action). Messages are kept in the host database and written to the log.
struct IArdoEventLogger : virtual IInterface {
  VELA_IID("{7D4F0A62-2B19-4C8E-9E53-6A1C0B8D2F45}");
  virtual void LogMessage(const std::string& AMessage, bool AIsError,
                          TEventLogMessageDisplayType ADisplayType) = 0;
  // Ends the session; later messages are dropped.
  virtual void CloseSession() = 0;
};

// The host's event log.
struct IVelaEventLogService : virtual IInterface {
  VELA_IID("{E2A95C37-8F14-4B06-A7D2-51C3E0F69B84}");
  // Opens a session for a source (its identity GUID text) with a caption; AFlags is kept with
  // the session. nil when the host keeps no event log (no database open).
  virtual IPtr<IArdoEventLogger> OpenSession(const std::string& ASourceId,
                                             const std::string& ACaption, int32_t AFlags) = 0;
};

// The host's document store: files attached to records of any table.
struct IVelaDocumentStore : virtual IInterface {
  VELA_IID("{3C81E6F9-0A5D-4E27-B94C-D6F2A18E5073}");
  // True when the name is a file list (several file names, one per line) rather than one file.
  virtual bool IsFileList(const std::string& AName) = 0;
  // Attaches the content of the local file to the record under the display name (its own file
  // name when empty). Raises EInOutError naming the file when it cannot be read.
  virtual void AttachFile(const std::string& ATableName, int64_t ARecordId,
                          const std::string& ALocalFileName, const std::string& ADisplayName) = 0;
  // The display names attached to a record, in the order attached.
  virtual std::vector<std::string> AttachedFiles(const std::string& ATableName,
                                                 int64_t ARecordId) = 0;
};

}  // namespace vela
