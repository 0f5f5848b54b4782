// The walk's patterns on any bytes: the first line is a pattern, the rest a
// path. A pattern either compiles or is refused with std::invalid_argument;
// matching ends in time whatever the pattern's stars, and the rules built from
// a pattern agree with the pattern itself.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz/invariant.h"
#include "host/tool/globs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t end = bytes.find('\n');
  if (end == std::string_view::npos) return 0;
  const std::string_view pattern = bytes.substr(0, end);
  const std::string_view path = bytes.substr(end + 1);
  try {
    const vtool::Glob glob(pattern);
    const bool matches = glob.Matches(path);
    if (glob.MatchesItself(path, false) && !matches)
      fuzzing::Fail("a path matched itself but not in full");
    vtool::GlobRules only;
    only.Include(pattern);
    if (only.Takes(path) != (matches != glob.negated()))
      fuzzing::Fail("an include disagrees with its glob");
    only.Exclude(pattern);
    if (matches && only.Takes(path) != glob.negated()) {
      fuzzing::Fail("a later exclude of the same pattern did not decide");
    }
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
