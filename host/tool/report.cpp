#include "host/tool/report.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

namespace {

constexpr const char* kRows[] = {"V", "F", "2", "3", "4", "5"};
constexpr const char* kCheckBoxes[] = {"Update", "All", "Visible", "Freeze", "Triangle", "Polygon"};
constexpr const char* kOptionNames[] = {"update", "all",      "visible",
                                        "freeze", "triangle", "polygon"};
constexpr const char* kCountNames[] = {"vertices", "total", "lines", "triangles", "quads", "ngons"};

CountRow ReadRow(const vhost::HostSession& session, const char* group) {
  CountRow row;
  for (std::size_t i = 0; i < row.size(); ++i) {
    const std::string text = session.Field(group, kRows[i]);
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && end != nullptr && *end == '\0') row[i] = value;
  }
  return row;
}

nlohmann::json RowJson(const std::optional<CountRow>& row) {
  if (!row) return nullptr;
  nlohmann::json out = nlohmann::json::object();
  for (std::size_t i = 0; i < row->size(); ++i) {
    out[kCountNames[i]] = (*row)[i] ? nlohmann::json((*row)[i].value()) : nlohmann::json(nullptr);
  }
  return out;
}

}  // namespace

void ModelReport::Read(const vhost::HostSession& session) {
  const vhost::WidgetTree& tree = vhost::State().widgets;
  for (std::size_t i = 0; i < options.size(); ++i) {
    options[i] = tree.Bool(session.CheckBox(kCheckBoxes[i]), "checked");
  }
  const bool counting = options[0] && tree.Bool(session.Window(), "visible");
  if (counting) current = ReadRow(session, "current");
  if (counting && options[1]) all = ReadRow(session, "all");
}

int CheckBudgets(const std::vector<ModelReport>& reports, const Budgets& budgets, std::FILE* out) {
  if (!budgets.faces && !budgets.triangles && !budgets.vertices) return 0;
  int status = 0;
  const auto fail = [&](int code) { status = std::max(status, code); };
  for (const ModelReport& report : reports) {
    if (!report.error.empty()) continue;  // already reported
    if (!report.all) {
      std::fprintf(out,
                   "%s: no all-objects counts to check the budget against (tick Update and All)\n",
                   report.path.c_str());
      fail(2);
      continue;
    }
    const CountRow& row = *report.all;
    const auto check = [&](const std::optional<int64_t>& limit, std::optional<int64_t> value,
                           const char* what) {
      if (!limit) return;
      if (!value) {
        std::fprintf(out, "%s: the window shows no %s count to check\n", report.path.c_str(), what);
        fail(2);
      } else if (*value > *limit) {
        std::fprintf(out, "%s: %lld %s, over the budget of %lld\n", report.path.c_str(),
                     static_cast<long long>(*value), what, static_cast<long long>(*limit));
        fail(1);
      }
    };
    // Faces of 2 or more points are rows 2 to 5, whatever row F counts.
    std::optional<int64_t> faces;
    if (row[2] && row[3] && row[4] && row[5]) faces = *row[2] + *row[3] + *row[4] + *row[5];
    check(budgets.faces, faces, "faces");
    if (budgets.triangles && !report.options[4]) {
      std::fprintf(out, "%s: row F counts polygons; tick Triangle to check a triangle budget\n",
                   report.path.c_str());
      fail(2);
    } else {
      check(budgets.triangles, row[1], "triangles");
    }
    check(budgets.vertices, row[0], "vertices");
  }
  return status;
}

std::string ToJson(const vhost::HostSession& /*session*/, const std::vector<ModelReport>& reports) {
  nlohmann::json models = nlohmann::json::array();
  for (const ModelReport& report : reports) {
    nlohmann::json model = {{"file", report.path}};
    if (!report.error.empty()) {
      model["error"] = report.error;
    } else {
      model["objects"] = report.objects;
      nlohmann::json options = nlohmann::json::object();
      for (std::size_t i = 0; i < report.options.size(); ++i) {
        options[kOptionNames[i]] = report.options[i];
      }
      model["options"] = options;
      model["current"] = RowJson(report.current);
      model["all"] = RowJson(report.all);
    }
    models.push_back(std::move(model));
  }
  return nlohmann::json{{"models", models}}.dump(2);
}

void PrintIdentity(vhost::PluginLibrary& plugin, std::FILE* out) {
  const vhost::PluginIdentity identity = plugin.Identity();
  std::fprintf(out, "plug-in       %s\n", plugin.path().c_str());
  std::fprintf(out, "version       host 0x%X -> plug-in interface 0x%X\n", vhost::kHostVersion,
               plugin.CheckVersion(vhost::kHostVersion));
  std::fprintf(out, "identity      product %08X, plug-in %08X, type %d%s\n", identity.product,
               identity.id, identity.type, identity.type == 6 ? " (station)" : "");
  std::fprintf(out, "name          \"%s\"\n", identity.name.c_str());
  for (const std::string& text : identity.menuStrings) {
    std::fprintf(out, "menu          \"%s\"\n", text.c_str());
  }
}
