// The plug-in library's exported surface: exactly these 14 C entry points.
//
// Every entry point is called by the host on its one UI thread, one call at a
// time. Text arguments are borrowed for the call; returned text is static and
// stays valid while the library is loaded. No exception ever leaves an entry
// point: a failure inside answers the neutral result (0 or null).
#pragma once

#include <cstdint>

#include "frame/mq_types.h"

#if defined(_WIN32)
#define MQ_EXPORT  // exported by name through the module definition file
#else
#define MQ_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// No host call. 0x410 when the host's version is at least 0x4100, else 0.
MQ_EXPORT uint32_t MQCheckVersion(uint32_t host_version);
// Binds the 175 host functions exported by the module at `host_module_path`.
// Must finish before any entry point that calls the host. 1 when all were bound.
MQ_EXPORT BOOL MQInit(const char* host_module_path);
// No host call. Writes the product and plug-in identifiers.
MQ_EXPORT void MQGetPlugInID(uint32_t* product, uint32_t* id);
// No host call. The name shown to the user.
MQ_EXPORT const char* MQGetPlugInName(void);
// No host call. The plug-in kind (6: station).
MQ_EXPORT int32_t MQGetPlugInType(void);
// No host call. Menu string `index`, or null past the last one.
MQ_EXPORT const char* MQEnumString(int32_t index);
// File kinds only (types 1, 2); null for every other kind.
MQ_EXPORT const char* MQEnumFileType(int32_t index);
MQ_EXPORT const char* MQEnumFileExt(int32_t index);
// File kinds only; 0 for every other kind.
MQ_EXPORT BOOL MQImportFile(int32_t a, int32_t b, int32_t c);
MQ_EXPORT BOOL MQExportFile(int32_t a, int32_t b, int32_t c);
// Menu-command kinds only (types 3, 4, 5); 0 for every other kind.
MQ_EXPORT BOOL MQCreate(int32_t a, int32_t b);
MQ_EXPORT BOOL MQModifyObject(int32_t a, int32_t b);
MQ_EXPORT BOOL MQModifySelect(int32_t a, int32_t b);
// Host event `event` on `document`. `option` is a flag address (100, 102), a
// named-argument list, or unused, as the event decides; all of it stays the host's.
MQ_EXPORT BOOL MQOnEvent(MQDocument document, int32_t event, void* option);
}
