// Internal to the widget tree: how the host reads and writes the values of the
// plug-in's named-argument lists, and which properties it knows on which kinds.
// Shared by the tree's own source files only; nothing here is exported.
//
// Every pointer passed in is the plug-in's, borrowed for the call: these read
// from it or write into it and keep nothing.
#pragma once

#include <cstdint>
#include <string>

#include "host/toolkit/widget_tree.h"

namespace vhost::detail {

// How the host reads the value pointer of a named argument.
enum class ValueType { Text, WideText, Bool, Int, Size, Pointer };

// The property keys the host knows: value type, whether the plug-in may write
// it, and the kinds it exists on ("*": every kind). A key on a kind that lacks
// it is ignored, as a toolkit ignores what a widget does not have.
struct PropertyInfo {
  const char* key;
  ValueType type;
  bool writable;
  const char* kinds;
};

// The known property `key`, or null. The entry is static.
const PropertyInfo* FindProperty(const std::string& key);
bool Applies(const PropertyInfo& info, const std::string& kind);

bool IsWindowKind(const std::string& kind);
bool IsContainerKind(const std::string& kind);
bool IsCreatableKind(const std::string& kind);

// How an argument of that name is read, for the trace.
ValueType ArgType(const std::string& name);

// Unaligned reads and writes of the plug-in's slots.
int32_t ReadInt(const void* value);
void WriteInt(void* slot, int32_t value);
bool ReadBool(const void* value);
void WriteBool(void* slot, bool value);
std::u16string ReadWide(const void* value);  // a copy

std::string SizeText(const SizeRecord& size);
std::string PointerText(const void* value);
// A value pointer as the trace shows it (see WidgetCallArg).
std::string Decode(ValueType type, const void* value);
// A stored property as the trace shows it.
std::string ValueText(const WidgetValue& value);

}  // namespace vhost::detail
