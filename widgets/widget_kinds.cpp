#include "widgets/widget_kinds.h"

#include <memory>
#include <utility>

namespace {

int g_liveCanvases = 0;  // canvases in existence; only ever touched on the UI thread

void* Name(const char* name) { return const_cast<char*>(name); }

}  // namespace

// ---------------------------------------------------------------------------
// Windows

MQWindowBase::~MQWindowBase() {
  // Out of the set before it goes, so the set never holds a freed pointer.
  while (!ownedWidgets.empty()) {
    auto first = ownedWidgets.begin();
    MQWidgetBase* widget = *first;
    ownedWidgets.erase(first);
    delete widget;
  }
}

template <class T>
T* MQWindowBase::Own(std::unique_ptr<T> widget) {
  ownedWidgets.insert(widget.get());
  return widget.release();
}

template <class T, class Configure>
T* MQWindowBase::CreateOwned(MQWidgetBase* parent, Configure&& configure) {
  T* widget = Own(std::make_unique<T>());
  configure(*widget);
  if (parent != nullptr) parent->AddChild(widget);
  return widget;
}

MQFrame* MQWindowBase::CreateHorizontalFrame(MQWidgetBase* parent) {
  return CreateOwned<MQFrame>(parent, [](MQFrame& frame) { frame.SetAlignment("horz"); });
}

MQFrame* MQWindowBase::CreateVerticalFrame(MQWidgetBase* parent) {
  return CreateOwned<MQFrame>(parent, [](MQFrame& frame) { frame.SetAlignment("vert"); });
}

MQGroupBox* MQWindowBase::CreateGroupBox(MQWidgetBase* parent, const std::u16string& text) {
  return CreateOwned<MQGroupBox>(parent, [&text](MQGroupBox& group) { group.SetText(text); });
}

MQCheckBox* MQWindowBase::CreateCheckBox(MQWidgetBase* parent, const std::u16string& text) {
  return CreateOwned<MQCheckBox>(parent, [&text](MQCheckBox& check) { check.SetText(text); });
}

MQLabel* MQWindowBase::CreateLabel(MQWidgetBase* parent, const std::u16string& text) {
  return CreateOwned<MQLabel>(parent, [&text](MQLabel& label) { label.SetText(text); });
}

MQEdit* MQWindowBase::CreateEdit(MQWidgetBase* parent, const std::u16string& text) {
  return CreateOwned<MQEdit>(parent, [&text](MQEdit& edit) { edit.SetText(text); });
}

void MQWindowBase::SetTitle(const std::u16string& text) { SetWideTextValue("title", text.c_str()); }
void MQWindowBase::SetHorzLayout(const char* layout) { SetTextValue("horzlayout", layout); }
void MQWindowBase::SetVertLayout(const char* layout) { SetTextValue("vertlayout", layout); }
int32_t MQWindowBase::GetPosX() const { return GetIntValue("pos_x"); }
void MQWindowBase::SetPosX(int32_t x) { SetIntValue("pos_x", x); }
int32_t MQWindowBase::GetPosY() const { return GetIntValue("pos_y"); }
void MQWindowBase::SetPosY(int32_t y) { SetIntValue("pos_y", y); }

MQWindow::MQWindow(MQWindowBase& parent) : MQWindowBase(CreateKind{"window"}) {
  int32_t child = id;
  int32_t result = -1;  // not used: the host's answer changes nothing here
  void* args[] = {Name("child"), &child, Name("result"), &result, nullptr};
  CallWidget(parent.GetID(), WidgetOp::AddChildWindow, args);
}

MQWindow GetMainWindow() {
  int32_t result = -1;
  void* args[] = {Name("system"), Name("main_window"), Name("result"), &result, nullptr};
  MQWindow::CallWidget(0, WidgetOp::GetSystem, args);
  return MQWindow(result);
}

// ---------------------------------------------------------------------------
// Frames and controls

void MQFrameBase::SetAlignment(const char* alignment) { SetTextValue("alignment", alignment); }
void MQFrameBase::SetMultiColumn(bool multi) { SetBoolValue("multicolumn", multi); }
void MQFrameBase::SetMatrixColumn(int32_t columns) { SetIntValue("matrixcolumn", columns); }

void MQGroupBox::SetText(const std::u16string& text) { SetWideTextValue("text", text.c_str()); }
void MQGroupBox::SetCanMinimize(bool can) { SetBoolValue("canminimize", can); }
bool MQGroupBox::GetMinimized() const { return GetBoolValue("minimized"); }
void MQGroupBox::SetMinimized(bool minimized) { SetBoolValue("minimized", minimized); }

void MQCheckBox::SetText(const std::u16string& text) { SetWideTextValue("text", text.c_str()); }
bool MQCheckBox::GetChecked() const { return GetBoolValue("checked"); }
void MQCheckBox::SetChecked(bool checked) { SetBoolValue("checked", checked); }

void MQLabel::SetText(const std::u16string& text) { SetWideTextValue("text", text.c_str()); }

void MQEdit::SetText(const std::u16string& text) { SetWideTextValue("text", text.c_str()); }
void MQEdit::SetReadOnly(bool readOnly) { SetBoolValue("readonly", readOnly); }
void MQEdit::SetAlignment(const char* alignment) { SetTextValue("alignment", alignment); }

// ---------------------------------------------------------------------------
// Canvas

MQCanvas::MQCanvas(MQCanvasHandle handle_) noexcept : handle(handle_) { ++g_liveCanvases; }
MQCanvas::~MQCanvas() { --g_liveCanvases; }
int MQCanvas::LiveCount() noexcept { return g_liveCanvases; }
