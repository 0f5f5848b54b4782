#include "host/tool/walker.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "host/models/registry.h"

#if defined(VHOST_HAS_LIBGIT2)
#include <git2.h>
#endif

namespace vtool {
namespace fs = std::filesystem;

namespace {

// What ignore files say inside one git work tree, asked of libgit2 (which also
// reads .git/info/exclude and the user's global excludes, as git does). Made
// for one walked folder; outside a work tree, without rules, or in a build
// without libgit2 (Windows), nothing is ignored.
class IgnoreRules {
 public:
  IgnoreRules() = default;
  // Opens the work tree `folder` is in. `relative` is then set to the folder's
  // path from the top of the work tree ("" at the top, else ending in '/').
  IgnoreRules(const fs::path& folder, std::string& relative) {
#if defined(VHOST_HAS_LIBGIT2)
    git_libgit2_init();
    initialised_ = true;
    std::error_code error;
    const fs::path canonical = fs::canonical(folder, error);
    git_repository* repository = nullptr;
    if (error || git_repository_open_ext(&repository, canonical.c_str(), 0, nullptr) != 0) return;
    repository_.reset(repository);
    const char* workdir = git_repository_workdir(repository);
    const fs::path top = workdir == nullptr ? fs::path() : fs::canonical(workdir, error);
    const std::string inside = canonical.lexically_relative(top).generic_string();
    if (workdir == nullptr || error || inside.empty() || inside.rfind("..", 0) == 0) {
      repository_.reset();  // bare, or not below its work tree (a .git folder itself)
      return;
    }
    relative = inside == "." ? std::string() : inside + "/";
#else
    static_cast<void>(folder);
    static_cast<void>(relative);
#endif
  }
  IgnoreRules(const IgnoreRules&) = delete;
  IgnoreRules& operator=(const IgnoreRules&) = delete;
  ~IgnoreRules() {
#if defined(VHOST_HAS_LIBGIT2)
    repository_.reset();
    if (initialised_) git_libgit2_shutdown();
#endif
  }

  // Whether there are rules: the folder is in a git work tree.
  bool Active() const {
#if defined(VHOST_HAS_LIBGIT2)
    return repository_ != nullptr;
#else
    return false;
#endif
  }

  // Whether the entry at `relative` (from the top of the work tree) is
  // ignored; for a folder, `relative` ends in '/', so that rules for folders
  // only apply.
  bool Ignores(const std::string& relative) const {
#if defined(VHOST_HAS_LIBGIT2)
    if (!repository_) return false;
    // The repository's own folder is git's, never a model's.
    if (relative.rfind(".git/", 0) == 0) return true;
    int ignored = 0;
    return git_ignore_path_is_ignored(&ignored, repository_.get(), relative.c_str()) == 0 &&
           ignored == 1;
#else
    static_cast<void>(relative);
    return false;
#endif
  }

 private:
#if defined(VHOST_HAS_LIBGIT2)
  struct Free {
    void operator()(git_repository* repository) const { git_repository_free(repository); }
  };
  bool initialised_ = false;
  std::unique_ptr<git_repository, Free> repository_;
#endif
};

// How messages name a walked folder: the current one, unnamed, as ".".
std::string Shown(const std::string& folder) { return folder.empty() ? "." : folder; }

class FolderWalk {
 public:
  FolderWalk(const WalkRules& rules, const IgnoreRules& ignore) : rules_(rules), ignore_(ignore) {}

  // Lists `folder` and the folders below it. `shown` names it in paths and
  // messages (empty: the current folder, whose entries are named without a
  // prefix); `relative` is its path for the ignore rules and `fromRoot` its
  // path from the folder walked, for the walk's patterns, each ending in '/'
  // unless empty.
  void Walk(const fs::path& folder, const std::string& shown, const std::string& relative,
            const std::string& fromRoot) {
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    // Whether each entry is asked of the file system (below), not only listed.
    std::optional<bool> askEach;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
      const fs::directory_entry& entry = *entries;
      const std::string name = entry.path().filename().generic_string();
      if (!rules_.hidden && !name.empty() && name[0] == '.') continue;
      const std::string path = Join(shown, name);
      // The kind the listing gave, where the file system gives one: a tree of
      // thousands of files is walked without a call per file. But a folder
      // that can be listed and not looked into (no search permission, a path
      // past the system's longest) lists entries that cannot be opened: when
      // its first entry cannot be looked at, each is asked and named.
      std::error_code kindError;
      if (!askEach) {
        std::error_code probe;
        entry.symlink_status(probe);
        askEach = probe && probe != std::errc::no_such_file_or_directory;
      }
      bool link = false;
      bool folder = false;
      bool file = false;
      if (*askEach) {
        const fs::file_status own = entry.symlink_status(kindError);
        link = fs::is_symlink(own);
        folder = fs::is_directory(own);
        file = fs::is_regular_file(own);
      } else {
        link = entry.is_symlink(kindError);
        folder = !kindError && !link && entry.is_directory(kindError);
        file = !kindError && !link && !folder && entry.is_regular_file(kindError);
      }
      if (kindError) {
        // Gone since it was listed is nothing; anything else is a place the
        // walk could not look into.
        if (kindError != std::errc::no_such_file_or_directory) {
          found_.push_back(WalkItem{path, "cannot read: " + kindError.message(), fromRoot + name});
        }
        continue;
      }
      if (folder) {
        const std::string below = relative + name + "/";
        if (!ignore_.Ignores(below)) Walk(entry.path(), path, below, fromRoot + name + "/");
        continue;
      }
      // A link is followed to a file only: a linked folder could lead back up.
      if (link) file = fs::is_regular_file(entry.status(kindError));
      if (kindError || !file) continue;
      if (ignore_.Ignores(relative + name) || !rules_.globs.Takes(fromRoot + name) ||
          !vhost::models::WalkTakes(path)) {
        continue;
      }
      found_.push_back(WalkItem{path, {}, fromRoot + name});
    }
    // A listing that fails, at its start or part way, keeps what it gave and
    // says the folder could not be read.
    if (error)
      found_.push_back(
          WalkItem{Shown(shown), "cannot read the folder: " + error.message(), fromRoot});
  }

  std::vector<WalkItem> Take() {
    std::sort(found_.begin(), found_.end(),
              [](const WalkItem& a, const WalkItem& b) { return a.path < b.path; });
    return std::move(found_);
  }

 private:
  static std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
  }

  const WalkRules& rules_;
  const IgnoreRules& ignore_;
  std::vector<WalkItem> found_;
};

// What was looked for, for a folder that gave nothing.
std::string NothingFound(const WalkRules& rules, bool ignoring) {
  std::string skipped;
  if (!rules.hidden) skipped = "hidden files skipped (--hidden takes them)";
  if (!rules.globs.empty()) {
    skipped += std::string(skipped.empty() ? "" : ", ") + "--include and --exclude applied";
  }
  if (ignoring) {
    skipped += std::string(skipped.empty() ? "" : ", ") +
               "files git ignores skipped (--no-ignore takes them)";
  }
  return std::string("no model file below it: none with an extension --formats lists") +
         (skipped.empty() ? "" : "; " + skipped);
}

}  // namespace

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

int ShardOf(const std::string& key, int shards) {
  return static_cast<int>(Fnv1a(key) % static_cast<uint64_t>(shards));
}

std::vector<WalkItem> Expand(const std::vector<std::string>& models, const WalkRules& rules) {
  std::vector<WalkItem> items;
  const auto walk = [&](const fs::path& folder, const std::string& shown) {
    std::string relative;
    const std::unique_ptr<IgnoreRules> ignore =
        rules.ignore ? std::make_unique<IgnoreRules>(folder, relative)
                     : std::make_unique<IgnoreRules>();
    FolderWalk walker(rules, *ignore);
    std::string failed;
    try {
      walker.Walk(folder, shown, relative, "");
    } catch (const std::system_error& error) {
      // A name the system cannot give as text (Windows, outside the code
      // page): the folder is said to be unreadable rather than half walked.
      failed = std::string("cannot read the folder: ") + error.what();
    }
    std::vector<WalkItem> found = walker.Take();
    // Keyed by the folder as named, as a file named is.
    if (!failed.empty()) found = {WalkItem{Shown(shown), failed, Shown(shown)}};
    if (found.empty()) {
      found.push_back(WalkItem{Shown(shown), NothingFound(rules, ignore->Active()), Shown(shown)});
    }
    items.insert(items.end(), std::make_move_iterator(found.begin()),
                 std::make_move_iterator(found.end()));
  };
  if (models.empty()) walk(".", "");
  for (const std::string& model : models) {
    std::error_code error;
    // Standard input, and anything that is not a folder, goes to the readers
    // as named: they say what is wrong with it.
    if (model != "-" && fs::is_directory(model, error)) {
      walk(model, model);
    } else {
      items.push_back(WalkItem{model, {}, model});
    }
  }
  return items;
}

}  // namespace vtool
