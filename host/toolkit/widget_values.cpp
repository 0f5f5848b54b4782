// Reading and writing the plug-in's argument values, and the table of the properties
// the stand-in toolkit knows.
#include "host/toolkit/widget_values.h"

#include <cstdio>
#include <cstring>

#include "protocol/utf.h"

namespace vhost {

std::string Utf8(const std::u16string& text) { return mq::Utf16ToUtf8(text); }

namespace detail {

namespace {

constexpr PropertyInfo kProperties[] = {
    {"title", ValueType::WideText, true, "mainwindow window"},
    {"horzlayout", ValueType::Text, true, "mainwindow window"},
    {"vertlayout", ValueType::Text, true, "mainwindow window"},
    {"pos_x", ValueType::Int, true, "mainwindow window"},
    {"pos_y", ValueType::Int, true, "mainwindow window"},
    {"justsize", ValueType::Size, false, "*"},
    {"height", ValueType::Int, true, "*"},
    {"visible", ValueType::Bool, true, "*"},
    {"alignment", ValueType::Text, true, "frame groupbox edit"},
    {"multicolumn", ValueType::Bool, true, "frame groupbox"},
    {"matrixcolumn", ValueType::Int, true, "frame groupbox"},
    {"text", ValueType::WideText, true, "groupbox checkbox label edit"},
    {"canminimize", ValueType::Bool, true, "groupbox"},
    {"minimized", ValueType::Bool, true, "groupbox"},
    {"checked", ValueType::Bool, true, "checkbox"},
    {"readonly", ValueType::Bool, true, "edit"},
};

}  // namespace

const PropertyInfo* FindProperty(const std::string& key) {
  for (const PropertyInfo& info : kProperties) {
    if (key == info.key) return &info;
  }
  return nullptr;
}

bool Applies(const PropertyInfo& info, const std::string& kind) {
  const std::string kinds = std::string(" ") + info.kinds + " ";
  return kinds == " * " || kinds.find(" " + kind + " ") != std::string::npos;
}

bool IsWindowKind(const std::string& kind) { return kind == "window" || kind == "mainwindow"; }
bool IsContainerKind(const std::string& kind) {
  return IsWindowKind(kind) || kind == "frame" || kind == "groupbox";
}
bool IsCreatableKind(const std::string& kind) {
  return kind == "window" || kind == "frame" || kind == "groupbox" || kind == "checkbox" ||
         kind == "label" || kind == "edit";
}

ValueType ArgType(const std::string& name) {
  if (name == "system" || name == "type") return ValueType::Text;
  if (name == "id" || name == "result" || name == "child") return ValueType::Int;
  if (name == "prior") return ValueType::Bool;
  if (const PropertyInfo* info = FindProperty(name)) return info->type;
  return ValueType::Pointer;
}

int32_t ReadInt(const void* value) {
  int32_t result = 0;
  std::memcpy(&result, value, sizeof result);
  return result;
}
void WriteInt(void* slot, int32_t value) { std::memcpy(slot, &value, sizeof value); }
bool ReadBool(const void* value) {
  unsigned char byte = 0;
  std::memcpy(&byte, value, 1);
  return byte != 0;
}
void WriteBool(void* slot, bool value) {
  const unsigned char byte = value ? 1 : 0;
  std::memcpy(slot, &byte, 1);
}
std::u16string ReadWide(const void* value) { return static_cast<const char16_t*>(value); }

std::string SizeText(const SizeRecord& size) {
  return "{" + std::to_string(size.width) + ", " + std::to_string(size.height) + ", " +
         std::to_string(size.reserved1) + ", " + std::to_string(size.reserved2) + "}";
}

std::string PointerText(const void* value) {
  char buffer[32] = {};
  std::snprintf(buffer, sizeof buffer, "%p", value);
  return buffer;
}

std::string Decode(ValueType type, const void* value) {
  if (value == nullptr) return "null";
  switch (type) {
    case ValueType::Text:
      return static_cast<const char*>(value);
    case ValueType::WideText:
      return Utf8(ReadWide(value));
    case ValueType::Bool:
      return ReadBool(value) ? "true" : "false";
    case ValueType::Int:
      return std::to_string(ReadInt(value));
    case ValueType::Size: {
      SizeRecord size{};
      std::memcpy(&size, value, sizeof size);
      return SizeText(size);
    }
    case ValueType::Pointer:
      break;
  }
  return PointerText(value);
}

std::string ValueText(const WidgetValue& value) {
  if (const bool* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (const int32_t* i = std::get_if<int32_t>(&value)) return std::to_string(*i);
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  return Utf8(std::get<std::u16string>(value));
}

}  // namespace detail
}  // namespace vhost
