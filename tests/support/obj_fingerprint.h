// Views of an OBJ load that tests and the fuzzer compare. The file as written,
// and the same statements each starting after a blank, which the OBJ reader's
// fast paths (for `v` and `f` at the start of a line) decline and its general
// path reads; the file split on the building thread and on a second one. Each
// pair must give the same document or the same fault.
#pragma once

#include <cstdio>
#include <string>

#include "host/models/models.h"
#include "host/models/obj/obj_file.h"

namespace testing_support {

// `obj` with a blank before every statement: at its start (after a UTF-8 byte
// order mark) and after every line end not continued by a `\`. Line numbers,
// fields and what each statement means stay as they were.
inline std::string WithBlankStatementStarts(const std::string& obj) {
  std::string out;
  out.reserve(obj.size() + obj.size() / 8 + 1);
  std::size_t i = 0;
  if (obj.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    out += "\xEF\xBB\xBF";
    i = 3;
  }
  out += ' ';
  for (; i < obj.size(); ++i) {
    const char c = obj[i];
    out += c;
    if (c != '\n' && c != '\r') continue;
    if (c == '\r' && i + 1 < obj.size() && obj[i + 1] == '\n') continue;  // the \n ends it
    std::size_t lineEnd = c == '\n' && i > 0 && obj[i - 1] == '\r' ? i - 1 : i;
    if (lineEnd == 0 || obj[lineEnd - 1] != '\\') out += ' ';
  }
  return out;
}

// Everything `read` (returning an ObjFile) gives, as text: its fault (line and
// message, not the file name), or each object's name, positions (exact, in
// hexadecimal), reference counts and faces.
template <typename Read>
std::string ObjFingerprint(Read read) {
  vhost::Document document;
  try {
    read().MoveObjectsTo(document);
  } catch (const vhost::ModelError& error) {
    return "fault at line " + std::to_string(error.line()) + ": " + error.message();
  }
  std::string out;
  char number[64];
  for (int32_t slot = 0; slot < document.SlotCount(); ++slot) {
    const vhost::Object* object = document.At(slot);
    if (object == nullptr) {
      out += "empty slot\n";
      continue;
    }
    out += "object '" + object->name + "'\n";
    for (int32_t v = 0; v < object->VertexCount(); ++v) {
      const vhost::Vec3& p = object->Position(v);
      std::snprintf(number, sizeof number, "v %a %a %a", p.x, p.y, p.z);
      out += number;
      out += " used " + std::to_string(object->VertexRefCount(v)) + "\n";
    }
    for (int32_t f = 0; f < object->FaceCount(); ++f) {
      out += "f";
      for (const int32_t point : object->FacePoints(f)) out += " " + std::to_string(point);
      out += "\n";
    }
  }
  return out;
}

// The fingerprint of a read of `path`.
inline std::string ObjLoadFingerprint(
    const std::string& path, vhost::models::ObjThreads threads = vhost::models::ObjThreads::kAuto) {
  return ObjFingerprint([&] { return vhost::models::ObjFile::Read(path, {}, threads); });
}

// The fingerprint of a read of `bytes` from memory, as a file "model.obj".
inline std::string ObjBytesFingerprint(
    const std::string& bytes,
    vhost::models::ObjThreads threads = vhost::models::ObjThreads::kAuto) {
  return ObjFingerprint([&] {
    vhost::models::MemorySource source(bytes);
    return vhost::models::ObjFile::Read(source, "model.obj", {}, threads);
  });
}

}  // namespace testing_support
