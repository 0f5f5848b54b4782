// Loads a plug-in library the way a modelling host does and calls its entry points.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/core/named_args.h"
#include "protocol/entry_points.h"

namespace vhost {

// What a plug-in says about itself through its identity entry points.
struct PluginIdentity {
  uint32_t product = 0;
  uint32_t id = 0;
  std::string name;
  int32_t type = 0;
  std::vector<std::string> menuStrings;  // MQEnumString from 0 up to the first null
};

class PluginLibrary {
 public:
  // Loads the library at `path` (a file, relative to the working directory when
  // not absolute) and resolves its 14 entry points. Throws std::runtime_error
  // naming the file and, when it cannot be loaded, the loader's reason; or the
  // entry point it lacks.
  static std::unique_ptr<PluginLibrary> Load(const std::string& path);

  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  ~PluginLibrary();  // unloads the library

  const std::string& path() const { return path_; }

  uint32_t CheckVersion(uint32_t host_version) const {
    return entries_.MQCheckVersion(host_version);
  }
  // Hands the plug-in the module that exports the host functions.
  bool Init(const std::string& host_module_path) const {
    return entries_.MQInit(host_module_path.c_str()) != 0;
  }
  PluginIdentity Identity() const;

  // Sends event `code` with whatever option pointer the event takes.
  BOOL Event(MQDocument doc, int32_t code, void* option) const {
    return entries_.MQOnEvent(doc, code, option);
  }
  BOOL Event(MQDocument doc, int32_t code, NamedArgs& args) const {
    return entries_.MQOnEvent(doc, code, args.data());
  }
  // Events 100 and 102 pass the address of a flag.
  BOOL FlagEvent(MQDocument doc, int32_t code, BOOL flag) const {
    return entries_.MQOnEvent(doc, code, &flag);
  }

  // The raw entry points, for tests that probe the protocol directly.
  struct EntryPoints {
// NOLINTNEXTLINE(bugprone-macro-parentheses): name is a declarator, not an expression.
#define MQ_ENTRY_POINT(name, result, parameters) decltype(&::name) name = nullptr;
#include "protocol/entry_points.inc"
#undef MQ_ENTRY_POINT
  };
  const EntryPoints& entries() const { return entries_; }

 private:
  PluginLibrary(std::string path, void* module) : path_(std::move(path)), module_(module) {}

  std::string path_;
  void* module_;  // owned; released in the destructor
  EntryPoints entries_{};
};

}  // namespace vhost
