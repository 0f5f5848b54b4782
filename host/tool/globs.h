// Patterns in gitignore's syntax, for what a walk takes (--include, --exclude)
// and, later, which paths a budget rule covers. Paths are relative to the
// folder the patterns belong to, with '/' between their parts and no leading
// "./".
//
//   *        any run of characters but '/'      ?  one character but '/'
//   [a-z]    one of a set; [!a-z] or [^a-z] one not in it
//   **       as a whole part: any number of folders ("**/x", "a/**/b", "a/**")
//   \c       the character c itself
//   /x       anchored: x at the top only (so is any pattern with a '/' before
//            its end); without, x matches a name at any depth
//   x/       folders only
//   !x       negates: see GlobRules
// A pattern that matches a folder matches everything below it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vtool {

class Glob {
 public:
  // Compiles `pattern`. Throws std::invalid_argument naming what is wrong (an
  // empty pattern, a set without its ']', a '\' at the end).
  explicit Glob(std::string_view pattern);

  const std::string& text() const { return text_; }
  bool negated() const { return negated_; }

  // Whether the pattern matches `path` itself (a folder when `folder`), not
  // counting its parents.
  bool MatchesItself(std::string_view path, bool folder) const;

  // Whether it matches `path` (a file) or one of the folders it is in.
  bool Matches(std::string_view path) const;

 private:
  std::string text_;                // as given
  std::vector<std::string> parts_;  // split at '/', "**" kept as a part
  bool negated_ = false;
  bool anchored_ = false;
  bool foldersOnly_ = false;
};

// An ordered list of patterns that select paths: the last pattern matching a
// path decides, taking it for a pattern that includes and leaving it for one
// that excludes ("!" swaps the two); a path no pattern matches is taken unless
// some pattern includes.
class GlobRules {
 public:
  void Include(std::string_view pattern) { Add(pattern, true); }
  void Exclude(std::string_view pattern) { Add(pattern, false); }
  bool empty() const { return rules_.empty(); }

  bool Takes(std::string_view path) const;

 private:
  void Add(std::string_view pattern, bool includes);
  struct Rule {
    Glob glob;
    bool includes;
  };
  std::vector<Rule> rules_;
  bool anyIncludes_ = false;
};

}  // namespace vtool
