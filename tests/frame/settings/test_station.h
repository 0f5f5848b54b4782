// A station plug-in with Veltrane's identifiers, standing in for it in the settings
// tests, and the fixture that binds the stand-in host's functions for them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "frame/plugin_entry.h"
#include "host/probe/veltrane_facts.h"

namespace settings_testing {

// The test station borrows Veltrane's identity, so its section is Veltrane's.
inline constexpr uint32_t kProduct = vhost::veltrane::kProduct;
inline constexpr uint32_t kPluginId = vhost::veltrane::kPluginId;
inline constexpr const char* kSectionName = vhost::veltrane::kSectionName;

class TestStation final : public MQStationPlugin {
 public:
  void GetPlugInID(uint32_t* product, uint32_t* id) override {
    *product = kProduct;
    *id = kPluginId;
  }
  const char* GetPlugInName() override { return "Settings test station"; }
};

// The plug-in object GetPluginClass() hands the frame.
TestStation& Station();

// Every case starts with the host functions bound and a freshly started host.
class BoundHost : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace settings_testing
