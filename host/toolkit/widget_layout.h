// Internal to the widget tree: the stand-in toolkit's defaults for a new widget.
// Shared by the tree's own source files only; nothing here is exported.
#pragma once

#include <map>
#include <string>

#include "host/toolkit/widget_tree.h"

namespace vhost::detail {

// The properties a new widget of `kind` starts with.
std::map<std::string, WidgetValue> Defaults(const std::string& kind);

}  // namespace vhost::detail
