#include "host/models/model_error.h"

#include <cstdio>

namespace vhost {
namespace {

std::string Where(const std::string& file, int64_t line, int64_t column) {
  std::string where = Printable(file);
  if (line > 0) where += ":" + std::to_string(line);
  if (line > 0 && column > 0) where += ":" + std::to_string(column);
  return where;
}

}  // namespace

std::string Quote(std::string_view text, const Quoting& how) {
  const std::string_view shown = text.substr(0, how.most);
  std::string out(1, how.mark);
  if (how.controlsAsQuestionMarks) {
    for (const char c : shown) {
      const auto byte = static_cast<unsigned char>(c);
      out += byte < 0x20 || byte == 0x7f ? '?' : c;
    }
  } else {
    out += Printable(std::string(shown));
  }
  if (shown.size() < text.size()) out += "...";
  return out + how.mark;
}

std::string Printable(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      printable += escape;
    } else {
      printable += c;
    }
  }
  return printable;
}

ModelError::ModelError(const std::string& file, int64_t line, const std::string& message,
                       int64_t column)
    : ModelError(Kind::kSyntax, file, line, message, column, true) {}

ModelError::ModelError(Kind kind, const std::string& file, int64_t line, const std::string& message,
                       int64_t column)
    : ModelError(kind, file, line, message, column, true) {}

ModelError ModelError::LineInMessage(Kind kind, const std::string& file, int64_t line,
                                     const std::string& message) {
  return ModelError(kind, file, line, message, 0, false);
}

ModelError::ModelError(Kind kind, const std::string& file, int64_t line, const std::string& message,
                       int64_t column, bool lineInText)
    : std::runtime_error(Where(file, lineInText ? line : 0, column) + ": " + Printable(message)),
      kind_(kind),
      file_(file),
      line_(line),
      column_(line > 0 ? column : 0),
      message_(message) {}

const char* KindName(ModelError::Kind kind) {
  switch (kind) {
    case ModelError::Kind::kCannotOpen:
      return "cannot-open";
    case ModelError::Kind::kSyntax:
      return "syntax";
    case ModelError::Kind::kLimit:
      return "limit";
    case ModelError::Kind::kOutOfMemory:
      return "out-of-memory";
    case ModelError::Kind::kUnsupported:
      return "unsupported";
    case ModelError::Kind::kReaderCrashed:
      return "reader-crashed";
    case ModelError::Kind::kGeometryLost:
      return "geometry-lost";
    case ModelError::Kind::kTimedOut:
      return "timed-out";
  }
  return "syntax";
}

}  // namespace vhost
