// Reading the scene's JSON text: the parse itself, repeated keys, and the
// Locator that finds the line of a value at fault.
#include "host/models/scene/scene_json.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>

#include "host/models/limits.h"
#include "host/models/source_text.h"

namespace vhost::models::scene {
namespace {

// Reads text for nlohmann-json and keeps `*reached` just past the last byte read.
class TrackedIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackedIterator(const char* at, const char** reached) : at_(at), reached_(reached) {}
  reference operator*() const { return *at_; }
  TrackedIterator& operator++() {
    *reached_ = ++at_;
    return *this;
  }
  TrackedIterator operator++(int) {
    TrackedIterator old = *this;
    ++*this;
    return old;
  }
  bool operator==(const TrackedIterator& other) const { return at_ == other.at_; }
  bool operator!=(const TrackedIterator& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  const char** reached_;  // the caller's
};

// Finds where the value at a path ends in the text: replays the parse as events
// and stops at that value.
class Locator final : public nlohmann::json_sax<Json> {
 public:
  Locator(const JsonPath& target, const char* const& reached)
      : target_(target), reached_(reached) {}

  // Just past the value's first token (the opening bracket of an object or an
  // array, the whole of anything else; one byte further after a number); null
  // when the value was not met.
  const char* found() const { return found_; }

  bool null() override { return Value(); }
  bool boolean(bool /*value*/) override { return Value(); }
  bool number_integer(number_integer_t /*value*/) override { return Value(); }
  bool number_unsigned(number_unsigned_t /*value*/) override { return Value(); }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return Value(); }
  bool string(string_t& /*value*/) override { return Value(); }
  bool binary(binary_t& /*value*/) override { return Value(); }
  bool start_object(std::size_t /*elements*/) override { return Open(true); }
  bool key(string_t& key) override {
    open_.back().key = key;
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t /*elements*/) override { return Open(false); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  bool Value() {
    if (!open_.empty() && !open_.back().isKey) ++open_.back().index;
    if (open_.size() == target_.size() &&
        std::equal(open_.begin(), open_.end(), target_.begin(), [](const Step& a, const Step& b) {
          return a.isKey == b.isKey && (a.isKey ? a.key == b.key : a.index == b.index);
        })) {
      found_ = reached_;
      return false;  // stop reading
    }
    return true;
  }
  bool Open(bool object) {
    if (!Value()) return false;
    open_.push_back(Step{object, {}, -1});
    return true;
  }
  bool Close() {
    open_.pop_back();
    return true;
  }

  const JsonPath& target_;
  const char* const& reached_;
  JsonPath open_;  // the objects and arrays the reading is inside, with the current key or index
  const char* found_ = nullptr;
};

// nlohmann-json's message without its own position and without the raw input it
// quotes, which may run over several lines.
std::string ParseMessage(const std::string& what) {
  std::string message = what;
  const std::size_t column = message.find("column ");
  const std::size_t colon =
      column == std::string::npos ? message.find("] ") : message.find(": ", column);
  if (colon != std::string::npos) message.erase(0, colon + 2);
  const std::size_t lastRead = message.find("; last read: ");
  if (lastRead != std::string::npos) {
    const std::size_t expected = message.find("; expected ", lastRead);
    message = message.substr(0, lastRead) +
              (expected == std::string::npos ? std::string() : message.substr(expected));
  }
  return message;
}

// Finds the first key given twice in an object, replaying the parse as events:
// nlohmann-json keeps the last of them. It stops at a syntax error, which the
// parse proper then reports.
class RepeatedKeys final : public nlohmann::json_sax<Json> {
 public:
  explicit RepeatedKeys(const char* const& reached) : reached_(reached) {}

  // Just past the repeated key; null when there is none.
  const char* found() const { return found_; }
  const std::string& key() const { return key_; }

  bool null() override { return true; }
  bool boolean(bool /*value*/) override { return true; }
  bool number_integer(number_integer_t /*value*/) override { return true; }
  bool number_unsigned(number_unsigned_t /*value*/) override { return true; }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return true; }
  bool string(string_t& /*value*/) override { return true; }
  bool binary(binary_t& /*value*/) override { return true; }
  bool start_object(std::size_t /*elements*/) override {
    keys_.emplace_back();
    return true;
  }
  bool key(string_t& key) override {
    if (keys_.back().insert(key).second) return true;
    found_ = reached_;
    key_ = key;
    return false;  // stop reading
  }
  bool end_object() override {
    keys_.pop_back();
    return true;
  }
  bool start_array(std::size_t /*elements*/) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  const char* const& reached_;
  std::vector<std::set<std::string>> keys_;  // of each object being read
  const char* found_ = nullptr;
  std::string key_;
};

}  // namespace

int64_t LineOf(const std::string& text, const JsonPath& path) {
  const char* reached = text.data();
  Locator locator(path, reached);
  Json::sax_parse(TrackedIterator(text.data(), &reached),
                  TrackedIterator(text.data() + text.size(), &reached), &locator);
  if (locator.found() == nullptr) return 0;
  auto end = static_cast<std::size_t>(locator.found() - text.data());
  // Step back over what was read past the value: blanks, or the byte after a number.
  while (end > 1 && std::isspace(static_cast<unsigned char>(text[end - 1])) != 0) --end;
  return models::PositionAt(text, end > 0 ? end - 1 : 0).line;
}

// The scene's text parsed, repeated keys refused. Two plain passes: the parse
// with a callback (which could refuse them in one) scans the whole enclosing
// array again after each object in it, which takes time growing with the square
// of the number of entries.
Json Parse(const std::string& path, const std::string& text) {
  const char* reached = text.data();
  const auto lineBefore = [&] {
    const auto at = static_cast<std::size_t>(reached - text.data());
    return models::PositionAt(text, at > 0 ? at - 1 : 0).line;
  };
  RepeatedKeys repeated(reached);
  Json::sax_parse(TrackedIterator(text.data(), &reached),
                  TrackedIterator(text.data() + text.size(), &reached), &repeated);
  if (repeated.found() != nullptr) {
    reached = repeated.found();
    throw ModelError(path, lineBefore(), "key " + Quote(repeated.key()) + " given twice");
  }
  reached = text.data();
  try {
    return Json::parse(TrackedIterator(text.data(), &reached),
                       TrackedIterator(text.data() + text.size(), &reached));
  } catch (const Json::parse_error& error) {
    const std::size_t byte = error.byte > 0 ? error.byte - 1 : 0;
    const models::TextPosition at = models::PositionAt(text, byte);
    throw ModelError(path, at.line, ParseMessage(error.what()), at.column);
  } catch (const Json::exception& error) {  // a number too large, say
    throw ModelError(path, lineBefore(), ParseMessage(error.what()));
  }
}

}  // namespace vhost::models::scene
