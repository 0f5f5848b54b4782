// What veltrane-host reports about each model: the counts the plug-in's window
// shows, as JSON, and against polygon budgets.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/driver/host_session.h"

// The six numbers of one group of the window, in the order V, F, 2, 3, 4, 5;
// empty where the window shows none.
using CountRow = std::array<std::optional<int64_t>, 6>;

struct ModelReport {
  std::string path;
  std::string error;  // empty when the model loaded
  int32_t objects = 0;
  // The options in force, as the window's check boxes show them.
  std::array<bool, 6> options{};
  // Null when the plug-in counted nothing for this document: "Update" off, or
  // for `all`, "All" off (the group then still shows an older document's sums).
  std::optional<CountRow> current;
  std::optional<CountRow> all;

  // Reads the window after the document was opened and the user's actions done.
  void Read(const vhost::HostSession& session);
};

struct Budgets {
  std::optional<int64_t> faces;
  std::optional<int64_t> triangles;
  std::optional<int64_t> vertices;
};

// Checks every loaded model's all-objects counts against the budgets, writing a
// line per model over budget. Returns 0 when all are within, 1 when any is over,
// 2 when a budget cannot be checked (the window does not show what it needs).
int CheckBudgets(const std::vector<ModelReport>& reports, const Budgets& budgets, std::FILE* out);

// All reports as one JSON document.
std::string ToJson(const vhost::HostSession& session, const std::vector<ModelReport>& reports);

// Version, identity and menu strings of the loaded plug-in.
void PrintIdentity(vhost::PluginLibrary& plugin, std::FILE* out);
