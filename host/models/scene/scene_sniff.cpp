#include "host/models/scene/scene_sniff.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace vhost::models::scene {
namespace {

// Follows the parse only as deep as the top-level keys, and stops at the value
// of "format": a scene says what it is however long its objects are.
class FormatKey final : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool isScene() const { return isScene_; }

  bool null() override { return Value(); }
  bool boolean(bool /*value*/) override { return Value(); }
  bool number_integer(number_integer_t /*value*/) override { return Value(); }
  bool number_unsigned(number_unsigned_t /*value*/) override { return Value(); }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return Value(); }
  bool string(string_t& value) override {
    if (depth_ == 1 && atFormat_) {
      isScene_ = value == "veltrane-scene";
      return false;
    }
    return Value();
  }
  bool binary(binary_t& /*value*/) override { return Value(); }
  bool start_object(std::size_t /*elements*/) override { return Open(); }
  bool key(string_t& key) override {
    atFormat_ = depth_ == 1 && key == "format";
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t /*elements*/) override { return depth_ > 0 && Open(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  // Any other value of "format", or a top level that is not an object, settles it.
  bool Value() const { return !(depth_ == 0 || (depth_ == 1 && atFormat_)); }
  bool Open() {
    if (depth_ == 1 && atFormat_) return false;
    ++depth_;
    atFormat_ = false;
    return true;
  }
  bool Close() {
    --depth_;
    return depth_ > 0;
  }

  int depth_ = 0;
  bool atFormat_ = false;
  bool isScene_ = false;
};

struct Close {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool IsSceneFile(const std::string& path) {
  const std::unique_ptr<std::FILE, Close> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  FormatKey sniff;
  try {
    nlohmann::json::sax_parse(file.get(), &sniff);
  } catch (const nlohmann::json::exception&) {
    return false;  // not JSON: not a scene; reading it says why, if it is named
  }
  return sniff.isScene();
}

}  // namespace vhost::models::scene
