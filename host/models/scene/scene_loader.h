// Scene files: JSON naming model files and spelling out objects (see models.h),
// read whole, checked whole, then built into a document handed over at the end.
#pragma once

#include <string>

#include "host/model/documents.h"
#include "host/models/registry.h"

namespace vhost::models {

// The scene reader's entry in the registry: ".json". A scene's entries name
// model files, never another scene.
Format SceneFormat();

// Loads the scene whose JSON is `text` as LoadScene loads the file `path`
// (models.h): messages name `path`, and the files its entries name are found
// from the directory of `path`, whether it exists or not. Both are the
// caller's; no size limit is applied to text the caller already holds.
void LoadSceneText(const std::string& text, const std::string& path, Document& document,
                   const LoadProgress& progress = {});

}  // namespace vhost::models
