#include "host/toolkit/window_picture.h"

#include <algorithm>
#include <vector>

namespace vhost {
namespace {

using Block = std::vector<std::string>;  // lines of one widget's picture

constexpr std::size_t kEditWidth = 10;
constexpr const char* kColumnGap = "  ";

std::size_t Width(const Block& block) {
  std::size_t width = 0;
  for (const std::string& line : block) width = std::max(width, line.size());
  return width;
}

bool Shown(const Widget& w) {
  const auto it = w.properties.find("visible");
  return it == w.properties.end() || !std::holds_alternative<bool>(it->second) ||
         std::get<bool>(it->second);
}

// Lays blocks out in rows of `columns`, each column as wide as its widest cell.
Block Grid(const std::vector<Block>& cells, std::size_t columns) {
  Block out;
  if (cells.empty()) return out;
  std::vector<std::size_t> widths(columns, 0);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    widths[i % columns] = std::max(widths[i % columns], Width(cells[i]));
  }
  for (std::size_t row = 0; row * columns < cells.size(); ++row) {
    const std::size_t first = row * columns;
    const std::size_t last = std::min(cells.size(), first + columns);
    std::size_t height = 0;
    for (std::size_t i = first; i < last; ++i) height = std::max(height, cells[i].size());
    for (std::size_t line = 0; line < height; ++line) {
      std::string text;
      for (std::size_t i = first; i < last; ++i) {
        std::string cell = line < cells[i].size() ? cells[i][line] : "";
        if (i + 1 < last) cell.resize(widths[i % columns], ' ');
        text += (i == first ? "" : kColumnGap) + cell;
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out.push_back(text);
    }
  }
  return out;
}

class Painter {
 public:
  explicit Painter(const WidgetTree& tree) : tree_(tree) {}

  Block Paint(int32_t id) const {
    const Widget* w = tree_.Find(id);
    if (w == nullptr || !Shown(*w)) return {};
    if (w->kind == "checkbox") {
      return {std::string(tree_.Bool(id, "checked") ? "[x] " : "[ ] ") + tree_.Text(id, "text")};
    }
    if (w->kind == "label") return {tree_.Text(id, "text")};
    if (w->kind == "edit") {
      std::string text = tree_.Text(id, "text");
      const std::size_t pad = text.size() < kEditWidth ? kEditWidth - text.size() : 0;
      const bool right = tree_.Text(id, "alignment") == "right";
      return {"[" + (right ? std::string(pad, ' ') + text : text + std::string(pad, ' ')) + "]"};
    }
    if (w->kind == "groupbox") {
      const bool minimized = tree_.Bool(id, "minimized");
      Block out{std::string(minimized ? "> " : "v ") + tree_.Text(id, "text")};
      if (!minimized) {
        for (const std::string& line : Children(*w, 1)) out.push_back("  " + line);
      }
      return out;
    }
    if (w->kind == "frame") {
      std::size_t columns = 1;
      if (tree_.Bool(id, "multicolumn") && tree_.Int(id, "matrixcolumn") > 0) {
        columns = static_cast<std::size_t>(tree_.Int(id, "matrixcolumn"));
      } else if (tree_.Text(id, "alignment") == "horz") {
        columns = std::max<std::size_t>(1, w->children.size());
      }
      return Children(*w, columns);
    }
    if (w->kind == "window") return Children(*w, 1);
    return {"<" + w->kind + ">"};
  }

  // A window's contents, whether the window is shown or not.
  Block PaintContents(const Widget& window) const { return Children(window, 1); }

 private:
  Block Children(const Widget& w, std::size_t columns) const {
    std::vector<Block> cells;
    for (int32_t child : w.children) {
      Block block = Paint(child);
      if (!block.empty()) cells.push_back(std::move(block));
    }
    return Grid(cells, columns);
  }

  const WidgetTree& tree_;
};

}  // namespace

std::string WindowPicture(const WidgetTree& tree, int32_t window) {
  const Widget* w = tree.Find(window);
  if (w == nullptr) return "(no window " + std::to_string(window) + ")\n";
  const Block body = Painter(tree).PaintContents(*w);
  std::string title = tree.Text(window, "title");
  if (!Shown(*w)) title += " (hidden)";
  const std::size_t inner = std::max(Width(body), title.size() + 3);

  std::string out = "+- " + title + " " + std::string(inner - title.size() - 1, '-') + "+\n";
  for (std::string line : body) {
    line.resize(inner, ' ');
    out += "| " + line + " |\n";
  }
  out += "+" + std::string(inner + 2, '-') + "+\n";
  return out;
}

int32_t FindByCaption(const WidgetTree& tree, int32_t root, const std::string& kind,
                      const std::string& caption) {
  const Widget* w = tree.Find(root);
  if (w == nullptr) return 0;
  const char* key = w->kind == "window" ? "title" : "text";
  if (w->kind == kind && tree.Text(root, key) == caption) return root;
  for (const auto* list : {&w->children, &w->childWindows}) {
    for (int32_t child : *list) {
      if (const int32_t found = FindByCaption(tree, child, kind, caption)) return found;
    }
  }
  return 0;
}

}  // namespace vhost
