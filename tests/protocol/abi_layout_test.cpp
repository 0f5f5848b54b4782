// The records' byte layout on this target: 32-bit integers everywhere, handle
// and pointer fields as wide as a pointer (4 bytes on win32, 8 on 64-bit). The
// record sizes asserted beside the records are not repeated here.
#include <gtest/gtest.h>

#include <cstddef>

#include "protocol/mq_types.h"

namespace {

constexpr std::size_t kPtr = sizeof(void*);

static_assert(offsetof(PluginMessage, product) == 0);
static_assert(offsetof(PluginMessage, id) == 4);
static_assert(offsetof(PluginMessage, reserved) == 8);
static_assert(offsetof(PluginMessage, options) == (kPtr == 4 ? 12 : 16));

static_assert(offsetof(XmlFindChildRecord, result) == kPtr);
static_assert(offsetof(XmlAddChildRecord, result) == kPtr);
static_assert(offsetof(XmlRemoveChildRecord, result) == kPtr);
static_assert(sizeof(XmlSetTextRecord) == kPtr);

static_assert(offsetof(SizeRecord, height) == 4);
static_assert(offsetof(MouseState, left_button) == 12 && offsetof(MouseState, bit5_flag) == 32);
static_assert(offsetof(DocumentSaveInfo, save_uid) == kPtr);
static_assert(sizeof(char16_t) == 2);
#if defined(_WIN32)
static_assert(sizeof(wchar_t) == 2, "wide text on the wire is 16-bit, as Windows' own");
#endif

TEST(AbiLayout, TargetIsWhatTheBuildSays) {
#if defined(_WIN32) && !defined(_WIN64)
  EXPECT_EQ(sizeof(void*), 4u) << "the shipping target is a 32-bit process";
#else
  EXPECT_EQ(sizeof(void*), 8u);
#endif
}

}  // namespace
