// Internal to the scene loader: the scene's JSON text parsed, and a fault in its
// content placed on a line of that text.
//
// nlohmann-json keeps no positions in its values. Faults in the content are
// therefore raised with the path of the value at fault, and only then placed on
// a line by reading the text once more up to that value.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vhost::models::scene {

using Json = nlohmann::json;

// Where a value lies in the scene: the keys and indices leading to it from the top.
struct Step {
  bool isKey = true;
  std::string key;
  int64_t index = 0;
};
using JsonPath = std::vector<Step>;

// A fault in the scene's content, at the value `path` leads to.
class Fault : public std::runtime_error {
 public:
  Fault(JsonPath path, const std::string& message)
      : std::runtime_error(message), path(std::move(path)) {}
  JsonPath path;
};

// The line of the value at `path` in `text`; 0 when it cannot be found.
int64_t LineOf(const std::string& text, const JsonPath& path);

// The scene's text parsed, repeated keys refused; a ModelError naming `path`
// and the line (and column, where the parser tells one) otherwise.
Json Parse(const std::string& path, const std::string& text);

}  // namespace vhost::models::scene
