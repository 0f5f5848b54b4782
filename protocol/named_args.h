// Reading the named-argument lists that travel with events, widget calls and
// messages: name0, value0, name1, value1, …, null. Header-only, for both sides.
//
// The list, its names and its values stay their builder's: these functions only
// read them during the call, copy nothing and keep nothing. A value pointer may
// be null (a missing value); a null name ends the list.
#pragma once

#include <cstring>
#include <type_traits>

namespace mq {

// Calls `fn(const char* name, void*& value)` for each entry in order. `value`
// is the list's own slot, so a host that answers through the list (the
// settings element of message 505) writes there. When `fn` answers bool, false
// stops the walk. A null list has no entries.
template <typename Fn>
void ForEachNamedArg(void** list, Fn&& fn) noexcept(noexcept(fn(static_cast<const char*>(nullptr),
                                                                *static_cast<void**>(nullptr)))) {
  if (list == nullptr) return;
  for (void** entry = list; *entry != nullptr; entry += 2) {
    const char* name = static_cast<const char*>(entry[0]);
    if constexpr (std::is_same_v<decltype(fn(name, entry[1])), bool>) {
      if (!fn(name, entry[1])) return;
    } else {
      fn(name, entry[1]);
    }
  }
}

// The value paired with `name` (first match; exact, case-sensitive), or null
// when the list or the name is null or the name is absent.
inline void* FindNamedArg(void** list, const char* name) noexcept {
  if (name == nullptr) return nullptr;
  void* found = nullptr;
  ForEachNamedArg(list, [&](const char* entry, void* value) noexcept {
    if (std::strcmp(entry, name) != 0) return true;
    found = value;
    return false;
  });
  return found;
}

}  // namespace mq
