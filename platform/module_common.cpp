#include "platform/module.h"

namespace platform {
namespace {
ModuleLoader* g_active = nullptr;  // null: the system loader
}  // namespace

ModuleLoader& ActiveModuleLoader() noexcept {
  return g_active != nullptr ? *g_active : SystemModuleLoader();
}

ModuleLoader* SetActiveModuleLoader(ModuleLoader* loader) noexcept {
  ModuleLoader* previous = g_active != nullptr ? g_active : &SystemModuleLoader();
  g_active = loader;
  return previous;
}

}  // namespace platform
