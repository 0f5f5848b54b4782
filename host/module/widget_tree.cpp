#include "host/module/widget_tree.h"

namespace vhost {

int32_t WidgetTree::Value(int32_t /*widget_id*/, int32_t /*operation*/, void** /*args*/) {
  return 0;
}

void WidgetTree::Reset() {}

}  // namespace vhost
