// The stand-in host's settings tree: the XML elements behind MQXmlElem_Value and
// the "pluginsettings" element that message 505 hands out.
#pragma once

#include <cstdint>

#include "frame/mq_types.h"

namespace vhost {

class SettingsTree {
 public:
  // Message 505: the plug-in asks for the settings element; the host writes it
  // into the value slot that follows "pluginsettings" in the message's options.
  void AnswerSettingsRequest(PluginMessage& message);

  // One MQXmlElem_Value call: element handle, operation code, operation record.
  int32_t ElementValue(void* element, int32_t operation, void* record);

  // Back to a freshly started host.
  void Reset();
};

}  // namespace vhost
