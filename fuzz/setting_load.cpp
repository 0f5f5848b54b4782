// MQSetting::Load on any stored text: any bytes (up to the first NUL, as the
// host's text record carries it), any length, valid UTF-8 or not, under a known
// or a made-up key. The text goes into the host's settings tree the way the host
// keeps it, then the settings store reads it back. Besides surviving, every read
// must equal an independent reading of the bytes: leading blanks, a sign,
// decimal digits, saturating at the 32-bit range; no digit reads 0; no text or
// an empty one reads the default. A value saved and loaded again is the same.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "frame/plugin_entry.h"
#include "frame/setting.h"
#include "host/api/host_state.h"
#include "host/probe/veltrane_facts.h"
#include "protocol/entry_points.h"
#include "tests/support/stored_setting.h"

namespace {

// The frame needs a plug-in object; this one has Veltrane's identifiers, so
// its section is the one Veltrane reads.
class Station final : public MQStationPlugin {
 public:
  void GetPlugInID(uint32_t* product, uint32_t* id) override {
    *product = vhost::veltrane::kProduct;
    *id = vhost::veltrane::kPluginId;
  }
  const char* GetPlugInName() override { return "settings fuzzing station"; }
};

Station g_station;

constexpr const char* kKeys[] = {"Veltrane_activate", "update",  "all",  "visible", "freeze",
                                 "triangle",          "polygon", "PosX", "PosY"};

[[noreturn]] void Fail(const std::string& what, const std::string& text) {
  std::fprintf(stderr, "settings store: %s (text of %zu bytes)\n", what.c_str(), text.size());
  std::abort();
}

// Stores `text` under `key` in the plug-in's section, through the tree's own
// element operations.
void Store(const std::string& key, const std::string& text) {
  vhost::State().settings.StoreSetting(vhost::veltrane::kSectionName, key, text);
}

}  // namespace

MQBasePlugin* GetPluginClass() { return &g_station; }

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  if (MQInit(vhost::ModulePath().c_str()) != 1) {
    std::fprintf(stderr, "cannot bind the host functions\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  vhost::State().Reset();
  // A key the plug-in uses, or any element name the host accepts.
  // Made-up keys stay ASCII: the store converts key names from the system code
  // page, and the comparison below reads them as the host stores them.
  std::string key = in.ConsumeBool() ? kKeys[in.ConsumeIntegralInRange<int>(0, 8)]
                                     : in.ConsumeRandomLengthString(12);
  for (char& c : key)
    c = "abcdefghijklmnopqrstuvwxyz_-.0123456789:"[static_cast<unsigned char>(c) % 40];
  const int32_t fallback = in.ConsumeIntegral<int32_t>();
  std::string text = in.ConsumeRemainingBytesAsString();
  text = text.c_str();  // the host's text record ends at the first NUL
  Store(key, text);
  const bool stored =
      vhost::State().settings.FindChild(
          vhost::State().settings.FindSection(vhost::veltrane::kSectionName), key) != nullptr;

  std::unique_ptr<MQSetting> setting{g_station.OpenSetting()};
  if (!setting) Fail("no settings section", text);
  int32_t number = 0;
  setting->Load(key.c_str(), number, fallback);
  bool flag = false;
  setting->Load(key.c_str(), flag, fallback % 2 != 0);

  // Only a key the host took can be read back; a key with no usable name reads
  // the default like a missing one.
  if (stored && !key.empty()) {
    if (number != testing_support::ReadStoredSetting(text, fallback))
      Fail("integer read differs from the stored text", text);
    const bool expectedFlag =
        text.empty() ? fallback % 2 != 0 : testing_support::ReadStoredSetting(text, 0) != 0;
    if (flag != expectedFlag) Fail("bool read differs from the stored text", text);

    setting->Save(key.c_str(), number);
    int32_t again = ~number;
    setting->Load(key.c_str(), again, fallback);
    if (again != number) Fail("integer changed in a save and load", text);
    setting->Save(key.c_str(), flag);
    bool flagAgain = !flag;
    setting->Load(key.c_str(), flagAgain, !flag);
    if (flagAgain != flag) Fail("bool changed in a save and load", text);
  }
  setting.reset();
  vhost::State().Reset();
  return 0;
}
