#include "host/module/settings_tree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(VHOST_SETTINGS_FILES)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <pugixml.hpp>
#include <system_error>
#endif

namespace vhost {

namespace {

constexpr const char* kRootName = "settings";
constexpr const char* kPluginSettingsName = "pluginsettings";

// Whether the bytes after a UTF-8 lead byte complete a well-formed sequence; the
// number of bytes consumed, or 0.
std::size_t Utf8SequenceLength(const unsigned char* s) {
  const unsigned char lead = s[0];
  if (lead < 0x80) return 1;
  std::size_t extra = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i <= extra; ++i) {
    if (s[i] < low || s[i] > high) return 0;
    low = 0x80;
    high = 0xBF;
  }
  return extra + 1;
}

// A name the settings file can hold: an XML name, in well-formed UTF-8. Anything
// else would be written out and make the whole file unreadable next time.
bool IsElementName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const auto* s = reinterpret_cast<const unsigned char*>(name);
  bool first = true;
  while (*s != 0) {
    const unsigned char c = *s;
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(s);
      if (length == 0) return false;
      s += length;
    } else {
      const bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
      const bool rest = (c >= '0' && c <= '9') || c == '-' || c == '.';
      if (!start && (first || !rest)) return false;
      ++s;
    }
    first = false;
  }
  return true;
}

}  // namespace

struct SettingsTree::Node {
  std::string name;
  std::optional<std::string> text;
  // Attributes are never shown to plug-ins; kept so that a hand-edited file loses
  // nothing when the host writes it back.
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::unique_ptr<Node>> children;
  Node* parent = nullptr;
  int depth = 1;
};

SettingsTree::SettingsTree() { Reset(); }
SettingsTree::~SettingsTree() = default;

void SettingsTree::Reset() {
  auto root = std::make_unique<Node>();
  root->name = kRootName;
  Adopt(std::move(root));
  faults = SettingsFaults{};
  calls_.clear();
  path_.clear();
  saveBlocked_ = false;
}

void SettingsTree::Adopt(std::unique_ptr<Node> root) {
  root_ = std::move(root);
  retired_.clear();
  live_.clear();
  std::vector<const Node*> pending{root_.get()};
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    live_.insert(node);
    for (const auto& child : node->children) pending.push_back(child.get());
  }
}

void SettingsTree::Forget(Node& node) {
  live_.erase(&node);
  for (const auto& child : node.children) Forget(*child);
}

SettingsTree::Node* SettingsTree::Live(const void* element) const {
  const auto* node = static_cast<const Node*>(element);
  // The node is reached through the set's own non-const pointer: the tree owns it.
  return live_.count(node) != 0 ? const_cast<Node*>(node) : nullptr;
}

bool SettingsTree::IsLive(const void* element) const { return Live(element) != nullptr; }

SettingsTree::Node* SettingsTree::AddChild(Node& parent, const std::string& name) {
  if (parent.depth >= kMaxDepth) return nullptr;
  auto child = std::make_unique<Node>();
  child->name = name;
  child->parent = &parent;
  child->depth = parent.depth + 1;
  Node* added = child.get();
  parent.children.push_back(std::move(child));
  live_.insert(added);
  return added;
}

void SettingsTree::RemoveChild(Node& parent, Node& child) {
  auto& siblings = parent.children;
  const auto found = std::find_if(siblings.begin(), siblings.end(),
                                  [&child](const auto& node) { return node.get() == &child; });
  if (found == siblings.end()) return;
  Forget(child);
  child.parent = nullptr;
  // Kept until the tree is reset: a new node never reuses a removed one's address,
  // so a handle the plug-in kept past removal stays unknown instead of aliasing.
  retired_.push_back(std::move(*found));
  siblings.erase(found);
}

void SettingsTree::AnswerSettingsRequest(PluginMessage& message) {
  if (message.options == nullptr || faults.noSettingsElement) return;
  for (void** entry = message.options; *entry != nullptr; entry += 2) {
    const char* name = static_cast<const char*>(entry[0]);
    if (std::strcmp(name, kPluginSettingsName) == 0) {
      entry[1] = PluginSettings();
    } else if (std::strcmp(name, "root") == 0) {
      entry[1] = root_.get();
    }
  }
}

int32_t SettingsTree::ElementValue(void* element, int32_t operation, void* record) {
  Node* node = Live(element);
  calls_.push_back(ElementCall{element, operation, node != nullptr});
  if (node == nullptr || record == nullptr) return 0;

  switch (operation) {
    case kXmlFindChild: {
      auto* find = static_cast<XmlFindChildRecord*>(record);
      find->result = find->name != nullptr ? FindChild(node, find->name) : nullptr;
      return find->result != nullptr ? 1 : 0;
    }
    case kXmlAddChild: {
      auto* add = static_cast<XmlAddChildRecord*>(record);
      if (faults.refuseAddChild || !IsElementName(add->name)) return 0;
      add->result = AddChild(*node, add->name);
      return add->result != nullptr ? 1 : 0;
    }
    case kXmlRemoveChild: {
      auto* remove = static_cast<XmlRemoveChildRecord*>(record);
      Node* child = Live(remove->child);
      if (child == nullptr || child->parent != node) return 0;
      RemoveChild(*node, *child);
      if (remove->result != nullptr) *remove->result = 1;
      return 1;
    }
    case kXmlGetText: {
      auto* get = static_cast<XmlGetTextRecord*>(record);
      get->result = node->text ? node->text->c_str() : nullptr;
      return get->result != nullptr ? 1 : 0;
    }
    case kXmlSetText: {
      const auto* set = static_cast<const XmlSetTextRecord*>(record);
      if (set->text != nullptr) {
        node->text = set->text;
      } else {
        node->text.reset();
      }
      return 1;
    }
    default:
      return 0;
  }
}

void* SettingsTree::PluginSettings() {
  if (void* found = FindChild(root_.get(), kPluginSettingsName)) return found;
  return AddChild(*root_, kPluginSettingsName);
}

void* SettingsTree::FindSection(const std::string& name) const {
  const void* settings = FindChild(root_.get(), kPluginSettingsName);
  return settings != nullptr ? FindChild(settings, name) : nullptr;
}

void* SettingsTree::FindChild(const void* element, const std::string& name) const {
  const Node* node = Live(element);
  if (node == nullptr) return nullptr;
  for (const auto& child : node->children) {
    if (child->name == name) return child.get();
  }
  return nullptr;
}

std::vector<SettingsEntry> SettingsTree::ListChildren(const void* element) const {
  std::vector<SettingsEntry> entries;
  if (const Node* node = Live(element)) {
    for (const auto& child : node->children) {
      entries.push_back(SettingsEntry{child->name, child->text, child->children.size()});
    }
  }
  return entries;
}

// ---------------------------------------------------------------------------
// Persistence

#if defined(VHOST_SETTINGS_FILES)

namespace {

namespace fs = std::filesystem;

std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Reads the whole file; on failure, why.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem = "cannot be read (" + ErrnoText(errno) + ")";
    return false;
  }
  content.clear();
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      problem = "cannot be read (" + ErrnoText(errno) + ")";
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t put = ::write(fd, data.data() + written, data.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;  // no progress and no reason given
    if (put <= 0) return false;
    written += static_cast<std::size_t>(put);
  }
  return true;
}

// "<path>.broken-YYYYMMDD-HHMMSS", with a counter when that name is taken.
std::string BrokenName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".broken-" + stamp;
  std::string candidate = base;
  std::error_code ec;
  for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n) {
    candidate = base + "-" + std::to_string(n);
  }
  return candidate;
}

struct StringWriter final : pugi::xml_writer {
  std::string data;
  void write(const void* bytes, std::size_t size) override {
    data.append(static_cast<const char*>(bytes), size);
  }
};

// Converts a parsed element into the host's nodes, iteratively; false when the
// file nests deeper than the tree allows. Templates, so that they reach the tree's
// private node type through deduction.
template <typename NodeT>
bool Convert(const pugi::xml_node& source, NodeT& target, int max_depth) {
  std::vector<std::pair<pugi::xml_node, NodeT*>> pending{{source, &target}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    to->name = from.name();
    for (const pugi::xml_attribute& attribute : from.attributes()) {
      to->attributes.emplace_back(attribute.name(), attribute.value());
    }
    for (const pugi::xml_node& child : from.children()) {
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
        to->text = to->text.value_or(std::string()) + child.value();
      } else if (child.type() == pugi::node_element) {
        if (to->depth >= max_depth) return false;
        auto node = std::make_unique<NodeT>();
        node->parent = to;
        node->depth = to->depth + 1;
        pending.emplace_back(child, node.get());
        to->children.push_back(std::move(node));
      }
    }
  }
  return true;
}

template <typename NodeT>
void Emit(const NodeT& source, pugi::xml_node target) {
  target.set_name(source.name.c_str());
  for (const auto& [name, value] : source.attributes) {
    target.append_attribute(name.c_str()).set_value(value.c_str());
  }
  if (source.text && !source.text->empty()) {
    target.append_child(pugi::node_pcdata).set_value(source.text->c_str());
  }
  for (const auto& child : source.children) Emit(*child, target.append_child(pugi::node_element));
}

}  // namespace

SettingsFileReport SettingsTree::LoadFile(const std::string& path) {
  using Outcome = SettingsFileReport::Outcome;
  Reset();  // whatever happens below, the host starts from what the file gives
  path_ = path;
  SettingsFileReport report;

  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    report.outcome = Outcome::kMissing;
    return report;
  }
  if (ec || status.type() != fs::file_type::regular) {
    saveBlocked_ = true;
    report.message =
        "settings file " + path +
        (ec ? " cannot be examined (" + ec.message() + ")" : " is not a regular file") +
        "; starting with empty settings, which will not be saved over it";
    return report;
  }

  std::string problem;
  std::string content;
  auto root = std::make_unique<Node>();
  if (ReadWholeFile(path, content, problem)) {
    pugi::xml_document document;
    const unsigned flags = pugi::parse_default | pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result parsed =
        document.load_buffer(content.data(), content.size(), flags, pugi::encoding_auto);
    const auto elements = std::count_if(document.begin(), document.end(), [](const auto& node) {
      return node.type() == pugi::node_element;
    });
    if (!parsed) {
      problem = "is malformed (" + std::string(parsed.description()) + " at byte " +
                std::to_string(parsed.offset) + ")";
    } else if (elements != 1) {
      problem = "is malformed (" + std::to_string(elements) + " top-level elements, not one)";
    } else if (!Convert(document.document_element(), *root, kMaxDepth)) {
      problem = "is malformed (elements nest deeper than " + std::to_string(kMaxDepth) + " levels)";
    }
  }
  if (problem.empty()) {
    Adopt(std::move(root));
    report.outcome = Outcome::kLoaded;
    return report;
  }

  const std::string aside = BrokenName(path);
  if (::rename(path.c_str(), aside.c_str()) != 0) {
    const int error = errno;
    saveBlocked_ = true;
    report.message = "settings file " + path + " " + problem + " and cannot be moved aside (" +
                     ErrnoText(error) +
                     "); starting with empty settings, which will not be saved over it";
    return report;
  }
  report.outcome = Outcome::kRecovered;
  report.movedTo = aside;
  report.message = "settings file " + path + " " + problem + "; moved it aside to " + aside +
                   " and started with empty settings";
  return report;
}

SettingsFileReport SettingsTree::SaveFile() {
  using Outcome = SettingsFileReport::Outcome;
  SettingsFileReport report;
  if (path_.empty()) {
    report.message = "no settings file to save to: none was loaded";
    return report;
  }
  if (saveBlocked_) {
    report.message = "not saving settings: " + path_ +
                     " could be neither read nor moved aside, and would be lost";
    return report;
  }

  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  Emit(*root_, document.append_child(pugi::node_element));
  StringWriter writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);

  // The new content goes to a temporary file beside the old one and replaces it in
  // one rename: a crash leaves either the old file or the new one, never a torn one.
  std::string temporary = path_ + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    report.message = "cannot write settings file " + path_ + " (" + ErrnoText(errno) + ")";
    return report;
  }
  std::error_code ec;
  const fs::file_status old = fs::status(path_, ec);
  if (!ec && fs::is_regular_file(old)) {
    ::fchmod(fd, static_cast<mode_t>(old.permissions() & fs::perms::all));
  }
  int error = 0;
  if (!WriteAll(fd, writer.data) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path_.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    report.message = "cannot write settings file " + path_ + " (" + ErrnoText(error) +
                     "); the previous file is unchanged";
    return report;
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  std::string directory = fs::path(path_).parent_path().string();
  if (directory.empty()) directory = ".";
  const int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  report.outcome = Outcome::kSaved;
  return report;
}

#else  // settings in memory only

SettingsFileReport SettingsTree::LoadFile(const std::string& path) {
  Reset();
  path_ = path;
  SettingsFileReport report;
  report.outcome = SettingsFileReport::Outcome::kUnsupported;
  report.message = "this host keeps its settings in memory only; " + path + " is not read";
  return report;
}

SettingsFileReport SettingsTree::SaveFile() {
  SettingsFileReport report;
  report.outcome = SettingsFileReport::Outcome::kUnsupported;
  report.message = "this host keeps its settings in memory only; nothing is written";
  return report;
}

#endif

}  // namespace vhost
