#include "host/session/host_session.h"

#include <stdexcept>

namespace vhost {

HostSession::HostSession(const std::string& plugin_path)
    : plugin_(PluginLibrary::Load(plugin_path)) {
  if (plugin_->CheckVersion(kHostVersion) == 0) {
    throw std::runtime_error(plugin_path + ": the plug-in does not support this host's version");
  }
  const std::string module = ModulePath();
  if (!plugin_->Init(module)) {
    throw std::runtime_error(plugin_path + ": the plug-in could not bind the host functions of " +
                             module);
  }
}

BOOL HostSession::DocumentOpened(Document& doc, const std::string& filename) {
  NamedArgs args;
  args.Text("filename", filename.c_str()).Value("xml_elem", nullptr);
  return plugin_->Event(&doc, 200, args);
}

BOOL HostSession::DocumentEvent(Document& doc, int32_t code) {
  NamedArgs args;
  args.Int("state", 0);
  return plugin_->Event(&doc, code, args);
}

}  // namespace vhost
