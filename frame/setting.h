// The plug-in's settings store: its own section of the host's settings tree, and
// the text conversions between the plug-in's 8-bit strings, the host's UTF-8 and
// wide (UTF-16) text.
//
// Everything here runs on the host's thread, inside a host call (Initialize, Exit).
// The store keeps no cache: each Load and Save goes to the host at once, and the
// host decides when its tree reaches storage.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/mq_types.h"

// One plug-in's section "Plugin-<product>-<id>" under the host's "pluginsettings"
// element. Made by MQBasePlugin::OpenSetting and owned by its caller, which deletes
// it after one load or save sequence. Empty-safe: with no section (the host could
// neither find nor create it) every Load stores its default and every Save writes
// nothing, and no host call is made on a null element.
class MQSetting {
 public:
  // Finds the section named `section_name` (8-bit, system code page; copied) under
  // `parent`, or creates it. A null parent gives an empty-safe object without a section.
  MQSetting(MQXmlElement parent, const char* section_name);
  MQSetting(const MQSetting&) = delete;
  MQSetting& operator=(const MQSetting&) = delete;
  // Releases the name only; the section and what was saved stay in the host's tree.
  virtual ~MQSetting();

  // Reads key `name` into `value`, which always receives a value: the stored one,
  // or `default_value` when the key is missing, has no text or empty text. Text is
  // parsed like _wtoi (leading blanks, sign, digits up to the first other character;
  // 0 when no digit leads), saturating at the 32-bit range; bools are "non-zero".
  void Load(const char* name, bool& value, bool default_value = false);
  void Load(const char* name, int32_t& value, int32_t default_value = 0);

  // Writes key `name` as "1"/"0" or signed decimal, replacing the element of that
  // name if there is one, so the section holds one element per key.
  void Save(const char* name, bool value);
  void Save(const char* name, int32_t value);

  // Handles stay the host's; the section is null when the host gave none.
  MQXmlElement parent = nullptr;
  MQXmlElement section = nullptr;
  std::string sectionName;

 private:
  // The key's text: true and `text` filled when the key holds a non-empty text.
  bool LoadText(const char* name, std::u16string& text) const;
  void SaveText(const char* name, const std::u16string& text);
};

// Fills `text` with the element's text and answers true, or empties it and answers
// false when the host gives no text (or the element is null). The host's buffer is
// copied; nothing is kept.
bool GetElementText(MQXmlElement element, std::u16string& text);

// Conversions between the system's 8-bit code page, UTF-8 and UTF-16. Each returns
// a new string; null text, and any conversion that fails, give an empty string.
// Invalid input becomes U+FFFD rather than an error.
std::string AnsiToUtf8(const char* text) noexcept;
std::u16string Utf8ToWide(const char* text) noexcept;
std::string WideToUtf8(const char16_t* text) noexcept;
