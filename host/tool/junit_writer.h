// The run as JUnit XML, the test report most CI systems show: one testsuite
// "veltrane-host", a testcase per model (classname its folder, name its file
// name), a failure per budget it is over, an error for a model not counted or a
// budget not checked, warnings and waivers as system-out lines. A run that
// failed itself (settings not saved, say) adds a testcase "(run)" with its
// error, so that the report never looks green while the run is not.
//
// The file is written once, whole, at End (the counts head the document), and
// replaces the old one in a rename; Failure() says why it could not be.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/tool/writers.h"

namespace pugi {
class xml_document;
}

namespace vtool {

class JunitWriter final : public Writer {
 public:
  explicit JunitWriter(std::string path);
  ~JunitWriter() override;
  JunitWriter(const JunitWriter&) = delete;
  JunitWriter& operator=(const JunitWriter&) = delete;

  void Begin(const std::optional<Identity>& identity) override;
  void Model(const ModelResult& result) override;
  void End(const RunSummary& summary) override;
  std::string Failure() const override { return failure_; }

  // The document as End writes it, for a test to read without a file.
  std::string Text(const RunSummary& summary);

 private:
  std::string path_;
  // Testcases are added as models come, so that a run over many models holds
  // their verdicts and not their whole results.
  std::unique_ptr<pugi::xml_document> document_;
  int tests_ = 0;
  int failures_ = 0;  // testcases with a failure and no error
  int errors_ = 0;    // testcases with an error
  std::string failure_;
};

}  // namespace vtool
