// The shipped plug-in library, loaded by the stand-in host the way a modelling
// host loads it, driven only through its exported entry points.
#include <gtest/gtest.h>

#include <string>

#include "host/api/host_state.h"
#include "host/loader/paths.h"
#include "host/loader/plugin_library.h"
#include "host/probe/veltrane_facts.h"
#include "protocol/entry_points.h"
#include "tests/support/plugin_under_test.h"

namespace {

class Handshake : public ::testing::Test {
 protected:
  void SetUp() override {
    vhost::State().Reset();
    plugin = vhost::PluginLibrary::Load(testing_support::PluginUnderTest());
  }
  std::unique_ptr<vhost::PluginLibrary> plugin;
};

TEST_F(Handshake, VersionBindingAndIdentity) {
  EXPECT_EQ(plugin->CheckVersion(vhost::kHostVersion), mq::kInterfaceVersion);
  EXPECT_EQ(plugin->CheckVersion(mq::kMinimumHostVersion - 1), 0u);
  EXPECT_TRUE(plugin->Init(vhost::ModulePath()));

  const vhost::PluginIdentity identity = plugin->Identity();
  EXPECT_EQ(identity.product, vhost::veltrane::kProduct);
  EXPECT_EQ(identity.id, vhost::veltrane::kPluginId);
  EXPECT_EQ(identity.type, 6);
  EXPECT_EQ(identity.menuStrings, (std::vector<std::string>{"Veltrane"}));

  // "Veltrane Ver.1.1", exactly three spaces, then the maker's notice.
  const std::string prefix = "Veltrane Ver.1.1   ";
  ASSERT_GT(identity.name.size(), prefix.size());
  EXPECT_EQ(identity.name.substr(0, prefix.size()), prefix);
  EXPECT_NE(identity.name[prefix.size()], ' ');
}

TEST_F(Handshake, IdentityNeedsNoBinding) {
  // Before MQInit, in a fresh load: the identity entries call nothing in the host.
  EXPECT_EQ(plugin->Identity().type, 6);
  EXPECT_EQ(plugin->entries().MQEnumFileType(0), nullptr);
  EXPECT_EQ(plugin->entries().MQEnumFileExt(0), nullptr);
}

TEST_F(Handshake, FileAndMenuEntriesAnswerZeroForAStation) {
  const auto& e = plugin->entries();
  EXPECT_EQ(e.MQImportFile(0, 0, 0), 0);
  EXPECT_EQ(e.MQExportFile(0, 0, 0), 0);
  EXPECT_EQ(e.MQCreate(0, 0), 0);
  EXPECT_EQ(e.MQModifyObject(0, 0), 0);
  EXPECT_EQ(e.MQModifySelect(0, 0), 0);
  EXPECT_TRUE(vhost::State().messages.empty());
}

TEST_F(Handshake, BindingFailsAgainstAnIncompleteOrMissingModule) {
  EXPECT_FALSE(plugin->Init(vhost::BesideExecutable(VHOST_NOREFRESH_MODULE_FILE)));
  EXPECT_FALSE(plugin->Init(vhost::BesideExecutable("no-such-module")));
  EXPECT_TRUE(plugin->Init(vhost::ModulePath()));
}

TEST_F(Handshake, StartAndExitEvents) {
  ASSERT_TRUE(plugin->Init(vhost::ModulePath()));
  int document = 0;
  EXPECT_EQ(plugin->Event(nullptr, 1, nullptr), 1);
  EXPECT_EQ(plugin->Event(&document, 999, nullptr), 0);
  EXPECT_EQ(plugin->Event(&document, 220, nullptr), 1);
  EXPECT_EQ(plugin->Event(&document, 210, nullptr), 0);  // recounts, answers false
  EXPECT_EQ(plugin->Event(&document, 100, nullptr), 0);  // null flag pointer
  EXPECT_EQ(plugin->Event(nullptr, 2, nullptr), 1);
}

TEST(PluginLibrary, LoadReportsWhatIsWrong) {
  try {
    vhost::PluginLibrary::Load(vhost::BesideExecutable("missing-plugin"));
    FAIL() << "loaded a missing file";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("missing-plugin"), std::string::npos);
  }
  // A library that is not a plug-in: the host's incomplete module.
  try {
    vhost::PluginLibrary::Load(vhost::BesideExecutable(VHOST_NOREFRESH_MODULE_FILE));
    FAIL() << "accepted a library without entry points";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("does not export"), std::string::npos);
  }
}

}  // namespace
