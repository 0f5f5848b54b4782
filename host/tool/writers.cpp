#include "host/tool/writers.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

#include "host/models/models.h"
#include "host/tool/github_writer.h"
#include "host/tool/html_writer.h"
#include "host/tool/markdown_writer.h"
#if defined(VHOST_JUNIT_XML)
#include "host/tool/junit_writer.h"
#endif

namespace vtool {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

}  // namespace

std::string ToText(const ModelResult& report) {
  std::string out = ShownName(report.path) + "\n" + report.picture;
  std::string saturated;
  for (const auto& [group, row] :
       {std::pair{"current", &report.current}, std::pair{"all", &report.all}}) {
    if (!*row) continue;
    for (const std::string& caption : SaturatedRows(**row)) {
      saturated += std::string(saturated.empty() ? "" : ", ") + group + " " + caption;
    }
  }
  if (!saturated.empty()) {
    out += "saturated: " + saturated + " (the plug-in counts no further than " +
           Number(kSaturated) + ")\n";
  }
  if (report.baseline) {
    // The all-objects counts beside the baseline's: "baseline: V 15 -> 19 (+4), ..."
    if (!report.baseline->found) {
      out += "baseline: new (not in the baseline report)\n";
    } else if (!report.baseline->all || !report.all || !report.error.empty()) {
      out += "baseline: not compared (not counted in both)\n";
    } else {
      std::string line;
      for (const CountField& field : kCountFields) {
        const int64_t then = (*report.baseline->all).*field.member;
        const int64_t now = (*report.all).*field.member;
        if (!line.empty()) line += ", ";
        line += std::string(field.caption) + " " + Number(then) + " -> " + Number(now) + " (" +
                (now >= then ? "+" : "") + Number(now - then) + ")";
      }
      out += "baseline: " + line + "\n";
    }
  }
  if (report.objects) {
    char cell[32];
    out += "object";
    for (const CountField& field : kCountFields) {
      std::snprintf(cell, sizeof cell, " %10s", field.caption);
      out += cell;
    }
    out += "  name\n";
    for (const ObjectRow& row : *report.objects) {
      std::snprintf(cell, sizeof cell, "%6d", row.index);
      out += cell;
      for (const CountField& field : kCountFields) {
        std::snprintf(cell, sizeof cell, " %10lld",
                      static_cast<long long>(row.counts.*field.member));
        out += cell;
      }
      out += "  " + vhost::Printable(row.name) + (row.visible ? "" : " (hidden)");
      std::string marks;
      for (const std::string& caption : SaturatedRows(row.counts)) marks += " " + caption;
      if (!marks.empty()) out += "  [saturated:" + marks + "]";
      out += "\n";
    }
  }
  return out;
}

std::string ToText(const Identity& identity) {
  std::string out = "plug-in       " + vhost::Printable(identity.path) + "\n";
  char line[160];
  std::snprintf(line, sizeof line,
                "version       host 0x%" PRIX32 " -> plug-in interface 0x%" PRIX32 "\n",
                identity.hostVersion, identity.interfaceVersion);
  out += line;
  out += "identity      product " + Hex(identity.product) + ", plug-in " + Hex(identity.id) +
         ", type " + std::to_string(identity.type) + (identity.type == 6 ? " (station)" : "") +
         "\n";
  out += "name          \"" + vhost::Printable(identity.name) + "\"\n";
  for (const std::string& text : identity.menuStrings) {
    out += "menu          \"" + vhost::Printable(text) + "\"\n";
  }
  return out;
}

void TextWriter::Begin(const std::optional<Identity>& identity) {
  if (identity) std::fputs(ToText(*identity).c_str(), out_);
}

// A model that was not counted has nothing to show: its error is said on stderr.
void TextWriter::Model(const ModelResult& result) {
  if (result.error.empty()) std::fputs(ToText(result).c_str(), out_);
}

void TextWriter::End(const RunSummary& summary) {
  // The models gone since the baseline: each counted model says it is new.
  if (!summary.baselineFile || summary.removed.empty()) return;
  std::fprintf(out_, "gone since the baseline (%s):\n",
               vhost::Printable(*summary.baselineFile).c_str());
  for (const std::string& path : summary.removed) {
    std::fprintf(out_, "  %s\n", ShownName(path).c_str());
  }
}

void JsonWriter::Begin(const std::optional<Identity>& identity) { identity_ = identity; }

void JsonWriter::Model(const ModelResult& result) { report_.Add(result); }

void JsonWriter::End(const RunSummary& summary) {
  RunSummary withIdentity = summary;
  if (!withIdentity.identity) withIdentity.identity = identity_;
  std::fprintf(out_, "%s\n", report_.Text(withIdentity).c_str());
}

void JsonLinesWriter::Model(const ModelResult& result) {
  tally_.Add(result);
  std::fprintf(out_, "%s\n", ToJsonLine(result).c_str());
  std::fflush(out_);
}

void JsonLinesWriter::End(const RunSummary& summary) {
  std::fprintf(out_, "%s\n", SummaryJsonLine(tally_, summary).c_str());
}

std::vector<std::unique_ptr<Writer>> WritersFor(bool json, std::FILE* out, bool jsonLines) {
  std::vector<std::unique_ptr<Writer>> writers;
  if (jsonLines) {
    writers.push_back(std::make_unique<JsonLinesWriter>(out));
  } else if (json) {
    writers.push_back(std::make_unique<JsonWriter>(out));
  } else {
    writers.push_back(std::make_unique<TextWriter>(out));
  }
  return writers;
}

bool CanWriteJunit() {
#if defined(VHOST_JUNIT_XML)
  return true;
#else
  return false;
#endif
}

std::vector<std::unique_ptr<Writer>> WritersFor(
    const Options& options, std::FILE* out,
    const std::function<void(const std::string&)>& errLine) {
  std::vector<std::unique_ptr<Writer>> writers;
#if defined(VHOST_JUNIT_XML)
  if (options.junit) writers.push_back(std::make_unique<JunitWriter>(*options.junit));
#endif
  if (options.markdown || options.stepSummary) {
    writers.push_back(std::make_unique<MarkdownWriter>(options.markdown, options.stepSummary));
  }
  if (options.html) writers.push_back(std::make_unique<HtmlWriter>(*options.html));
  if (options.github) writers.push_back(std::make_unique<GithubWriter>(errLine));
  for (auto& writer : WritersFor(options.json, out, options.jsonLines)) {
    writers.push_back(std::move(writer));
  }
  return writers;
}

}  // namespace vtool
