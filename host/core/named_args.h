// Builds the named-argument lists the host passes with events and widget callbacks:
// name0, value0, name1, value1, …, null.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vhost {

class NamedArgs {
 public:
  // A 32-bit integer read by the plug-in; the list owns the storage.
  NamedArgs& Int(const std::string& name, int32_t value) {
    ints_.push_back(value);
    return Add(name, &ints_.back());
  }
  // A handle, text or other pointer passed as it is; the caller keeps it alive.
  NamedArgs& Value(const std::string& name, void* value) { return Add(name, value); }
  NamedArgs& Text(const std::string& name, const char* text) {
    return Add(name, const_cast<char*>(text));  // the plug-in only reads it
  }
  // A 32-bit integer the plug-in may write; the list owns it, read it with IntAt.
  NamedArgs& Slot(const std::string& name, int32_t preset) { return Int(name, preset); }

  // The integer behind entry `name` (first match), for slots the plug-in wrote.
  int32_t IntAt(const std::string& name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) return *static_cast<const int32_t*>(list_[2 * i + 1]);
    }
    return 0;
  }

  // The list as the plug-in sees it; valid until this object changes or dies.
  void** data() { return list_.data(); }

 private:
  NamedArgs& Add(const std::string& name, void* value) {
    names_.push_back(name);
    list_.back() = const_cast<char*>(names_.back().c_str());
    list_.push_back(value);
    list_.push_back(nullptr);  // the list always ends with a null name
    return *this;
  }

  // Deques keep element addresses stable as entries are added.
  std::deque<std::string> names_;
  std::deque<int32_t> ints_;
  std::vector<void*> list_{nullptr};
};

}  // namespace vhost
