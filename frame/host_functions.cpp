#include "frame/host_functions.h"

#include "platform/module.h"
#include "protocol/entry_points.h"

namespace mq {

namespace detail {
void* g_hostFunctions[kHostFunctionCount] = {};
}  // namespace detail

const char* HostFunctionName(int index) noexcept {
  if (index < 0 || index >= kHostFunctionCount) return nullptr;
  return kHostFunctionNames[index];
}

void* HostFunctionAddress(HostFn fn) noexcept {
  return detail::g_hostFunctions[static_cast<int>(fn)];
}

}  // namespace mq

extern "C" MQ_EXPORT uint32_t MQ_CALL MQCheckVersion(uint32_t host_version) noexcept {
  return host_version >= mq::kMinimumHostVersion ? mq::kInterfaceVersion : 0;
}

extern "C" MQ_EXPORT BOOL MQ_CALL MQInit(const char* host_module_path) noexcept {
  // Nothing here can throw; the loader's operations are noexcept.
  platform::ModuleLoader& loader = platform::ActiveModuleLoader();
  platform::ModuleHandle module = loader.Open(host_module_path);
  if (module == nullptr) return 0;

  // All or nothing in the result, not in the effect: entries bound before a
  // missing name keep their addresses, later entries keep what they held.
  bool complete = true;
  for (int i = 0; i < mq::kHostFunctionCount; ++i) {
    void* address = loader.Symbol(module, mq::kHostFunctionNames[i]);
    mq::detail::g_hostFunctions[i] = address;
    if (address == nullptr) {
      complete = false;
      break;
    }
  }
  // The module is the running host itself, which stays loaded, so the addresses
  // outlive this handle.
  loader.Close(module);
  return complete ? 1 : 0;
}
