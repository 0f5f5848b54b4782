// The tool's verdicts and writers on counts no small model reaches: saturated
// ones, which the plug-in stops at 2147483647 and which are never exact.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/models/models.h"
#include "host/tool/budgets.h"
#include "host/tool/github_writer.h"
#include "host/tool/html_writer.h"
#include "host/tool/markdown_writer.h"
#include "host/tool/report_text.h"
#include "host/tool/result.h"
#include "host/tool/writers.h"

namespace {

using vtool::Counts;
using vtool::kSaturated;
using vtool::ModelResult;
using vtool::Verdict;

ModelResult Counted(const Counts& all, const Counts& current) {
  ModelResult report;
  report.path = "big.json";
  report.slots = 2;
  report.currentObject = 0;
  report.options = {true, true, true, false, true, true};
  report.all = all;
  report.current = current;
  report.picture = "(window)\n";
  return report;
}

TEST(SaturatedCounts, AreNamedInTheTextAndTheJson) {
  const ModelResult report = Counted({5, kSaturated, 0, kSaturated, 0, 0}, {5, 7, 0, 7, 0, 0});
  EXPECT_EQ(vtool::ToText(report),
            "big.json\n(window)\nsaturated: all F, all 3 (the plug-in counts no further than "
            "2147483647)\n");
  const auto doc = nlohmann::json::parse(vtool::ToJson({report}, {}));
  EXPECT_EQ(doc["models"][0]["saturated"], nlohmann::json({"all.total", "all.triangles"}));
  EXPECT_EQ(doc["models"][0]["all"]["total"], kSaturated);
}

TEST(SaturatedCounts, FailEveryBudgetOnThem) {
  // Under the saturated value: over for sure, exit 1.
  ModelResult report = Counted({5, kSaturated, 0, kSaturated, 0, 0}, {5, 7, 0, 7, 0, 0});
  vtool::Budgets budgets;
  budgets.triangles = 2000000000;
  EXPECT_EQ(vtool::CheckBudgets(report, budgets, {}), 1);
  ASSERT_EQ(report.verdicts.size(), 1u);
  EXPECT_EQ(vtool::VerdictLine(report, report.verdicts[0]),
            "big.json: at least 2147483647 triangles, over the budget of 2000000000");
  // At or past it: a saturated count says nothing about the limit, exit 2.
  report = Counted({5, kSaturated, 0, kSaturated, 0, 0}, {5, 7, 0, 7, 0, 0});
  budgets.triangles = 2200000000;
  EXPECT_EQ(vtool::CheckBudgets(report, budgets, {}), 2);
  EXPECT_EQ(report.verdicts[0].kind, Verdict::Kind::kUnchecked);
  EXPECT_NE(vtool::VerdictLine(report, report.verdicts[0]).find("saturated"), std::string::npos);
  // Faces are the sum of rows 2 to 5, past 32 bits, and a lower bound once one saturates.
  report = Counted({5, 0, kSaturated, kSaturated, 0, 0}, {5, 7, 0, 7, 0, 0});
  vtool::Budgets faces;
  faces.faces = 4294967293;
  EXPECT_EQ(vtool::CheckBudgets(report, faces, {}), 1);
  EXPECT_EQ(report.verdicts[0].value, 4294967294);
  EXPECT_TRUE(report.verdicts[0].atLeast);
}

TEST(SaturatedCounts, InObjectRows) {
  ModelResult report = Counted({5, 9, 0, 9, 0, 0}, {5, 9, 0, 9, 0, 0});
  report.objects = std::vector<vtool::ObjectRow>{{0, "small", true, {3, 1, 0, 1, 0, 0}},
                                                 {1, "huge", false, {kSaturated, 1, 0, 1, 0, 0}}};
  vtool::Budgets perObject;
  perObject.vertices = 65535;
  EXPECT_EQ(vtool::CheckBudgets(report, {}, perObject), 1);
  ASSERT_EQ(report.verdicts.size(), 1u);  // within ones need no word
  EXPECT_EQ(vtool::VerdictLine(report, report.verdicts[0]),
            "big.json: object huge: at least 2147483647 vertices, over the budget of 65535");
  EXPECT_NE(vtool::ToText(report).find("huge (hidden)  [saturated: V]"), std::string::npos)
      << vtool::ToText(report);
}

TEST(Json, ReplacesWhatIsNotUtf8AndEscapesControls) {
  ModelResult report;
  report.path = "caf\xe9\n.obj";
  report.error = vhost::Printable(report.path) + ": cannot open: \xff";
  const std::string text = vtool::ToJson({report}, {2, "", std::nullopt, {}, {}, {}, {}, {}});
  const auto doc = nlohmann::json::parse(text);
  EXPECT_EQ(doc["models"][0]["file"], "caf\xef\xbf\xbd\n.obj");
  EXPECT_EQ(doc["models"][0]["error"], "caf\xef\xbf\xbd\\u000a.obj: cannot open: \xef\xbf\xbd");
  EXPECT_EQ(doc["schema"], "veltrane-host/1");
}

// The report is laid out from each model's text as it arrived: the layout
// must be the one the JSON library gives the whole document, byte for byte,
// with no model, with one, and with several of every shape (objects, an error
// with a line break and bytes that are not UTF-8, a baseline).
TEST(Json, ReportMadeModelByModelIsLaidOutAsAWholeDocument) {
  ModelResult rows = Counted({5, 9, 0, 9, 0, 0}, {5, 9, 0, 9, 0, 0});
  rows.objects = std::vector<vtool::ObjectRow>{{0, "a\nb", true, {3, 1, 0, 1, 0, 0}}};
  rows.baseline = ModelResult::Before{false, std::nullopt};
  ModelResult failed;
  failed.path = "bad\xff.obj";
  failed.error = "bad\xff.obj:3: \"f\" needs\n3 points";
  vtool::RunSummary withBaseline{1, "", std::nullopt, {}, {}, {}, {}, {}};
  withBaseline.baselineFile = "old.json";
  withBaseline.removed = {"gone.obj"};
  const struct {
    std::vector<ModelResult> models;
    vtool::RunSummary summary;
  } cases[] = {
      {{}, {}},
      {{Counted({5, 7, 0, 7, 0, 0}, {5, 7, 0, 7, 0, 0})}, {}},
      {{rows, failed, Counted({1, 2, 0, 2, 0, 0}, {1, 2, 0, 2, 0, 0})}, withBaseline},
  };
  for (const auto& c : cases) {
    const std::string text = vtool::ToJson(c.models, c.summary);
    EXPECT_EQ(text, nlohmann::ordered_json::parse(text).dump(2)) << text;
    EXPECT_EQ(nlohmann::json::parse(text)["models"].size(), c.models.size());
  }
}

// What each CI format would read as its own syntax, escaped; what is not
// UTF-8 replaced as the JSON replaces it.
TEST(CiReports, EscapeEachFormatsOwnSyntax) {
  const struct {
    std::string text, message, property, cell, utf8, html;
  } cases[] = {
      {"plain.obj", "plain.obj", "plain.obj", "plain.obj", "plain.obj", "plain.obj"},
      {"a,b:c.obj", "a,b:c.obj", "a%2Cb%3Ac.obj", "a,b:c.obj", "a,b:c.obj", "a,b:c.obj"},
      // Rendered as \\u000d: the backslash of the written control is escaped too.
      // Written \u000d, whose backslash Markdown needs escaped in turn.
      {"100%\r\n", "100%25%0D%0A", "100%25%0D%0A", "100%\\\\u000d\\\\u000a", "100%\r\n",
       "100%\\u000d\\u000a"},
      {"x|y", "x|y", "x|y", "x\\|y", "x|y", "x|y"},
      {"*a* _b_ `c` [d](e) <f> &g; $h$ ~i~ \\", "*a* _b_ `c` [d](e) <f> &g; $h$ ~i~ \\",
       "*a* _b_ `c` [d](e) <f> &g; $h$ ~i~ \\",
       "\\*a\\* \\_b\\_ \\`c\\` \\[d\\](e) \\<f\\> \\&g; \\$h\\$ \\~i\\~ \\\\",
       "*a* _b_ `c` [d](e) <f> &g; $h$ ~i~ \\", "*a* _b_ `c` [d](e) &lt;f&gt; &amp;g; $h$ ~i~ \\"},
      // What would end an attribute or open an element in a page.
      {"<script>\"x\" 'y'</script>", "<script>\"x\" 'y'</script>", "<script>\"x\" 'y'</script>",
       "\\<script\\>\"x\" 'y'\\</script\\>", "<script>\"x\" 'y'</script>",
       "&lt;script&gt;&quot;x&quot; &#39;y&#39;&lt;/script&gt;"},
      // A lone byte, a cut sequence, an overlong form, a surrogate; then valid ones.
      {"\xff \xc3 \xc0\xaf \xed\xa0\x80 \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
       "\xef\xbf\xbd \xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd "
       "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
       "", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(vtool::GithubMessage(c.text), c.message);
    if (c.property.empty()) {
      EXPECT_EQ(vtool::ValidUtf8(c.text), c.message);
      EXPECT_EQ(vtool::HtmlText(c.text), c.message);
      continue;
    }
    EXPECT_EQ(vtool::GithubProperty(c.text), c.property);
    EXPECT_EQ(vtool::MarkdownCell(c.text), c.cell);
    EXPECT_EQ(vtool::ValidUtf8(c.text), c.utf8);
    EXPECT_EQ(vtool::HtmlText(c.text), c.html);
  }
}

// Where a model sits, as JUnit's classname and name say it.
TEST(CiReports, AModelsPlaceIsItsFolderAndFileName) {
  const struct {
    const char* path;
    const char* folder;
    const char* file;
  } cases[] = {{"model.obj", ".", "model.obj"},
               {"art/props/crate.obj", "art/props", "crate.obj"},
               {"/crate.obj", "/", "crate.obj"},
               {"-", ".", "<stdin>"},
               {"a\nb/c\td.obj", "a\\u000ab", "c\\u0009d.obj"}};
  for (const auto& c : cases) {
    const vtool::ModelPlace place = vtool::PlaceOf(c.path);
    EXPECT_EQ(place.folder, c.folder) << c.path;
    EXPECT_EQ(place.file, c.file) << c.path;
  }
}

// The page holds each model once with its one verdict, worst first, draws a
// budget's maximum and warning level across its bar, and says a file it could
// not write as the run's failure, naming it.
TEST(HtmlReport, HoldsEveryModelWithItsVerdictAndBudgets) {
  const auto verdict = [](const char* budget, Verdict::Kind kind, int64_t limit, bool warn) {
    Verdict v;
    v.budget = budget;
    v.metric = vtool::Metric::kTriangles;
    v.limit = limit;
    v.value = 12;
    v.kind = kind;
    v.warn = warn;
    return v;
  };
  const Counts counts{20, 12, 0, 12, 0, 0};
  std::vector<ModelResult> models(5, Counted(counts, counts));
  models[0].path = "art/over.obj";
  models[0].verdicts = {verdict("warn-triangles", Verdict::Kind::kWarned, 10, true),
                        verdict("max-triangles", Verdict::Kind::kOver, 11, false)};
  models[1].path = "art/warned.glb";
  models[1].verdicts = {verdict("warn-triangles", Verdict::Kind::kWarned, 10, true),
                        verdict("max-triangles", Verdict::Kind::kWithin, 12, false)};
  models[2].path = "props/broken <b>.ply";
  models[2].all.reset();
  models[2].error = "props/broken <b>.ply: line 3: not a number";
  models[3].path = "props/plain.stl";
  models[4].path = "props/new.obj";
  models[4].baseline = ModelResult::Before{};
  vtool::HtmlWriter writer("/nonexistent-folder/report.html");
  writer.Begin(std::nullopt);
  for (const ModelResult& model : models) writer.Model(model);
  vtool::RunSummary summary;
  summary.exitStatus = 2;
  summary.baselineFile = "before.json";
  summary.removed = {"props/gone.obj"};
  const std::string page = writer.Page(summary);
  const struct {
    const char* path;
    const char* verdict;
  } rows[] = {{"art/over.obj", "over"},
              {"art/warned.glb", "warned"},
              {"props/broken &lt;b&gt;.ply", "not counted"},
              {"props/plain.stl", "no budget"},
              {"props/new.obj", "no budget"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    const std::string cell = "</button> " + std::string(row.path) + "</span>";
    const std::size_t at = page.find(cell);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(page.find(cell, at + 1), std::string::npos);
    const std::size_t body = page.rfind("<div class=\"model ", at);
    EXPECT_NE(page.find("data-verdict=\"" + std::string(row.verdict) + "\"", body),
              std::string::npos);
    EXPECT_LT(page.find("data-verdict=", body), at);
  }
  EXPECT_EQ(page.find("<b>"), std::string::npos) << "a file's name is text, never markup";
  EXPECT_NE(page.find("line 3: not a number"), std::string::npos);
  EXPECT_NE(page.find("<li>props/gone.obj</li>"), std::string::npos);
  EXPECT_NE(page.find(">new</span>"), std::string::npos);
  // over.obj's bar: 12 of a scale of 12 (180 + 440 pixels), its maximum at 11 and its warning
  // at 10.
  EXPECT_NE(page.find("<line class=\"warn\" x1=\"" + std::to_string(180 + 440 * 10 / 12)),
            std::string::npos);
  EXPECT_NE(page.find("<line class=\"max\" x1=\"" + std::to_string(180 + 440 * 11 / 12)),
            std::string::npos);
  EXPECT_NE(page.find("Exit status 2"), std::string::npos);

  writer.End(summary);
  EXPECT_NE(writer.Failure().find("HTML report: "), std::string::npos);
  EXPECT_NE(writer.Failure().find("/nonexistent-folder/report.html"), std::string::npos);
}

}  // namespace
