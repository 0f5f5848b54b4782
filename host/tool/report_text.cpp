#include "host/tool/report_text.h"

#include <cstdint>
#include <cstring>
#include <iterator>

#include "host/models/models.h"
#include "protocol/utf.h"

namespace vtool {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const mq::UtfStep step = mq::DecodeUtf8(std::string_view(text).substr(at));
    if (step.valid) {
      out.append(text, at, step.length);
      at += step.length;
    } else {
      out += "\xEF\xBF\xBD";  // a U+FFFD for each byte that is not UTF-8
      ++at;
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
  if (verdict.budget.rfind("max-growth-", 0) == 0 && verdict.kind != Verdict::Kind::kUnchecked) {
    return line + value + ", grew " + vhost::Printable(verdict.reason) + ", " +
           (verdict.kind == Verdict::Kind::kOver ? "over " : "within ") + limit + rule;
  }
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

// Whether row F counted triangles: the Triangle box was ticked.
bool TrianglesInF(const ModelResult& result) {
  for (std::size_t i = 0; i < std::size(kCheckBoxes); ++i) {
    if (std::strcmp(kCheckBoxes[i], "Triangle") == 0) return result.options[i];
  }
  return true;
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
