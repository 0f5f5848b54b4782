// MQCheckVersion, MQInit and the host function table, against the stand-in
// host's real module and its variant that lacks MQ_RefreshView.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frame/host_functions.h"
#include "host/api/host_state.h"
#include "host/loader/paths.h"
#include "platform/module.h"
#include "protocol/entry_points.h"
#include "test_plugins.h"

namespace {

// Wraps the system loader, counting what binding opens and closes; can refuse loads.
class CountingLoader final : public platform::ModuleLoader {
 public:
  int opens = 0;
  int closes = 0;
  int lookups = 0;
  bool refuse = false;

  platform::ModuleHandle Open(const char* path) noexcept override {
    ++opens;
    return refuse ? nullptr : platform::SystemModuleLoader().Open(path);
  }
  void* Symbol(platform::ModuleHandle module, const char* name) noexcept override {
    ++lookups;
    return platform::SystemModuleLoader().Symbol(module, name);
  }
  void Close(platform::ModuleHandle module) noexcept override {
    ++closes;
    platform::SystemModuleLoader().Close(module);
  }
};

std::string IncompleteModule() { return vhost::BesideExecutable(VHOST_NOREFRESH_MODULE_FILE); }

class HostBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each case starts from a freshly mapped library: every entry null.
    std::fill(std::begin(mq::detail::g_hostFunctions), std::end(mq::detail::g_hostFunctions),
              nullptr);
    previous_ = platform::SetActiveModuleLoader(&loader);
    vhost::State().Reset();
  }
  void TearDown() override {
    platform::SetActiveModuleLoader(previous_);
    std::fill(std::begin(mq::detail::g_hostFunctions), std::end(mq::detail::g_hostFunctions),
              nullptr);
  }

  static int NonNullEntries() {
    return static_cast<int>(std::count_if(std::begin(mq::detail::g_hostFunctions),
                                          std::end(mq::detail::g_hostFunctions),
                                          [](void* p) { return p != nullptr; }));
  }

  CountingLoader loader;
  platform::ModuleLoader* previous_ = nullptr;
};

TEST(CheckVersion, AcceptsHostsFromTheMinimumVersionUp) {
  EXPECT_EQ(MQCheckVersion(mq::kMinimumHostVersion), mq::kInterfaceVersion);
  EXPECT_EQ(MQCheckVersion(mq::kMinimumHostVersion - 1), 0u);
  EXPECT_EQ(MQCheckVersion(0xFFFFFFFFu), mq::kInterfaceVersion);  // unsigned comparison
  EXPECT_EQ(MQCheckVersion(0x80000000u), mq::kInterfaceVersion);
  EXPECT_EQ(MQCheckVersion(0), 0u);
  EXPECT_EQ(MQCheckVersion(vhost::kHostVersion), mq::kInterfaceVersion);
}

TEST(HostFunctionNames, FollowTheBindingOrderFamilyByFamily) {
  // The families in binding order with their sizes; every name of a family
  // starts with its prefix, and the list ends after the last one.
  const std::vector<std::pair<std::string, int>> families = {
      {"MQ_", 11},      {"MQDoc_", 43},    {"MQScene_", 6},  {"MQObj_", 79},   {"MQMat_", 31},
      {"MQMatrix_", 1}, {"MQXmlElem_", 1}, {"MQXmlDoc_", 1}, {"MQWidget_", 1}, {"MQCanvas_", 1}};
  int index = 0;
  for (const auto& [prefix, size] : families) {
    for (int i = 0; i < size; ++i, ++index) {
      const char* name = mq::HostFunctionName(index);
      ASSERT_NE(name, nullptr) << index;
      EXPECT_EQ(std::string(name).rfind(prefix, 0), 0u) << index << ": " << name;
    }
  }
  EXPECT_EQ(index, mq::kHostFunctionCount);
  EXPECT_EQ(mq::HostFunctionName(175), nullptr);
  EXPECT_EQ(mq::HostFunctionName(-1), nullptr);

  std::set<std::string> unique;
  for (int i = 0; i < mq::kHostFunctionCount; ++i) unique.insert(mq::HostFunctionName(i));
  EXPECT_EQ(unique.size(), 175u);
}

TEST_F(HostBinding, CompleteModuleBindsEveryNameAndReleasesTheHandleOnce) {
  const std::string path = vhost::ModulePath();
  EXPECT_EQ(MQInit(path.c_str()), 1);
  EXPECT_EQ(loader.opens, 1);
  EXPECT_EQ(loader.closes, 1);
  EXPECT_EQ(loader.lookups, 175);
  EXPECT_EQ(NonNullEntries(), 175);

  // Each entry is the module's own export of that name.
  platform::ModuleHandle module = platform::SystemModuleLoader().Open(path.c_str());
  for (int i = 0; i < mq::kHostFunctionCount; ++i) {
    EXPECT_EQ(mq::detail::g_hostFunctions[i],
              platform::SystemModuleLoader().Symbol(module, mq::HostFunctionName(i)))
        << mq::HostFunctionName(i);
  }
  platform::SystemModuleLoader().Close(module);
}

TEST_F(HostBinding, MissingNameFailsAndKeepsWhatWasBoundBeforeIt) {
  EXPECT_EQ(MQInit(IncompleteModule().c_str()), 0);
  EXPECT_EQ(loader.opens, 1);
  EXPECT_EQ(loader.closes, 1);
  EXPECT_EQ(loader.lookups, 9);  // stops at the missing name
  for (int i = 0; i < 8; ++i) EXPECT_NE(mq::detail::g_hostFunctions[i], nullptr) << i;
  EXPECT_EQ(mq::HostFunctionAddress(mq::HostFn::MQ_RefreshView), nullptr);
  EXPECT_EQ(NonNullEntries(), 8);
}

TEST_F(HostBinding, LaterEntriesKeepTheirAddressesAfterAFailedRebind) {
  ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
  void* sendMessage = mq::HostFunctionAddress(mq::HostFn::MQ_SendMessage);
  EXPECT_EQ(MQInit(IncompleteModule().c_str()), 0);
  EXPECT_EQ(mq::HostFunctionAddress(mq::HostFn::MQ_RefreshView), nullptr);
  EXPECT_EQ(mq::HostFunctionAddress(mq::HostFn::MQ_SendMessage), sendMessage);
  EXPECT_EQ(NonNullEntries(), 174);
  // A second complete binding starts again from the first name.
  EXPECT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
  EXPECT_EQ(NonNullEntries(), 175);
}

TEST_F(HostBinding, UnloadablePathFailsWithoutTouchingTheTable) {
  EXPECT_EQ(MQInit(vhost::BesideExecutable("no-such-host-module").c_str()), 0);
  EXPECT_EQ(MQInit(""), 0);
  EXPECT_EQ(MQInit(nullptr), 0);
  EXPECT_EQ(loader.closes, 0);
  EXPECT_EQ(loader.lookups, 0);
  EXPECT_EQ(NonNullEntries(), 0);

  loader.refuse = true;  // a module that exists but will not load
  EXPECT_EQ(MQInit(vhost::ModulePath().c_str()), 0);
  EXPECT_EQ(loader.closes, 0);
  EXPECT_EQ(NonNullEntries(), 0);
}

TEST_F(HostBinding, UnboundCallsAnswerNeutrallyInsteadOfCrashing) {
  int object = 0;
  EXPECT_EQ(mq::CallHost<mq::HostFn::MQ_SendMessage>(100, nullptr), 0);
  EXPECT_EQ(mq::CallHost<mq::HostFn::MQDoc_GetObject>(&object, 0), nullptr);
  EXPECT_EQ(mq::CallHost<mq::HostFn::MQObj_GetFaceCount>(&object), 0);
  EXPECT_EQ(mq::CallHost<mq::HostFn::MQObj_Clone>(&object), nullptr);
  mq::CallHost<mq::HostFn::MQObj_Delete>(&object);

  testing_support::RecordingStation station;
  station.NotifyWindowClosed();  // nothing to send it through
  EXPECT_TRUE(vhost::State().messages.empty());
}

TEST_F(HostBinding, WindowClosedNoticeIsMessage100WithAnEmptyList) {
  ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
  testing_support::RecordingStation station;
  station.NotifyWindowClosed();
  ASSERT_EQ(vhost::State().messages.size(), 1u);
  const vhost::SentMessage& sent = vhost::State().messages[0];
  EXPECT_EQ(sent.code, 100);
  EXPECT_EQ(sent.product, 0x11111111u);
  EXPECT_EQ(sent.id, 0x22222222u);
  EXPECT_EQ(sent.reserved, 0);
  EXPECT_TRUE(sent.optionNames.empty());
}

}  // namespace
