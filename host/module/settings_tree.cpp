#include "host/module/settings_tree.h"

namespace vhost {

void SettingsTree::AnswerSettingsRequest(PluginMessage& /*message*/) {}

int32_t SettingsTree::ElementValue(void* /*element*/, int32_t /*operation*/, void* /*record*/) {
  return 0;
}

void SettingsTree::Reset() {}

}  // namespace vhost
