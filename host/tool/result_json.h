// Results read back from the JSON they were written as (result.h writes it),
// for `merge` and `--baseline`: kept apart from result.h so that only the
// units that read reports see the JSON library.
#pragma once

#include <nlohmann/json.hpp>

#include "host/tool/result.h"

namespace vtool {

// A model of the JSON document's "models" back as a result: every field the
// JSON holds (not the window's picture, the stderr lines or the fault's kind,
// which it does not). Throws std::runtime_error naming the first key that is
// missing or of the wrong type.
ModelResult ModelFromJson(const nlohmann::ordered_json& model);

}  // namespace vtool
