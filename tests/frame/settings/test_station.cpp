#include "test_station.h"

#include "host/api/host_state.h"
#include "protocol/entry_points.h"

namespace settings_testing {

TestStation& Station() {
  static TestStation station;
  return station;
}

void BoundHost::SetUp() {
  ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
  vhost::State().Reset();
}

void BoundHost::TearDown() { vhost::State().Reset(); }

}  // namespace settings_testing

MQBasePlugin* GetPluginClass() { return &settings_testing::Station(); }
