// veltrane-host: runs the Veltrane plug-in inside the stand-in host.
//
// For now it performs the host's start-up handshake with the plug-in and shows
// what the plug-in reported: version, binding, identity, menu strings, and the
// answers to the start, activation and exit events.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "host/driver/paths.h"
#include "host/driver/plugin_library.h"
#include "host/module/host_module.h"

namespace {

void Usage(std::FILE* out) {
  std::fprintf(out,
               "usage: veltrane-host [--plugin PATH] [--settings FILE]\n"
               "Loads the Veltrane plug-in into the stand-in host, runs the start-up\n"
               "handshake and prints what the plug-in reported. With --settings the host\n"
               "reads its settings tree from FILE at start and writes it back at exit.\n");
}

// Prints what went wrong with the settings file; false when the host cannot go on.
bool Report(const vhost::SettingsFileReport& report) {
  if (!report.ok()) std::fprintf(stderr, "veltrane-host: %s\n", report.message.c_str());
  return report.ok() || report.outcome == vhost::SettingsFileReport::Outcome::kRecovered;
}

int Run(const std::string& plugin_path, const std::string& settings_path) {
  if (!settings_path.empty() && !Report(vhost::State().settings.LoadFile(settings_path))) {
    return 1;
  }
  auto plugin = vhost::PluginLibrary::Load(plugin_path);
  std::printf("plug-in       %s\n", plugin->path().c_str());

  const uint32_t version = plugin->CheckVersion(vhost::kHostVersion);
  std::printf("version       host 0x%X -> plug-in interface 0x%X\n", vhost::kHostVersion, version);
  if (version == 0) {
    std::fprintf(stderr, "veltrane-host: the plug-in does not support this host version\n");
    return 1;
  }

  const std::string module = vhost::ModulePath();
  if (!plugin->Init(module)) {
    std::fprintf(stderr, "veltrane-host: the plug-in could not bind the host functions of %s\n",
                 module.c_str());
    return 1;
  }
  std::printf("binding       175 host functions from %s\n", module.c_str());

  const vhost::PluginIdentity identity = plugin->Identity();
  std::printf("identity      product %08X, plug-in %08X, type %d%s\n", identity.product,
              identity.id, identity.type, identity.type == 6 ? " (station)" : "");
  std::printf("name          \"%s\"\n", identity.name.c_str());
  for (const std::string& text : identity.menuStrings) {
    std::printf("menu          \"%s\"\n", text.c_str());
  }

  int document = 0;  // the stand-in host has no documents yet: any handle will do
  std::printf("event 1       initialize -> %d\n", plugin->Event(nullptr, 1, nullptr));
  std::printf("event 100     activate -> %d\n", plugin->FlagEvent(&document, 100, 1));
  std::printf("event 101     is activated -> %d\n", plugin->Event(&document, 101, nullptr));
  std::printf("event 2       exit -> %d\n", plugin->Event(nullptr, 2, nullptr));
  std::printf("messages      %zu sent to the host\n", vhost::State().messages.size());
  if (!settings_path.empty() && !Report(vhost::State().settings.SaveFile())) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string plugin_path;
  std::string settings_path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
      plugin_path = argv[++i];
    } else if (std::strcmp(argv[i], "--settings") == 0 && i + 1 < argc) {
      settings_path = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "veltrane-host: unknown argument '%s'\n", argv[i]);
      Usage(stderr);
      return 2;
    }
  }
  try {
    if (plugin_path.empty()) plugin_path = vhost::BesideExecutable(vhost::kPluginFileName);
    return Run(plugin_path, settings_path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "veltrane-host: %s\n", error.what());
    return 2;
  }
}
