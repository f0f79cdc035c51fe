// The host's main interface: what a plug-in and its pre-processors may ask of the running host
// (folders and path macros, placeholders, the kind of host, its title, the user's language and
// rights, and the global settings).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "host/EventLog.h"
#include "host/HostServices.h"
#include "host/InterfacedData.h"
#include "host/ProgressService.h"
#include "host/Session.h"
#include "rtl/DateUtils.h"
#include "rtl/Interfaces.h"

namespace vela {

// Which program hosts the plug-in.
enum class THostKind : int32_t { hkClient, hkServer };

struct IMainInterface : virtual IInterface {
  VELA_IID("{B0C6E9D2-4E1F-4C55-9D6B-7F3A2C81E5A0}");
  // The application folder ("$APP$"), without trailing delimiter.
  virtual std::string Get_ApplicationFolder() noexcept = 0;
  // Replaces the path macros "$APP$", "$CUSTOM$", "$PLUGINS$" and "$TEMP$" (any case) and makes
  // the path delimiters '/'.
  virtual std::string ExpandPathMacros(const std::string& APath) noexcept = 0;
  // Replaces "%NAME%" placeholders: first from AValues (names ignoring case), then the host's
  // own ("%APPTITLE%", "%USERNAME%", "%USERID%"). Unknown placeholders stay as they are.
  virtual std::string ExpandPlaceholders(const std::string& AText,
                                         INamedVariantListData* AValues) noexcept = 0;
  virtual THostKind Get_HostKind() noexcept = 0;
  virtual std::string Get_ApplicationTitle() noexcept = 0;
  // Whether dialogs can be shown (false for the command line and the server).
  virtual bool Get_HasUserInterface() noexcept = 0;
  // The host's current time.
  virtual TDateTime Get_CurrentTime() noexcept = 0;
  virtual TArdoLanguage Get_Language() noexcept = 0;
  virtual bool HasRight(int32_t ARight) noexcept = 0;
  virtual std::string Get_UserName() noexcept = 0;
  // Name=value lines of the host's global settings (for example "DBInstanceSource").
  virtual IPtr<IStringListData> Get_GlobalSettings() noexcept = 0;
  // The address record of the current user (0: none).
  virtual int64_t Get_UserAddressId() noexcept = 0;
};

// Replaces the path macros "$APP$", "$CUSTOM$", "$PLUGINS$" and "$TEMP$" (any case) for an
// application folder and makes the path delimiters '/' (the main interface's ExpandPathMacros).
std::string ExpandApplicationPathMacros(const std::string& AApplicationFolder,
                                        const std::string& APath);

class TVelaDatabase;

// The database the host opened for its plug-ins (queried from the main interface with
// Supports; a host without a database does not offer it).
struct IVelaHostDatabase : virtual IInterface {
  VELA_IID("{C4E2A9B1-5D3F-4A7E-8B06-9F1D2C3E4A5B}");
  // nil while the host has no database open.
  virtual TVelaDatabase* Get_Database() noexcept = 0;
};

// Settings of the installation by section and name, kept in the host database when one is open
// (so they belong to the database: several databases of one program keep their own), else for
// the life of the process.
struct IVelaGlobalSettings : virtual IInterface {
  VELA_IID("{9E41B7C2-3A58-4F6D-8C19-2B7D0E5A4F63}");
  // ADefault when the setting does not exist.
  virtual std::string ReadString(std::string_view ASection, std::string_view AName,
                                 std::string_view ADefault) = 0;
  virtual void WriteString(std::string_view ASection, std::string_view AName,
                           std::string_view AValue) = 0;
};

// The host's implementation, configured by the host executable before the plug-in starts.
class TVelaMainInterface : public TInterfacedObject,
                           public IMainInterface,
                           public IVelaHostDatabase,
                           public IVelaGlobalSettings,
                           public IVelaProgressService,
                           public IVelaGlobalFunctionService,
                           public IVelaScheduleService,
                           public IVelaXMLImportContainerService,
                           public IVelaSystemScriptService,
                           public IVelaApplicationServerService,
                           public IVelaEventLogService,
                           public IVelaDocumentStore {
  VELA_INTERFACES(TInterfacedObject, IMainInterface, IVelaHostDatabase, IVelaGlobalSettings,
                  IVelaProgressService, IVelaGlobalFunctionService, IVelaScheduleService,
                  IVelaXMLImportContainerService, IVelaSystemScriptService,
                  IVelaApplicationServerService, IVelaEventLogService, IVelaDocumentStore)

  // applicationFolder empty: the runtime's application folder.
  explicit TVelaMainInterface(std::string applicationFolder = {},
                              THostKind hostKind = THostKind::hkClient,
                              std::string applicationTitle = "VelaServerDataImport");

  std::string Get_ApplicationFolder() noexcept override;
  std::string ExpandPathMacros(const std::string& APath) noexcept override;
  std::string ExpandPlaceholders(const std::string& AText,
                                 INamedVariantListData* AValues) noexcept override;
  THostKind Get_HostKind() noexcept override { return FHostKind; }
  std::string Get_ApplicationTitle() noexcept override;
  bool Get_HasUserInterface() noexcept override { return false; }
  TDateTime Get_CurrentTime() noexcept override;
  TArdoLanguage Get_Language() noexcept override;
  bool HasRight(int32_t ARight) noexcept override;
  std::string Get_UserName() noexcept override;
  IPtr<IStringListData> Get_GlobalSettings() noexcept override;
  int64_t Get_UserAddressId() noexcept override { return FSession.AddressId(); }
  TVelaDatabase* Get_Database() noexcept override { return FDatabase; }
  TVelaGlobalFunctions& Get_GlobalFunctions() override { return TVelaGlobalFunctions::Instance(); }
  TVelaScheduler& Get_Scheduler() override { return TVelaScheduler::Instance(); }
  IPtr<IVelaXMLPartHandlerContainer> CreateVelaXMLImportContainer() override;
  bool RunSystemScriptMethod(const std::string& AContext, const std::string& AMethod,
                             const IPtr<INamedVariantListData>& AParams) override;
  TVelaApplicationServer& Get_ApplicationServer() override { return FApplicationServer; }
  std::string ReadString(std::string_view ASection, std::string_view AName,
                         std::string_view ADefault) override;
  void WriteString(std::string_view ASection, std::string_view AName,
                   std::string_view AValue) override;
  // Event log sessions; nil while no database is open.
  IPtr<IArdoEventLogger> OpenSession(const std::string& ASourceId, const std::string& ACaption,
                                     int32_t AFlags) override;
  // The document store of the open database; without one AttachFile raises EDatabaseError and
  // AttachedFiles lists nothing.
  bool IsFileList(const std::string& AName) override;
  void AttachFile(const std::string& ATableName, int64_t ARecordId,
                  const std::string& ALocalFileName, const std::string& ADisplayName) override;
  std::vector<std::string> AttachedFiles(const std::string& ATableName, int64_t ARecordId) override;
  // Progress goes to the display the host set, and nowhere without one.
  void StartProgress(const std::string& ACaption, TVelaProgressKind AKind) noexcept override;
  void StepProgress(int64_t APosition, int64_t ATotal, const std::string& AText) noexcept override;
  void EndProgress() noexcept override;

  // Configuration by the host (not part of the interface).
  TVelaSession& Session() { return FSession; }
  void SetApplicationTitle(std::string title);
  void SetGlobalSetting(std::string_view name, std::string_view value);
  // The host's database (not owned; it must outlive the plug-ins' use of it).
  void SetDatabase(TVelaDatabase* db) noexcept;
  // The host's log, where event log messages go besides the database (nil: nowhere).
  void SetLogSink(TVelaLogSink ASink);
  // The progress display (nil: none).
  void SetProgressService(IPtr<IVelaProgressService> AService);

 private:
  IPtr<IVelaProgressService> CurrentProgressService();

  std::string FApplicationFolder;
  THostKind FHostKind;
  std::mutex FLock;  // guards the title and the settings, which the host may change at run time
  std::string FApplicationTitle;
  IPtr<IStringListData> FGlobalSettings;
  TVelaSession FSession;
  TVelaDatabase* FDatabase = nullptr;
  std::map<std::string, std::string>
      FSectionSettings;                         // "section\nname" (lower case) without database
  IPtr<IVelaProgressService> FProgressService;  // guarded by FLock
  TVelaApplicationServer FApplicationServer;
  std::shared_ptr<TVelaEventLog> FEventLog;
};

}  // namespace vela
