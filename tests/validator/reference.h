// The counts the window must show, worked out from the stand-in host's own
// document model: the validator's independent reading of the counting rules, not
// a call into the plug-in. Live vertices are those some face uses; faces of one
// point are in no row; the total adds n - 2 for an n-gon in triangle mode and 1
// otherwise; with freeze, an object with a mirror, lathe or patch modifier is
// counted from a frozen copy, unless the host cannot make copies.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/model/documents.h"

namespace validator {

// vertices, total, 2-, 3-, 4-, 5+-point faces: the rows V, F, 2, 3, 4, 5.
using Counts = std::array<int64_t, 6>;

struct CountRules {
  bool all = false;
  bool visible = true;
  bool freeze = false;
  bool triangle = true;
  bool clonesFail = false;  // the host answers no copy: objects count as they are
};

inline Counts CountOf(const vhost::Object& original, const CountRules& rules) {
  const bool modified =
      original.mirror.type != 0 || original.lathe.type != 0 || original.patch.type != 0;
  vhost::Object frozen;
  const vhost::Object* object = &original;
  if (rules.freeze && modified && !rules.clonesFail) {
    frozen = original;
    frozen.Freeze(vhost::kFreezeMirror | vhost::kFreezeLathe | vhost::kFreezePatch);
    object = &frozen;
  }
  Counts c{};
  for (int32_t v = 0; v < object->VertexCount(); ++v) c[0] += object->VertexRefCount(v) > 0;
  for (int32_t f = 0; f < object->FaceCount(); ++f) {
    const int32_t n = object->FacePointCount(f);
    if (n < 2) continue;
    c[n == 2 ? 2 : n == 3 ? 3 : n == 4 ? 4 : 5] += 1;
    c[1] += rules.triangle && n > 2 ? n - 2 : 1;
  }
  return c;
}

// What the two groups show after a refresh of `doc` (null: a host event
// without a document). `all` is meaningful only with rules.all.
struct Expected {
  Counts current{};
  Counts all{};
};

inline Expected ExpectedCounts(const vhost::Document* doc, const CountRules& rules) {
  Expected e;
  if (doc == nullptr) return e;
  const vhost::Object* current = doc->At(doc->currentIndex);
  if (!rules.all) {
    if (current != nullptr) e.current = CountOf(*current, rules);
    return e;
  }
  for (int32_t i = 0; i < doc->SlotCount(); ++i) {
    const vhost::Object* object = doc->At(i);
    if (object == nullptr) continue;
    const bool summed = !rules.visible || object->visible;
    if (!summed && object != current) continue;
    const Counts counts = CountOf(*object, rules);
    if (object == current) e.current = counts;
    if (summed) {
      for (std::size_t k = 0; k < counts.size(); ++k) e.all[k] += counts[k];
    }
  }
  return e;
}

}  // namespace validator
