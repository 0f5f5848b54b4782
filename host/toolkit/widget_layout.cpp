// The stand-in toolkit's layout: what a widget starts as, and the natural size
// "justsize" answers, worked out from the visible children.
#include "host/toolkit/widget_layout.h"

#include <algorithm>
#include <vector>

#include "host/toolkit/widget_values.h"

namespace vhost {

namespace detail {

std::map<std::string, WidgetValue> Defaults(const std::string& kind) {
  std::map<std::string, WidgetValue> p;
  p["visible"] = true;
  if (kind == "mainwindow") {
    p["title"] = std::u16string(u"Stand-in host");
    p["pos_x"] = int32_t{0};
    p["pos_y"] = int32_t{0};
  } else if (kind == "window") {
    // New windows start hidden at the host's default place, as toolkits do.
    p["visible"] = false;
    p["title"] = std::u16string();
    p["pos_x"] = int32_t{120};
    p["pos_y"] = int32_t{80};
  } else if (kind == "frame" || kind == "groupbox") {
    p["alignment"] = std::string("vert");
    p["multicolumn"] = false;
    p["matrixcolumn"] = int32_t{0};
    if (kind == "groupbox") {
      p["text"] = std::u16string();
      p["canminimize"] = false;
      p["minimized"] = false;
    }
  } else if (kind == "checkbox") {
    p["text"] = std::u16string();
    p["checked"] = false;
  } else if (kind == "label") {
    p["text"] = std::u16string();
  } else if (kind == "edit") {
    p["text"] = std::u16string();
    p["readonly"] = false;
    p["alignment"] = std::string("left");
  }
  return p;
}

}  // namespace detail

namespace {

using detail::IsWindowKind;

// Layout metrics of the stand-in toolkit. Not pixel-true, only consistent.
constexpr int32_t kCharWidth = 7;
constexpr int32_t kRowHeight = 20;
constexpr int32_t kGap = 4;
constexpr int32_t kTitleBar = 24;
constexpr int32_t kGroupHeader = 18;
constexpr int32_t kBorder = 8;

// Places `parts` in rows of `columns` (0: one row when horizontal, one column
// otherwise) and answers the bounding size.
SizeRecord Arrange(const std::vector<SizeRecord>& parts, bool horizontal, int32_t columns) {
  SizeRecord size{0, 0, -1, -1};
  if (parts.empty()) return size;
  const std::size_t n = parts.size();
  std::size_t cols = columns > 0 ? static_cast<std::size_t>(columns) : (horizontal ? n : 1);
  cols = std::min(cols, n);
  const std::size_t rows = (n + cols - 1) / cols;
  std::vector<int32_t> widths(cols, 0);
  std::vector<int32_t> heights(rows, 0);
  for (std::size_t i = 0; i < n; ++i) {
    widths[i % cols] = std::max(widths[i % cols], parts[i].width);
    heights[i / cols] = std::max(heights[i / cols], parts[i].height);
  }
  for (int32_t w : widths) size.width += w;
  for (int32_t h : heights) size.height += h;
  size.width += kGap * static_cast<int32_t>(cols - 1);
  size.height += kGap * static_cast<int32_t>(rows - 1);
  return size;
}

}  // namespace

SizeRecord WidgetTree::JustSize(int32_t id) const {
  const Widget* widget = Find(id);
  return widget != nullptr ? NaturalSize(*widget) : SizeRecord{0, 0, -1, -1};
}

SizeRecord WidgetTree::NaturalSize(const Widget& widget) const {
  const auto textWidth = [&](int32_t extra) {
    return static_cast<int32_t>(WideText(widget.id, "text").size()) * kCharWidth + extra;
  };
  if (widget.kind == "checkbox") return {textWidth(16), kRowHeight, -1, -1};
  if (widget.kind == "label") return {textWidth(0), kRowHeight, -1, -1};
  if (widget.kind == "edit") return {std::max<int32_t>(48, textWidth(8)), kRowHeight + 2, -1, -1};

  std::vector<SizeRecord> parts;  // only what is shown takes room
  for (int32_t child : widget.children) {
    const Widget* c = Find(child);
    if (c != nullptr && Bool(child, "visible")) parts.push_back(NaturalSize(*c));
  }
  const bool horizontal = Text(widget.id, "alignment") == "horz";
  const int32_t columns = Bool(widget.id, "multicolumn") ? Int(widget.id, "matrixcolumn") : 0;
  SizeRecord size = Arrange(parts, horizontal, columns);

  if (widget.kind == "groupbox") {
    const int32_t header = textWidth(2 * kBorder + 16);
    if (Bool(widget.id, "minimized")) return {header, kGroupHeader, -1, -1};
    size.width = std::max(header, size.width + 2 * kBorder);
    size.height += kGroupHeader + kBorder;
  } else if (IsWindowKind(widget.kind)) {
    size.width += 2 * kBorder;
    size.height += kTitleBar + 2 * kBorder;
  }
  return size;
}

}  // namespace vhost
