#include "host/tool/globs.h"

#include <stdexcept>

namespace vtool {
namespace {

// One part of a pattern against one part of a path (neither holds '/').
// Iterative with one backtrack point, as a '*' needs no more: on a mismatch
// the last '*' takes one character more.
bool PartMatches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        starP = ++p;
        starN = n;
        continue;
      }
      if (c == '?') {
        ++p;
        ++n;
        continue;
      }
      if (c == '[') {
        // A set: its first character may be '!' or '^' (negation) and then
        // ']' itself; ranges a-z; escapes.
        std::size_t q = p + 1;
        const bool negate = q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^');
        if (negate) ++q;
        bool found = false;
        bool first = true;
        while (q < pattern.size() && (first || pattern[q] != ']')) {
          first = false;
          char low = pattern[q];
          if (low == '\\' && q + 1 < pattern.size()) low = pattern[++q];
          char high = low;
          if (q + 2 < pattern.size() && pattern[q + 1] == '-' && pattern[q + 2] != ']') {
            high = pattern[q + 2];
            q += 2;
            if (high == '\\' && q + 1 < pattern.size()) high = pattern[++q];
          }
          const auto u = static_cast<unsigned char>(name[n]);
          if (static_cast<unsigned char>(low) <= u && u <= static_cast<unsigned char>(high)) {
            found = true;
          }
          ++q;
        }
        if (found != negate) {
          p = q + 1;  // past ']' (the pattern was checked to hold one)
          ++n;
          continue;
        }
      } else {
        const char literal = c == '\\' ? pattern[p + 1] : c;
        if (literal == name[n]) {
          p += c == '\\' ? 2 : 1;
          ++n;
          continue;
        }
      }
    }
    if (starP == std::string_view::npos) return false;
    p = starP;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return parts;
    start = slash + 1;
  }
}

// Pattern parts against path parts, "**" taking any number of them: a table
// of which pattern tails match which path tails, filled from the ends, so that
// patterns with many "**" cost their length times the path's, never more.
bool PartsMatch(const std::vector<std::string>& pattern,
                const std::vector<std::string_view>& path) {
  const std::size_t columns = path.size() + 1;
  // matches[p * columns + n]: pattern parts from p match path parts from n.
  std::vector<char> matches((pattern.size() + 1) * columns, 0);
  matches[pattern.size() * columns + path.size()] = 1;
  for (std::size_t p = pattern.size(); p-- > 0;) {
    for (std::size_t n = columns; n-- > 0;) {
      bool match = false;
      if (pattern[p] == "**") {
        // One taken and the rest still open to "**", or none; at the end
        // ("a/**") at least one: what is inside the folder, not the folder.
        const bool last = p + 1 == pattern.size();
        match = (!last && matches[(p + 1) * columns + n] != 0) ||
                (n < path.size() &&
                 (matches[p * columns + n + 1] != 0 || matches[(p + 1) * columns + n + 1] != 0));
      } else if (n < path.size()) {
        match = matches[(p + 1) * columns + n + 1] != 0 && PartMatches(pattern[p], path[n]);
      }
      matches[p * columns + n] = match ? 1 : 0;
    }
  }
  return matches[0] != 0;
}

// Checks a set's brackets and escapes, so that matching can trust them.
void CheckPart(std::string_view part, std::string_view whole) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    if (part[i] == '\\') {
      if (++i == part.size()) {
        throw std::invalid_argument("pattern \"" + std::string(whole) + "\" ends in '\\'");
      }
    } else if (part[i] == '[') {
      std::size_t q = i + 1;
      if (q < part.size() && (part[q] == '!' || part[q] == '^')) ++q;
      if (q < part.size() && part[q] == ']') ++q;
      while (q < part.size() && part[q] != ']') q += part[q] == '\\' ? 2 : 1;
      if (q >= part.size()) {
        throw std::invalid_argument("pattern \"" + std::string(whole) +
                                    "\" opens a set '[' it does not close");
      }
      i = q;
    }
  }
}

}  // namespace

Glob::Glob(std::string_view pattern) : text_(pattern) {
  std::string_view rest = pattern;
  if (!rest.empty() && rest[0] == '!') {
    negated_ = true;
    rest.remove_prefix(1);
  }
  if (!rest.empty() && rest.back() == '/' && (rest.size() < 2 || rest[rest.size() - 2] != '\\')) {
    foldersOnly_ = true;
    rest.remove_suffix(1);
  }
  if (!rest.empty() && rest[0] == '/') {
    anchored_ = true;
    rest.remove_prefix(1);
  }
  if (rest.empty()) throw std::invalid_argument("pattern \"" + text_ + "\" matches nothing");
  // A '/' left inside anchors the pattern too, as in gitignore.
  anchored_ = anchored_ || rest.find('/') != std::string_view::npos;
  for (const std::string_view part : Split(rest)) {
    if (part.empty()) throw std::invalid_argument("pattern \"" + text_ + "\" has an empty part");
    CheckPart(part, text_);
    parts_.emplace_back(part);
  }
  if (!anchored_) parts_.insert(parts_.begin(), "**");
}

bool Glob::MatchesItself(std::string_view path, bool folder) const {
  if (foldersOnly_ && !folder) return false;
  return PartsMatch(parts_, Split(path));
}

bool Glob::Matches(std::string_view path) const {
  if (MatchesItself(path, false)) return true;
  for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
       slash = path.find('/', slash + 1)) {
    if (MatchesItself(path.substr(0, slash), true)) return true;
  }
  return false;
}

void GlobRules::Add(std::string_view pattern, bool includes) {
  Glob glob(pattern);
  const bool effective = includes != glob.negated();
  anyIncludes_ = anyIncludes_ || effective;
  rules_.push_back(Rule{std::move(glob), effective});
}

bool GlobRules::Takes(std::string_view path) const {
  for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
    if (rule->glob.Matches(path)) return rule->includes;
  }
  return !anyIncludes_;
}

}  // namespace vtool
