#include "test_station.h"

#include "host/api/host_state.h"
#include "protocol/entry_points.h"
#include "tests/support/stand_in_plugin.h"

namespace testing_support {

TestStation& Station() {
  static TestStation station;
  return station;
}

void BoundHost::SetUp() {
  UsePlugin(&Station());
  ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
  vhost::State().Reset();
}

void BoundHost::TearDown() {
  vhost::State().Reset();
  UsePlugin(nullptr);
}

}  // namespace testing_support
