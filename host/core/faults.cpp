#include "host/core/faults.h"

#include "host/core/release.h"

namespace vhost {

void FaultLog::Record(std::string_view call, std::string_view what) noexcept {
  try {
    entries_.push_back({std::string(call), std::string(what)});
  } catch (...) {
    ++dropped_;  // the plug-in's call goes on; the log still is not empty
  }
}

std::string FaultLog::Describe() const {
  std::string text;
  for (const Misbehaviour& entry : entries_) text += entry.call + ": " + entry.what + "\n";
  if (dropped_ != 0) text += std::to_string(dropped_) + " more, not recorded for lack of memory\n";
  return text;
}

void FaultLog::Clear() {
  Release(entries_);
  dropped_ = 0;
}

FaultWiring::FaultWiring()
    : own_(std::make_unique<Own>()), faults_(&own_->faults), log_(&own_->log) {}

void FaultWiring::ResetOwn() {
  if (own_ == nullptr) return;
  own_->faults = {};
  own_->log.Clear();
}

}  // namespace vhost
