// The stand-in host's widget tree: what MQWidget_Value operates on.
#pragma once

#include <cstdint>

namespace vhost {

class WidgetTree {
 public:
  // One MQWidget_Value call from the plug-in: widget ID, operation code and the
  // named-argument list the plug-in built on its stack (valid during the call).
  int32_t Value(int32_t widget_id, int32_t operation, void** args);

  // Back to a freshly started host.
  void Reset();
};

}  // namespace vhost
