// The shipped plug-in loaded into a fresh stand-in host for each test, with a
// document of known shapes. Everything happens through the plug-in's entry
// points and widget callbacks, as in a modelling host.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/api/host_state.h"
#include "host/probe/veltrane_session.h"
#include "tests/support/golden.h"
#include "tests/support/plugin_under_test.h"
#include "tests/support/shapes.h"

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vhost::State().Reset();
    session = std::make_unique<vhost::VeltraneSession>(testing_support::PluginUnderTest());
    doc = &vhost::State().documents.Open();
  }
  void TearDown() override {
    session.reset();  // unloads the plug-in
    vhost::State().Reset();
  }

  // Start, show the window, and turn counting on: the usual working state.
  void StartCounting() {
    ASSERT_EQ(session->Start(), 1);
    ASSERT_EQ(session->Activate(doc, true), 1);
    session->SetTicked("Update", true, doc);
  }

  // cube (current, 8 V, 6 quads), a triangle, and a hidden quad.
  void TypicalDocument() {
    testing_support::Cube(doc->AddObject("cube"));
    vhost::Object& tri = doc->AddObject("triangle");
    testing_support::AddVertices(tri, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    tri.AddFace({0, 1, 2});
    testing_support::Quad(doc->AddObject("hidden")).visible = false;
    doc->currentIndex = 0;
  }

  std::string Field(const std::string& group, const std::string& row) const {
    return session->Field(group, row);
  }
  // The six fields of a group, "V F 2 3 4 5".
  std::string Fields(const std::string& group) const {
    std::string out;
    for (const char* row : {"V", "F", "2", "3", "4", "5"}) {
      out += (*row == 'V' ? "" : " ") + session->Field(group, row);
    }
    return out;
  }

  // Number fields written since the trace was last cleared.
  int TextWrites() const {
    int writes = 0;
    for (const auto& call : vhost::State().widgets.TraceOf(vhost::WidgetOpCode::SetValue)) {
      writes += call.Arg("text") != nullptr ? 1 : 0;
    }
    return writes;
  }

  // Compares the window's picture with a checked-in golden file.
  void ExpectPicture(const std::string& name) const {
    testing_support::ExpectGolden(std::string(VELTRANE_GOLDEN_DIR) + "/" + name + ".txt",
                                  session->Picture());
  }

  std::unique_ptr<vhost::VeltraneSession> session;
  vhost::Document* doc = nullptr;
};
