// Scheduled actions: plug-ins offer actions (an identity, a caption and a handler) that the
// host's scheduler runs with the key=value configuration a user stored for a task. The handler
// reports through a callback, one call per message.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

// Message types of the callback.
enum TScheduleMessageType : int32_t { smtInformation = 0, smtWarning = 1, smtError = 2 };

using TScheduleCallback = std::function<void(const std::string& ACaption,
                                             TScheduleMessageType AType, const std::string& AText)>;

struct TScheduleAction {
  std::string Identifier;  // GUID text
  std::string Caption;
  // Runs the action; ASuccess is set by the handler (it stays false when the handler leaves it).
  std::function<void(const std::string& AConfigData, const TScheduleCallback& ACallback,
                     bool& ASuccess)>
      Execute;
};

class TVelaScheduler {
 public:
  static TVelaScheduler& Instance();

  // An action of the same identifier is replaced.
  void Register(TScheduleAction AAction);
  void Unregister(std::string_view AIdentifier);
  // By caption or identifier (ignoring case); false when unknown.
  bool Find(std::string_view ACaptionOrIdentifier, TScheduleAction& AAction) const;
  std::vector<TScheduleAction> Actions() const;

  // Runs the action; false when it is unknown or reports failure. An exception of the handler
  // is reported to the callback as an error and counts as failure.
  bool Run(std::string_view ACaptionOrIdentifier, const std::string& AConfigData,
           const TScheduleCallback& ACallback) const;

 private:
  mutable std::mutex FLock;
  std::vector<TScheduleAction> FActions;
};

}  // namespace vela
