// A station plug-in with Veltrane's identifiers, standing in for it in the settings
// tests, and the fixture that binds the stand-in host's functions for them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "frame/plugin_entry.h"
#include "host/probe/veltrane_facts.h"

namespace testing_support {

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

// The plug-in object GetPluginClass() hands the frame in every BoundHost case.
TestStation& Station();

// Every case starts with the host functions bound, a freshly started host and
// Station() installed as the plug-in object.
class BoundHost : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace testing_support
