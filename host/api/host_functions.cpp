#include "protocol/host_functions.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "host/api/host_state.h"
#include "host/core/release.h"
#include "protocol/mq_types.h"
#include "protocol/named_args.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32)
#define VHOST_EXPORT extern "C" __declspec(dllexport)
#else
#define VHOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Every host function declared from the protocol's list, so that a definition
// below that strays from its signature does not compile.
#define MQ_HOST_CALLED(name, result, parameters) VHOST_EXPORT result MQ_CALL name parameters;
#define MQ_HOST_BOUND(name)
#include "protocol/host_functions.inc"
#undef MQ_HOST_CALLED
#undef MQ_HOST_BOUND

namespace vhost {

std::vector<std::string> HostState::Leftovers() const {
  std::vector<std::string> found;
  const std::size_t widgetsAlive = widgets.AliveIds().size() - 1;  // the main window is the host's
  if (widgetsAlive != 0)
    found.push_back(std::to_string(widgetsAlive) + " widget(s) of the plug-in alive");
  if (documents.LiveClones() != 0)
    found.push_back(std::to_string(documents.LiveClones()) + " frozen cop(ies) not deleted");
  for (const Misbehaviour& entry : faultLog.Entries())
    found.push_back(entry.call + ": " + entry.what);
  if (faultLog.Dropped() != 0)
    found.push_back(std::to_string(faultLog.Dropped()) +
                    " misbehaviour(s) not recorded for lack of memory");
  return found;
}

void HostState::Reset() {
  // Only the first few are kept: a long fuzz or benchmark run resets the host
  // for every input and must not grow with it.
  constexpr std::size_t kKept = 16;
  for (std::string& sentence : Leftovers()) {
    if (discarded_.size() < kKept) {
      discarded_.push_back(std::move(sentence));
    } else {
      ++discardedBeyond_;
    }
  }
  Release(messages);
  documents.Reset();
  widgets.Reset();
  settings.Reset();
  faults = {};
  faultLog.Clear();
}

std::vector<std::string> HostState::TakeDiscarded() {
  std::vector<std::string> taken = std::move(discarded_);
  if (discardedBeyond_ != 0) taken.push_back("and " + std::to_string(discardedBeyond_) + " more");
  discarded_ = {};
  discardedBeyond_ = 0;
  return taken;
}

HostState& State() {
  static HostState state;
  return state;
}

}  // namespace vhost

// ---------------------------------------------------------------------------
// The 17 host functions the plug-in calls, typed as the protocol fixes them.

VHOST_EXPORT int32_t MQ_CALL MQ_SendMessage(int32_t message_code, PluginMessage* message) {
  // A C function: nothing may unwind into the plug-in (which calls its host
  // functions as noexcept). A host short of memory forgets the record...
  try {
    vhost::SentMessage sent;
    sent.code = message_code;
    if (message != nullptr) {
      sent.product = message->product;
      sent.id = message->id;
      sent.reserved = message->reserved;
      mq::ForEachNamedArg(message->options, [&sent](const char* name, const void*) {
        sent.optionNames.emplace_back(name);
      });
    }
    vhost::State().messages.push_back(std::move(sent));
  } catch (...) {
  }
  // ...and answers 505 with nothing when it cannot make the settings element.
  try {
    if (message_code == 505 && message != nullptr)
      vhost::State().settings.AnswerSettingsRequest(*message);
  } catch (...) {
  }
  return 0;
}

VHOST_EXPORT int32_t MQ_CALL MQXmlElem_Value(void* element, int32_t operation, void* record) {
  // A C function: an element operation the host has no memory for answers 0.
  try {
    return vhost::State().settings.ElementValue(element, operation, record);
  } catch (...) {
    return 0;
  }
}

VHOST_EXPORT int32_t MQ_CALL MQWidget_Value(int32_t widget_id, int32_t operation, void** args) {
  // A C function: nothing the tree throws may unwind into the plug-in.
  try {
    return vhost::State().widgets.Value(widget_id, operation, args);
  } catch (...) {
    return 0;
  }
}

// Document and object handles are Document* and Object*: each call goes
// straight to its data. A null handle answers 0 / null.

namespace {
const vhost::Document* AsDocument(MQDocument doc) { return static_cast<vhost::Document*>(doc); }
vhost::Object* AsObject(MQObject obj) { return static_cast<vhost::Object*>(obj); }
}  // namespace

VHOST_EXPORT int32_t MQ_CALL MQDoc_GetObjectCount(MQDocument doc) {
  return doc != nullptr ? AsDocument(doc)->SlotCount() : 0;
}
VHOST_EXPORT MQObject MQ_CALL MQDoc_GetObject(MQDocument doc, int32_t index) {
  return doc != nullptr ? AsDocument(doc)->At(index) : nullptr;
}
VHOST_EXPORT int32_t MQ_CALL MQDoc_GetCurrentObjectIndex(MQDocument doc) {
  return doc != nullptr ? AsDocument(doc)->currentIndex : -1;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetVertexCount(MQObject obj) {
  return obj != nullptr ? AsObject(obj)->VertexCount() : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetVertexRefCount(MQObject obj, int32_t vertex) {
  return obj != nullptr ? AsObject(obj)->VertexRefCount(vertex) : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetFaceCount(MQObject obj) {
  return obj != nullptr ? AsObject(obj)->FaceCount() : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetFacePointCount(MQObject obj, int32_t face) {
  return obj != nullptr ? AsObject(obj)->FacePointCount(face) : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetVisible(MQObject obj) {
  return obj != nullptr && AsObject(obj)->visible ? 1 : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetMirrorType(MQObject obj) {
  return obj != nullptr ? AsObject(obj)->mirror.type : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetPatchType(MQObject obj) {
  return obj != nullptr ? AsObject(obj)->patch.type : 0;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_GetLatheType(MQObject obj) {
  return obj != nullptr ? AsObject(obj)->lathe.type : 0;
}
// A copy the plug-in asked for and did not get, or one that stays as its
// original, is recorded with the reason: the plug-in counts the original then,
// which is not what its user asked for, and the tool says so.
VHOST_EXPORT MQObject MQ_CALL MQObj_Clone(MQObject obj) {
  if (obj == nullptr) return nullptr;
  vhost::Documents& documents = vhost::State().documents;
  const char* reason = "the host could not copy the object";
  try {
    if (MQObject copy = documents.Clone(*AsObject(obj))) return copy;
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (...) {
  }
  documents.RecordFreezeFailure(*AsObject(obj), reason);  // nothing unwinds into the plug-in
  return nullptr;
}
VHOST_EXPORT int32_t MQ_CALL MQObj_Freeze(MQObject obj, uint32_t flags) {
  if (obj == nullptr) return 0;
  vhost::Documents& documents = vhost::State().documents;
  vhost::Object& object = *AsObject(obj);
  try {
    std::string reason;
    if (object.Freeze(flags, &reason, documents.faults().freeze)) return 1;
    documents.RecordFreezeFailure(object, reason);
  } catch (const std::bad_alloc&) {
    documents.RecordFreezeFailure(object, "out of memory");
  } catch (...) {
    documents.RecordFreezeFailure(object, "the host could not freeze the object");
  }
  return 0;  // the object is as it was
}
VHOST_EXPORT void MQ_CALL MQObj_Delete(MQObject obj) {
  if (obj != nullptr) vhost::State().documents.Delete(AsObject(obj));
}

// ---------------------------------------------------------------------------
// The 158 functions the plug-in binds but never calls: harmless stubs that take
// nothing and answer 0, whatever a caller passes under the C convention.

#if defined(VHOST_OMIT_REFRESH_VIEW)
// A test build of the module that lacks exactly this export, to prove that the
// plug-in's binding notices a missing name. Renaming keeps the list the one source.
#define MQ_RefreshView VHostOmitted_RefreshView
#endif

#define MQ_HOST_CALLED(name, result, parameters)
#define MQ_HOST_BOUND(name) \
  VHOST_EXPORT int32_t MQ_CALL name() { return 0; }
#include "protocol/host_functions.inc"
#undef MQ_HOST_CALLED
#undef MQ_HOST_BOUND

namespace vhost {

std::string ModulePath() {
#if defined(_WIN32)
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    throw std::runtime_error("cannot name the host executable");
  return std::string(buffer, length);
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&MQ_SendMessage), &info) == 0 || info.dli_fname == nullptr) {
    throw std::runtime_error("cannot name the host module");
  }
  return info.dli_fname;
#endif
}

}  // namespace vhost
