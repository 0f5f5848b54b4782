// Cases that each leave the host unclean in one way, and one that does not: the
// suite's main must fail the first four (CTest expects them to fail) and pass
// the last, so a listener that stopped checking shows up here.
#include <gtest/gtest.h>

#include <new>

#include "host/api/host_state.h"
#include "host/core/named_args.h"
#include "protocol/mq_types.h"

extern "C" int32_t MQWidget_Value(int32_t widget_id, int32_t operation, void** args);
extern "C" MQObject MQObj_Clone(MQObject obj);

// What the leaking case leaks: reachable from outside, so the compiler cannot
// drop the allocation and no leak checker of the toolchain frets.
extern void* volatile g_cleanHostKept;
void* volatile g_cleanHostKept = nullptr;

namespace {

TEST(CleanHost, LeavesAWidgetAlive) {
  vhost::NamedArgs args;
  args.Text("type", "window").Slot("id", 0);
  ASSERT_EQ(MQWidget_Value(0, static_cast<int32_t>(WidgetOp::Create), args.data()), 1);
  ASSERT_NE(args.IntAt("id"), 0);
}

TEST(CleanHost, LeavesACloneLive) {
  vhost::Object& original = vhost::State().documents.Open().AddObject("kept");
  ASSERT_NE(MQObj_Clone(&original), nullptr);
}

TEST(CleanHost, LeavesMisbehaviourOnRecord) {
  void* args[] = {nullptr};
  EXPECT_EQ(MQWidget_Value(4711, static_cast<int32_t>(WidgetOp::Delete), args), 0);
}

TEST(CleanHost, LeaksAnAllocation) { g_cleanHostKept = ::operator new(16); }

TEST(CleanHost, CleansUpAfterItself) {
  vhost::Object& original = vhost::State().documents.Open().AddObject("copied");
  MQObject copy = MQObj_Clone(&original);
  ASSERT_NE(copy, nullptr);
  vhost::State().documents.Delete(static_cast<vhost::Object*>(copy));
  void* memory = ::operator new(16);
  ::operator delete(memory);
}

}  // namespace
