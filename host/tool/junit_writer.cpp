#include "host/tool/junit_writer.h"

#include <pugixml.hpp>
#include <string>
#include <utility>

#include "host/tool/budgets.h"
#include "host/tool/report_file.h"
#include "host/tool/report_text.h"

namespace vtool {
namespace {

constexpr const char* kSuite = "veltrane-host";

// Text XML 1.0 can carry: valid UTF-8, and of the control characters only tab,
// line feed and carriage return (pugixml would write the others as character
// references no XML parser accepts). The others are written \u0001, as the
// tool's messages write them.
std::string XmlText(const std::string& text) {
  std::string out;
  const std::string utf8 = ValidUtf8(text);
  out.reserve(utf8.size());
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

void Attribute(pugi::xml_node node, const char* name, const std::string& value) {
  node.append_attribute(name).set_value(XmlText(value).c_str());
}

void Problem(pugi::xml_node testcase, const char* element, const std::string& type,
             const std::string& message, const std::string& text) {
  pugi::xml_node problem = testcase.append_child(element);
  Attribute(problem, "type", type);
  Attribute(problem, "message", message);
  problem.append_child(pugi::node_pcdata).set_value(XmlText(text).c_str());
}

struct StringSink final : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

JunitWriter::JunitWriter(std::string path)
    : path_(std::move(path)), document_(std::make_unique<pugi::xml_document>()) {
  pugi::xml_node declaration = document_->append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  document_->append_child("testsuite").append_attribute("name").set_value(kSuite);
}

JunitWriter::~JunitWriter() = default;

void JunitWriter::Begin(const std::optional<Identity>& /*identity*/) {}

void JunitWriter::Model(const ModelResult& result) {
  pugi::xml_node testcase = document_->child("testsuite").append_child("testcase");
  const ModelPlace place = PlaceOf(result.path);
  Attribute(testcase, "classname", place.folder);
  Attribute(testcase, "name", place.file);
  ++tests_;
  bool failed = false;
  bool errored = false;
  if (!result.error.empty()) {
    Problem(testcase, "error", "not counted", result.error, result.error);
    errored = true;
  }
  std::string out;
  for (const Verdict& verdict : result.verdicts) {
    const std::string message = VerdictMessage(result, verdict);
    switch (verdict.kind) {
      case Verdict::Kind::kOver:
        Problem(testcase, "failure", verdict.budget, message, VerdictLine(result, verdict));
        failed = true;
        break;
      case Verdict::Kind::kUnchecked:
        Problem(testcase, "error", verdict.budget, message, VerdictLine(result, verdict));
        errored = true;
        break;
      case Verdict::Kind::kWarned:
      case Verdict::Kind::kWaived:
        out += VerdictLine(result, verdict) + "\n";
        break;
      case Verdict::Kind::kWithin:
        break;
    }
  }
  if (!out.empty()) {
    testcase.append_child("system-out")
        .append_child(pugi::node_pcdata)
        .set_value(XmlText(out).c_str());
  }
  if (errored) {
    ++errors_;
  } else if (failed) {
    ++failures_;
  }
}

std::string JunitWriter::Text(const RunSummary& summary) {
  pugi::xml_node suite = document_->child("testsuite");
  if (!summary.error.empty() && !suite.find_child_by_attribute("testcase", "name", "(run)")) {
    pugi::xml_node testcase = suite.append_child("testcase");
    Attribute(testcase, "classname", kSuite);
    Attribute(testcase, "name", "(run)");
    Problem(testcase, "error", "run", summary.error, summary.error);
    ++tests_;
    ++errors_;
  }
  for (const auto& [name, value] :
       {std::pair{"tests", tests_}, {"failures", failures_}, {"errors", errors_}, {"skipped", 0}}) {
    pugi::xml_attribute attribute = suite.attribute(name);
    if (!attribute) attribute = suite.append_attribute(name);
    attribute.set_value(value);
  }
  StringSink sink;
  document_->save(sink, "  ", pugi::format_default, pugi::encoding_utf8);
  return sink.text;
}

void JunitWriter::End(const RunSummary& summary) {
  failure_ = ReplaceWhole(path_, Text(summary));
  if (!failure_.empty()) failure_ = "JUnit report: " + failure_;
}

}  // namespace vtool
