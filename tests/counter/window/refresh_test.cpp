// The refresh over the current object and all objects, as the window shows it.
#include "tests/counter/window/window_fixture.h"

namespace {

using Refresh = WindowTest;

TEST_F(Refresh, NothingIsCountedUntilActiveWithUpdateOn) {
  TypicalDocument();
  ASSERT_EQ(session->Start(), 1);
  session->DocumentOpened(*doc, "typical.mqo");
  EXPECT_EQ(Field("current", "V"), "");  // inactive
  session->Activate(doc, true);
  session->DocumentOpened(*doc, "typical.mqo");
  EXPECT_EQ(Field("current", "V"), "");  // "Update" off
  session->Click("Update", doc);
  EXPECT_EQ(Field("current", "V"), "8");
}

TEST_F(Refresh, DocumentEventsRecount) {
  TypicalDocument();
  StartCounting();
  for (int32_t code : {200, 210, 211, 220, 221, 101}) {
    doc->currentIndex = doc->currentIndex == 0 ? 1 : 0;
    const std::string expected = doc->currentIndex == 0 ? "8" : "3";
    vhost::State().widgets.ClearTrace();
    if (code == 200) {
      session->DocumentOpened(*doc, "x");
    } else if (code == 101) {
      EXPECT_EQ(session->IsActivated(doc), 1);
    } else {
      const BOOL answer = session->DocumentEvent(*doc, code);
      EXPECT_EQ(answer, code == 210 || code == 211 ? 0 : 1) << code;
    }
    EXPECT_EQ(Field("current", "V"), expected) << code;
    EXPECT_EQ(TextWrites(), 6) << code;  // one recount: the current column, once
  }
  // Events that do not recount: the column keeps the old object's numbers and
  // no field is written, although the current object changed.
  doc->currentIndex = doc->currentIndex == 0 ? 1 : 0;
  const std::string before = Field("current", "V");
  vhost::State().widgets.ClearTrace();
  for (int32_t code : {201, 202, 102, 212, 222, 230, 231, 240}) {
    session->DocumentEvent(*doc, code);
    EXPECT_EQ(Field("current", "V"), before) << code;
  }
  EXPECT_EQ(TextWrites(), 0);
}

TEST_F(Refresh, AllOffWritesTheCurrentColumnOnly) {
  TypicalDocument();
  StartCounting();
  vhost::State().widgets.ClearTrace();
  session->DocumentEvent(*doc, 220);
  EXPECT_EQ(TextWrites(), 6);
  EXPECT_EQ(Fields("all"), "     ");
}

TEST_F(Refresh, AllSumsBeforeTheCurrentColumn) {
  TypicalDocument();
  StartCounting();
  session->Click("All", doc);
  vhost::State().widgets.ClearTrace();
  session->DocumentEvent(*doc, 220);
  const auto writes = vhost::State().widgets.TraceOf(vhost::WidgetOpCode::SetValue);
  ASSERT_EQ(writes.size(), 12u);
  // The first six fields written belong to the group "all".
  const vhost::Widget* allGroup = vhost::State().widgets.Find(session->GroupBox("all"));
  const auto inAll = [&](int32_t edit) {
    for (int32_t frame : allGroup->children) {
      for (int32_t child : vhost::State().widgets.Find(frame)->children) {
        if (child == edit) return true;
      }
    }
    return false;
  };
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(inAll(writes[i].widget), i < 6) << i;
}

TEST_F(Refresh, HiddenCurrentObjectHasItsColumnButNoShareOfTheSums) {
  TypicalDocument();
  doc->currentIndex = 2;  // the hidden quad
  StartCounting();
  session->Click("All", doc);
  EXPECT_EQ(Fields("current"), "4 2 0 0 1 0");
  EXPECT_EQ(Fields("all"), "11 13 0 1 6 0");  // cube and triangle
}

TEST_F(Refresh, VisibleOffSumsHiddenObjects) {
  TypicalDocument();
  StartCounting();
  session->Click("All", doc);
  session->Click("Visible", doc);
  EXPECT_EQ(Fields("all"), "15 15 0 1 7 0");
}

TEST_F(Refresh, MissingCurrentObjectShowsZeros) {
  TypicalDocument();
  doc->RemoveObject(0);  // an empty slot, and the current index points at it
  StartCounting();
  EXPECT_EQ(Fields("current"), "0 0 0 0 0 0");
  session->Click("All", doc);
  EXPECT_EQ(Fields("current"), "0 0 0 0 0 0");
  EXPECT_EQ(Fields("all"), "3 1 0 1 0 0");
  doc->currentIndex = 99;
  session->DocumentEvent(*doc, 220);
  EXPECT_EQ(Fields("current"), "0 0 0 0 0 0");
}

TEST_F(Refresh, EmptyDocumentShowsZerosInBothColumns) {
  StartCounting();
  session->Click("All", doc);
  EXPECT_EQ(Fields("current"), "0 0 0 0 0 0");
  EXPECT_EQ(Fields("all"), "0 0 0 0 0 0");
}

TEST_F(Refresh, EachObjectIsCountedOncePerRefresh) {
  // With freeze on, every count of a modified object makes exactly one copy.
  for (int i = 0; i < 3; ++i) testing_support::Quad(doc->AddObject("half")).mirror = {1, 1, 0};
  doc->currentIndex = 1;
  StartCounting();
  session->Click("Freeze", doc);
  session->Click("All", doc);
  const int32_t before = vhost::State().documents.clonesMade;
  session->DocumentEvent(*doc, 220);
  EXPECT_EQ(vhost::State().documents.clonesMade - before, 3);
  EXPECT_EQ(Fields("all"), "24 12 0 0 6 0");
  EXPECT_EQ(Fields("current"), "8 4 0 0 2 0");
}

TEST_F(Refresh, GoldenPicturesOfDocuments) {
  TypicalDocument();
  StartCounting();
  session->Click("All", doc);
  ExpectPicture("typical_all");

  vhost::Object& lathe = testing_support::Profile(
      doc->AddObject("vase"), {{0, 0, 0}, {1, 0, 0}, {1.5, 1, 0}, {1, 2, 0}, {0, 2, 0}});
  lathe.lathe = {1, 1, 16};
  doc->currentIndex = 3;
  session->Click("Freeze", doc);
  ExpectPicture("lathe_frozen");
}

}  // namespace
