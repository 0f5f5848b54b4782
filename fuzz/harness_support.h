// Shared by the harnesses that drive the shipped plug-in: one load of the library
// for the whole fuzzing process, documents built from fuzz bytes, and the checks
// that every input must leave the host clean.
//
// The plug-in is loaded once (a load per input would cost more than the input);
// each input starts it (event 1), plays, and exits it (event 2), then the host is
// reset. Only what a host could hand the plug-in is handed to it: document
// handles are live documents or null, names are NUL-terminated texts, integer
// values point at real 32-bit storage.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/api/host_state.h"
#include "host/loader/paths.h"
#include "host/probe/veltrane_session.h"

namespace fuzzing {

// The one session of this process. Never destroyed: the library stays mapped
// until the process ends, and the host's state outlives every input.
inline vhost::VeltraneSession& Session() {
  static vhost::VeltraneSession* session =
      new vhost::VeltraneSession(vhost::BesideExecutable(VELTRANE_PLUGIN_FILE));
  return *session;
}

// Stops the run with a readable reason; libFuzzer saves the input that did it.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

// Fills `doc` with a few objects chosen by the input: a cube, a triangle, a
// hidden quad, a lathe profile, a mirrored quad, a patched cube, an empty slot.
inline void BuildDocument(FuzzedDataProvider& in, vhost::Document& doc) {
  const int objects = in.ConsumeIntegralInRange<int>(0, 5);
  for (int i = 0; i < objects; ++i) {
    vhost::Object& o = doc.AddObject("o" + std::to_string(i));
    const int32_t v = o.VertexCount();
    switch (in.ConsumeIntegralInRange<int>(0, 6)) {
      case 0:  // a triangle and an unused vertex
        for (int k = 0; k < 4; ++k) o.AddVertex({double(k), double(k % 2), 0});
        o.AddFace({v, v + 1, v + 2});
        break;
      case 1:  // a hidden quad
        for (int k = 0; k < 4; ++k) o.AddVertex({double(k % 2), double(k / 2), 0});
        o.AddFace({v, v + 1, v + 3, v + 2});
        o.visible = false;
        break;
      case 2:  // a lathe profile of 2-point faces
        o.AddVertex({0, 0, 0});
        o.AddVertex({1, 0.5, 0});
        o.AddVertex({0.5, 1, 0});
        o.AddFace({v, v + 1});
        o.AddFace({v + 1, v + 2});
        o.lathe.type = 1;
        o.lathe.segments = in.ConsumeIntegralInRange<int32_t>(3, 8);
        break;
      case 3:  // a mirrored quad off the plane
        for (int k = 0; k < 4; ++k) o.AddVertex({1.0 + k % 2, double(k / 2), 0});
        o.AddFace({v, v + 1, v + 3, v + 2});
        o.mirror.type = in.ConsumeIntegralInRange<int32_t>(1, 2);
        o.mirror.axis = in.ConsumeIntegralInRange<int32_t>(1, 7);
        break;
      case 4:  // a patched pentagon and a point
        for (int k = 0; k < 5; ++k) o.AddVertex({double(k), double(k * k % 3), 0});
        o.AddFace({v, v + 1, v + 2, v + 3, v + 4});
        o.AddFace({v});
        o.patch.type = 1;
        break;
      case 5:  // an object whose faces were all deleted
        for (int k = 0; k < 3; ++k) o.AddVertex({double(k), 1, 0});
        o.AddFace({v, v + 1, v + 2});
        o.DeleteFace(0);
        break;
      default:
        break;  // an empty object
    }
  }
  if (objects > 0 && in.ConsumeBool()) doc.RemoveObject(0);  // an empty slot
  doc.currentIndex = in.ConsumeIntegralInRange<int32_t>(-1, objects);
}

// Opens a document in the host and fills it from the input.
inline vhost::Document& OpenDocument(FuzzedDataProvider& in) {
  vhost::Document& doc = vhost::State().documents.Open();
  BuildDocument(in, doc);
  return doc;
}

// What every input must leave behind once the plug-in has exited: no widget of
// the plug-in alive in the host, no frozen copy left over, no misbehaviour.
inline void CheckExitedClean() {
  const std::vector<std::string> leftovers = vhost::State().Leftovers();
  if (!leftovers.empty()) Fail("after exit: " + leftovers.front());
}

// Ends an input: the plug-in exits, the host must be clean, and is reset for
// the next input.
inline void ExitAndCheck(vhost::VeltraneSession& session) {
  session.Exit();
  CheckExitedClean();
  vhost::State().Reset();
}

}  // namespace fuzzing
