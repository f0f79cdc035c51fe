#include "host/Scheduler.h"

#include <algorithm>
#include <exception>

#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

TVelaScheduler& TVelaScheduler::Instance() {
  static TVelaScheduler instance;
  return instance;
}

void TVelaScheduler::Register(TScheduleAction AAction) {
  std::lock_guard lock(FLock);
  for (auto& action : FActions) {
    if (SameText(action.Identifier, AAction.Identifier)) {
      action = std::move(AAction);
      return;
    }
  }
  FActions.push_back(std::move(AAction));
}

void TVelaScheduler::Unregister(std::string_view AIdentifier) {
  std::lock_guard lock(FLock);
  std::erase_if(FActions,
                [&](const TScheduleAction& a) { return SameText(a.Identifier, AIdentifier); });
}

bool TVelaScheduler::Find(std::string_view ACaptionOrIdentifier, TScheduleAction& AAction) const {
  std::lock_guard lock(FLock);
  for (const auto& action : FActions) {
    if (SameText(action.Caption, ACaptionOrIdentifier) ||
        SameText(action.Identifier, ACaptionOrIdentifier)) {
      AAction = action;
      return true;
    }
  }
  return false;
}

std::vector<TScheduleAction> TVelaScheduler::Actions() const {
  std::lock_guard lock(FLock);
  return FActions;
}

bool TVelaScheduler::Run(std::string_view ACaptionOrIdentifier, const std::string& AConfigData,
                         const TScheduleCallback& ACallback) const {
  TScheduleAction action;
  if (!Find(ACaptionOrIdentifier, action)) return false;
  bool success = false;
  try {
    action.Execute(AConfigData, ACallback, success);
  } catch (const std::exception& E) {
    if (ACallback) ACallback(action.Caption, smtError, ExceptionText(E));
    return false;
  }
  return success;
}

}  // namespace vela
