// The FTP client: log in on Connect, change directory one segment at a time, retrieve a file
// into a stream and store a stream as a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/indy/IdGlobal.h"

namespace vela {

class TIdFTP : public TIdComponent {
 public:
  TIdFTP();

  std::string Host;
  // DefaultPort() unless set.
  uint16_t Port;
  // Empty: anonymous login.
  std::string Username;
  std::string Password;
  // Passive mode (the client opens the data connection); otherwise the server connects back.
  bool Passive = false;

  void SetPassive(bool AValue) noexcept { Passive = AValue; }
  // Connects to Host:Port and logs in. Raises EIdReplyRFCError when the login is refused.
  void Connect();
  bool Connected() const noexcept { return FConnected; }
  // Changes into ADir below the current directory (a leading '/' starts from the root; empty
  // pieces are skipped). The change is sent with the next transfer, one CWD per segment
  // starting from the login directory, so a missing directory fails that transfer.
  void ChangeDir(const std::string& ADir);
  // The directory segments that the next transfer changes into.
  const std::vector<std::string>& CurrentDirSegments() const noexcept { return FDirs; }
  // Retrieves ASourceFile of the current directory into ADest (at its position); with AResume
  // the transfer continues after the bytes ADest already holds.
  void Get(const std::string& ASourceFile, TStream& ADest, bool AResume = false);
  // Stores all of ASource as ADestFile in the current directory, replacing an existing file
  // unless AAppend.
  void Put(TStream& ASource, const std::string& ADestFile, bool AAppend = false);

  // The port of new clients: 21 unless the host sets another.
  static uint16_t DefaultPort() noexcept;
  static void SetDefaultPort(uint16_t APort) noexcept;

 private:
  // The location of AFile in the current directory (AFile empty: the directory itself).
  std::string LocationOf(const std::string& AFile) const;
  void* PrepareRequest(const std::string& AURL);

  bool FConnected = false;
  bool FAbsolute = false;
  std::vector<std::string> FDirs;
};

}  // namespace vela
