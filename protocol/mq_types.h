// Types and records that cross the boundary between the host and the plug-in.
//
// Both sides (the plug-in and the stand-in host) include this header, so every
// record has one definition and one layout per target. Records are plain C
// structs with natural alignment: integer fields stay 32 bits wide, handle and
// pointer fields are pointer-sized.
#pragma once

#include <cstdint>

// The calling convention of every entry point, host function and widget
// callback: the platform's default C convention, spelt out so that no compiler
// option can change it (cdecl on 32-bit x86, the one convention elsewhere).
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define MQ_CALL __cdecl
#else
#define MQ_CALL
#endif

// Truth value of the host protocol: 0 is false, any other value true. Spelt as
// <windows.h> spells it, so the two declarations agree when both are seen.
typedef int BOOL;  // NOLINT(modernize-use-using): must match <windows.h> exactly
static_assert(sizeof(BOOL) == 4, "BOOL is 32 bits on every target");

// Opaque host handles. They belong to the host; the plug-in only passes them back.
using MQDocument = void*;
using MQObject = void*;
using MQScene = void*;
using MQXmlElement = void*;
using MQCanvasHandle = void*;

// Sent with MQ_SendMessage. Built on the sender's stack; valid only during the call.
struct PluginMessage {
  uint32_t product;
  uint32_t id;
  int32_t reserved;  // always 0
  void** options;    // named-argument list; never null (an empty list is one null)
};

// MQXmlElem_Value operation codes, and their records. The host writes the results.
inline constexpr int32_t kXmlFindChild = 0x201;
inline constexpr int32_t kXmlAddChild = 0x101;
inline constexpr int32_t kXmlRemoveChild = 0x102;
inline constexpr int32_t kXmlGetText = 0x302;
inline constexpr int32_t kXmlSetText = 0x402;

struct XmlFindChildRecord {  // 0x201
  const char* name;
  void* result;
};
struct XmlAddChildRecord {  // 0x101
  const char* name;
  void* result;
};
struct XmlRemoveChildRecord {  // 0x102
  void* child;
  int32_t* result;
};
struct XmlGetTextRecord {  // 0x302; the text stays the host's
  const char* result;
};
struct XmlSetTextRecord {  // 0x402
  const char* text;
};

// MQWidget_Value operation codes.
enum class WidgetOp : int32_t {
  GetSystem = 0x100,       // "system" → text, "result" → int32 out: a system widget's ID
  Create = 0x101,          // "type" → kind name, "id" → int32 out: the new ID (0: none)
  Delete = 0x102,          // empty list
  AddChild = 0x201,        // "child" → int32, "result" → int32 out
  AddChildWindow = 0x203,  // "child" → int32 (a window), "result" → int32 out (unused)
  GetValue = 0x301,        // property key → preset out-storage of the property's type
  SetValue = 0x302,        // property key → value of the property's type
  AddEvent = 0x304,        // "type", "proc", "pointer", "prior"
};

// Widget property "justsize". The caller presets {0, 0, -1, -1}.
struct SizeRecord {
  int32_t width;
  int32_t height;
  int32_t reserved1;
  int32_t reserved2;
};

// The one widget callback the plug-in registers (AddEvent "proc"). The host calls it
// on its UI thread with the document, the event's named-argument list (the host's,
// valid during the call) and the "pointer" value given at registration.
using WidgetEventProcFn = int32_t(MQ_CALL*)(MQDocument document, void** args, void* binding);

// Built by the frame for command-plug-in mouse and key events; valid during the call.
struct MouseState {
  int32_t pos_x;  // NOLINT(readability-identifier-naming): protocol field names
  int32_t pos_y;  // NOLINT(readability-identifier-naming)
  int32_t wheel;
  int32_t left_button;    // NOLINT(readability-identifier-naming)
  int32_t middle_button;  // NOLINT(readability-identifier-naming)
  int32_t right_button;   // NOLINT(readability-identifier-naming)
  int32_t shift_key;      // NOLINT(readability-identifier-naming)
  int32_t ctrl_key;       // NOLINT(readability-identifier-naming)
  int32_t bit5_flag;      // NOLINT(readability-identifier-naming)
};

// Passed to OnDocumentOpened; built on the frame's stack.
struct DocumentLoadInfo {
  MQXmlElement xml_elem;  // NOLINT(readability-identifier-naming)
};

// Passed to OnDocumentSaved; save_uid starts false and the plug-in may set it.
struct DocumentSaveInfo {
  MQXmlElement xml_elem;  // NOLINT(readability-identifier-naming)
  BOOL save_uid;          // NOLINT(readability-identifier-naming)
};

// Record sizes are part of the protocol: 32-bit integers, pointer-sized handles.
static_assert(sizeof(PluginMessage) ==
                  3 * sizeof(int32_t) + sizeof(void*) + (sizeof(void*) == 8 ? 4 : 0),
              "PluginMessage: three 32-bit words and a pointer, naturally aligned");
static_assert(sizeof(XmlFindChildRecord) == 2 * sizeof(void*), "name, result");
static_assert(sizeof(XmlRemoveChildRecord) == 2 * sizeof(void*), "child, result pointer");
static_assert(sizeof(XmlGetTextRecord) == sizeof(void*), "result");
static_assert(sizeof(SizeRecord) == 16, "four 32-bit integers");
static_assert(sizeof(MouseState) == 36, "nine 32-bit integers");
static_assert(sizeof(DocumentLoadInfo) == sizeof(void*), "one handle");
static_assert(sizeof(DocumentSaveInfo) == 2 * sizeof(void*), "handle, BOOL (padded on 64-bit)");
