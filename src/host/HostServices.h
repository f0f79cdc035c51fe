// Services of the host that plug-ins query from the main interface with Supports, the way they
// reach the host database: the global functions, the scheduler's actions, the VelaXML part
// handlers and the application server. A host that lacks one does not offer its interface.
#pragma once

#include <string>

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

}  // namespace vela
