// The stand-in host's windows as a person would see them, as text.
#pragma once

#include <cstdint>
#include <string>

#include "host/core/export.h"
#include "host/toolkit/widget_tree.h"

namespace vhost {

// A text picture of window `window` and everything shown in it: the title,
// check boxes ticked ("[x]") or not ("[ ]"), group boxes open ("v") or
// minimised (">", without their contents), labels, and edit fields with their
// text. Hidden widgets are left out; a hidden window says so in its title bar.
// Frames in several columns place their children in rows, as the host lays them
// out. Plain ASCII, lines ending in '\n'.
VHOST_API std::string WindowPicture(const WidgetTree& tree, int32_t window);

// The first widget of `kind` under `root` (depth first, in child order) whose
// caption ("text", or "title" for windows) is `caption`; 0 when there is none.
VHOST_API int32_t FindByCaption(const WidgetTree& tree, int32_t root, const std::string& kind,
                                const std::string& caption);

}  // namespace vhost
