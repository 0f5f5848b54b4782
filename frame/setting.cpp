#include "frame/setting.h"

#include <cstdio>
#include <new>

#include "frame/host_functions.h"
#include "frame/plugin_entry.h"
#include "platform/text.h"

namespace {

constexpr int32_t kMessageSettingsElement = 505;

// Every element operation goes through here; callers never pass a null element.
void ElementValue(MQXmlElement element, int32_t operation, void* record) {
  mq::CallHost<mq::HostFn::MQXmlElem_Value>(element, operation, record);
}

MQXmlElement FindChild(MQXmlElement element, const std::string& name) {
  XmlFindChildRecord find{name.c_str(), nullptr};
  ElementValue(element, kXmlFindChild, &find);
  return find.result;
}

MQXmlElement AddChild(MQXmlElement element, const std::string& name) {
  XmlAddChildRecord add{name.c_str(), nullptr};
  ElementValue(element, kXmlAddChild, &add);
  return add.result;
}

// The key's element name in UTF-8, or empty when there is no usable key.
std::string KeyName(const char* name) { return name != nullptr ? AnsiToUtf8(name) : std::string(); }

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// _wtoi's reading of a decimal number, except that a number beyond the 32-bit
// range gives the nearest 32-bit value rather than overflowing.
int32_t ParseDecimal(const std::u16string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - u'0');
    if (magnitude > limit) magnitude = limit;  // the rest of the digits cannot lower it
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

std::u16string DecimalText(int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

// ---------------------------------------------------------------------------
// Opening the section

MQSetting* MQBasePlugin::OpenSetting() {
  uint32_t product = 0;
  uint32_t id = 0;
  GetPlugInID(&product, &id);
  char root_name[] = "root";
  char settings_name[] = "pluginsettings";
  // The host writes the elements into the value slots, in place of the nulls.
  void* options[] = {root_name, nullptr, settings_name, nullptr, nullptr};
  PluginMessage message{product, id, 0, options};
  mq::CallHost<mq::HostFn::MQ_SendMessage>(kMessageSettingsElement, &message);
  MQXmlElement settings = options[3];
  if (settings == nullptr) return nullptr;

  GetPlugInID(&product, &id);
  char section_name[64] = {};
  std::snprintf(section_name, sizeof section_name, "Plugin-%08X-%08X",
                static_cast<unsigned>(product), static_cast<unsigned>(id));
  try {
    return new MQSetting(settings, section_name);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// ---------------------------------------------------------------------------
// MQSetting

MQSetting::MQSetting(MQXmlElement parent_element, const char* section_name)
    : parent(parent_element), sectionName(section_name != nullptr ? section_name : "") {
  const std::string name = KeyName(sectionName.c_str());
  if (parent == nullptr || name.empty()) return;
  section = FindChild(parent, name);
  if (section == nullptr) section = AddChild(parent, name);
}

MQSetting::~MQSetting() = default;

bool MQSetting::LoadText(const char* name, std::u16string& text) const {
  text.clear();
  const std::string key = KeyName(name);
  if (section == nullptr || key.empty()) return false;
  MQXmlElement child = FindChild(section, key);
  if (child == nullptr) return false;
  return GetElementText(child, text) && !text.empty();
}

void MQSetting::SaveText(const char* name, const std::u16string& text) {
  const std::string key = KeyName(name);
  if (section == nullptr || key.empty()) return;
  if (MQXmlElement old = FindChild(section, key)) {
    int32_t removed = 0;  // the host may write here; nothing reads it
    XmlRemoveChildRecord remove{old, &removed};
    ElementValue(section, kXmlRemoveChild, &remove);
  }
  MQXmlElement child = AddChild(section, key);
  if (child == nullptr) return;
  const std::string utf8 = WideToUtf8(text.c_str());
  XmlSetTextRecord set{utf8.c_str()};
  ElementValue(child, kXmlSetText, &set);
}

void MQSetting::Load(const char* name, bool& value, bool default_value) {
  std::u16string text;
  value = LoadText(name, text) ? ParseDecimal(text) != 0 : default_value;
}

void MQSetting::Load(const char* name, int32_t& value, int32_t default_value) {
  std::u16string text;
  value = LoadText(name, text) ? ParseDecimal(text) : default_value;
}

void MQSetting::Save(const char* name, bool value) { SaveText(name, value ? u"1" : u"0"); }

void MQSetting::Save(const char* name, int32_t value) { SaveText(name, DecimalText(value)); }

// ---------------------------------------------------------------------------
// Element text and conversions

bool GetElementText(MQXmlElement element, std::u16string& text) {
  text.clear();
  if (element == nullptr) return false;
  XmlGetTextRecord get{nullptr};
  ElementValue(element, kXmlGetText, &get);
  if (get.result == nullptr) return false;
  text = Utf8ToWide(get.result);  // copied now: the host's buffer is only lent
  return true;
}

std::string AnsiToUtf8(const char* text) noexcept {
  try {
    const std::u16string wide = platform::MultiByteToWide(platform::kAnsiCodePage, text);
    return platform::WideToMultiByte(platform::kUtf8CodePage, wide.c_str());
  } catch (...) {
    return {};
  }
}

std::u16string Utf8ToWide(const char* text) noexcept {
  try {
    return platform::MultiByteToWide(platform::kUtf8CodePage, text);
  } catch (...) {
    return {};
  }
}

std::string WideToUtf8(const char16_t* text) noexcept {
  try {
    return platform::WideToMultiByte(platform::kUtf8CodePage, text);
  } catch (...) {
    return {};
  }
}
