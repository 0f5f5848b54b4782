// What a host-side program knows about the Veltrane plug-in from outside: the
// identity it reports, its window's title and widgets, and where its options are
// stored. The one place the stand-in host's tools and the tests take them from;
// the plug-in itself never includes this.
#pragma once

#include <cstdint>

namespace vhost::veltrane {

inline constexpr uint32_t kProduct = 0x5A3C9E41;
inline constexpr uint32_t kPluginId = 0x2D7B6F18;
inline constexpr int32_t kPluginType = 6;  // station

inline constexpr const char* kWindowTitle = "Veltrane";
// The option check boxes, in window order, and the settings key of each.
inline constexpr const char* kCheckBoxes[] = {"Update", "All",      "Visible",
                                              "Freeze", "Triangle", "Polygon"};
inline constexpr const char* kOptionKeys[] = {"update", "all",      "visible",
                                              "freeze", "triangle", "polygon"};
// The two groups of number fields, and the rows of each: vertices, faces (or
// triangles), faces of 2, 3, 4 and 5 or more points.
inline constexpr const char* kCurrentGroup = "current";
inline constexpr const char* kAllGroup = "all";
inline constexpr const char* kRows[] = {"V", "F", "2", "3", "4", "5"};

// The plug-in's section of the host's settings tree, and its other keys.
inline constexpr const char* kSectionName = "Plugin-5A3C9E41-2D7B6F18";
inline constexpr const char* kActivateKey = "Veltrane_activate";
inline constexpr const char* kPosXKey = "PosX";
inline constexpr const char* kPosYKey = "PosY";

}  // namespace vhost::veltrane
