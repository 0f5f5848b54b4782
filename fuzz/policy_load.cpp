// Budget policies on any text: each is either read into tables and waivers or
// refused with a PolicyError naming its place; what a model gets from a read
// policy is always a limit per key at most, each with its rule.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/invariant.h"
#include "host/tool/policy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const vtool::Policy policy = vtool::Policy::Parse(text, "veltrane.toml", "/assets");
    for (const char* model :
         {"/assets/characters/hero.glb", "/assets/a/b/c.obj", "/elsewhere/x.ply"}) {
      const vtool::ModelPolicy got = policy.For(model);
      if (got.limits.size() > vtool::BudgetKeys().size()) fuzzing::Fail("more limits than keys");
      for (const vtool::PolicyLimit& limit : got.limits) {
        if (limit.limit < 0 || limit.rule.rfind("veltrane.toml:", 0) != 0)
          fuzzing::Fail("a bad limit");
      }
      for (const vtool::Waiver& waiver : got.waivers) {
        if (waiver.reason.empty() || waiver.budgets.empty())
          fuzzing::Fail("a waiver without its reason");
      }
    }
  } catch (const vtool::PolicyError& error) {
    if (std::string(error.what()).rfind("veltrane.toml", 0) != 0)
      fuzzing::Fail("an error without its file");
  }
  return 0;
}
