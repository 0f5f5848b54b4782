// Scene files: JSON naming model files and spelling out objects (see models.h),
// read whole, checked whole, then built into a document handed over at the end.
#pragma once

#include "host/models/registry.h"

namespace vhost::models {

// The scene reader's entry in the registry: ".json". A scene's entries name
// model files, never another scene.
Format SceneFormat();

}  // namespace vhost::models
