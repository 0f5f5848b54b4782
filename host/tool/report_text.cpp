#include "host/tool/report_text.h"

#include <cstdint>

#include "host/models/models.h"

namespace vtool {
namespace {

// The length of the UTF-8 sequence at `at`, or 0 when it is not a valid one
// (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t SequenceAt(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  uint32_t low = 0;
  uint32_t value = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, low = 0x80, value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, low = 0x800, value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, low = 0x10000, value = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < low || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

std::string Number(int64_t value) { return std::to_string(value); }

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = SequenceAt(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

std::string VerdictMessage(const ModelResult& result, const Verdict& verdict) {
  std::string line;
  if (verdict.object) {
    std::string name = Number(*verdict.object);
    if (result.objects) {
      for (const ObjectRow& row : *result.objects) {
        if (row.index == *verdict.object) name = "\"" + vhost::Printable(row.name) + "\"";
      }
    }
    line += "object " + name + ": ";
  }
  const std::string what = MetricName(verdict.metric);
  const std::string rule =
      " (" + vhost::Printable(verdict.rule.empty() ? "command line" : verdict.rule) + ")";
  const std::string value =
      (verdict.atLeast ? "at least " : "") + Number(verdict.value.value_or(0)) + " " + what;
  const std::string limit = verdict.budget + " " + Number(verdict.limit);
  switch (verdict.kind) {
    case Verdict::Kind::kOver:
      return line + value + ", over " + limit + rule;
    case Verdict::Kind::kWarned:
      return line + value + ", over the warning level " + limit + rule;
    case Verdict::Kind::kWaived:
      return line + value + ", over " + limit + rule + ", waived (" +
             vhost::Printable(verdict.waiver) + "): " + vhost::Printable(verdict.reason);
    case Verdict::Kind::kWithin:
      return line + value + ", within " + limit + rule;
    case Verdict::Kind::kUnchecked:
      break;
  }
  return line + limit + " " + what + rule +
         " cannot be checked: " + vhost::Printable(verdict.reason);
}

ModelPlace PlaceOf(const std::string& path) {
  if (path == kStandardInput) return {".", ShownName(path)};
#if defined(_WIN32)
  const std::size_t slash = path.find_last_of("/\\");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) return {".", vhost::Printable(path)};
  // "/model.obj" is in the root; "assets/" is a folder given as a model.
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  return {vhost::Printable(folder), vhost::Printable(path.substr(slash + 1))};
}

}  // namespace vtool
