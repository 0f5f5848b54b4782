// Model files written by a test into a directory of its own, removed after it,
// and the checks every failed load must pass.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/models/models.h"
#include "tests/support/shapes.h"

namespace testing_support {

class ModelFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    directory_ = std::filesystem::path(::testing::TempDir()) /
                 (std::string("vhost_models_") + test->name() + "_" + std::to_string(stamp));
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (directory_ / name).string(); }

  // How ExpectLoadError loads: as a user's file is, by the reader its
  // extension names; a suite about one reader may go to it directly.
  virtual void LoadInto(const std::string& path, vhost::Document& document) const {
    vhost::LoadModel(path, document);
  }

  // Writes `content` as it is (no line-end translation) and returns the file's path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path path = directory_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Expects loading `path` to fail at `line` of `file` (by default `path`) with a
  // message holding `message`, and the document (which holds one quad
  // beforehand) to be just as it was. With `lineInMessage` the message names
  // the line itself and what() shows no place but the file.
  void ExpectLoadError(const std::string& path, int64_t line, const std::string& message,
                       std::string file = {}, bool lineInMessage = false) const {
    if (file.empty()) file = path;
    vhost::Document document;
    vhost::Object& before = testing_support::Quad(document.AddObject("before"));
    try {
      LoadInto(path, document);
      ADD_FAILURE() << path << " loaded; expected an error at line " << line << ": " << message;
    } catch (const vhost::ModelError& error) {
      // Messages show the file's control characters escaped: one line whatever its name.
      std::string shown;
      for (const char c : file) {
        const auto byte = static_cast<unsigned char>(c);
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", byte);
        shown += byte < 0x20 || byte == 0x7f ? std::string(escape) : std::string(1, c);
      }
      const std::string where =
          line > 0 && !lineInMessage ? shown + ":" + std::to_string(line) + ":" : shown + ":";
      EXPECT_EQ(error.file(), file);
      EXPECT_EQ(error.line(), line) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind(where, 0), 0u) << error.what();
      EXPECT_NE(error.message().find(message), std::string::npos) << error.what();
      EXPECT_TRUE(Printable(error.what())) << error.what();
    }
    ASSERT_EQ(document.SlotCount(), 1);
    EXPECT_EQ(document.At(0), &before);
    EXPECT_EQ(testing_support::Count(before).quads, 1);
    EXPECT_EQ(document.currentIndex, 0);
  }

  // Whether `text` is one line without control characters, as every message must be.
  static bool Printable(const std::string& text) {
    for (const char c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    }
    return true;
  }

  std::filesystem::path directory_;
};

}  // namespace testing_support
