// The widget kinds a plug-in window is built from: windows, frames, group boxes,
// check boxes, labels, edit fields, and the canvas handed to paint handlers.
//
// Each kind fixes the kind name it creates and offers typed accessors, each one
// MQWidget_Value call with one property key. A window owns every wrapper its
// Create… operations make and deletes them, children first, before itself;
// whoever else keeps such a pointer only borrows it.
//
// Threading: the host's UI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "protocol/mq_types.h"
#include "widgets/widget_base.h"
#include "widgets/widget_events.h"

class MQFrame;
class MQGroupBox;
class MQCheckBox;
class MQLabel;
class MQEdit;

class MQWindowBase : public MQWidgetBase {
 public:
  // Adopts an existing window (the host's main window) without owning it.
  explicit MQWindowBase(int32_t existing) : MQWidgetBase(AdoptID{existing}) {}
  // Deletes the owned wrappers in set order (each unregisters and deletes its
  // host widget), then the window itself goes.
  ~MQWindowBase() override;

  // Each makes a wrapper that this window owns, sets its one property, puts it
  // into `parent` when that is not null, and answers it (borrowed).
  MQFrame* CreateHorizontalFrame(MQWidgetBase* parent);  // "alignment" "horz"
  MQFrame* CreateVerticalFrame(MQWidgetBase* parent);    // "alignment" "vert"
  MQGroupBox* CreateGroupBox(MQWidgetBase* parent, const std::u16string& text);
  MQCheckBox* CreateCheckBox(MQWidgetBase* parent, const std::u16string& text);
  MQLabel* CreateLabel(MQWidgetBase* parent, const std::u16string& text);
  MQEdit* CreateEdit(MQWidgetBase* parent, const std::u16string& text);

  void SetTitle(const std::u16string& text);
  void SetHorzLayout(const char* layout);
  void SetVertLayout(const char* layout);
  int32_t GetPosX() const;  // 0 when the host does not answer
  void SetPosX(int32_t x);
  int32_t GetPosY() const;
  void SetPosY(int32_t y);

 protected:
  explicit MQWindowBase(CreateKind kind) : MQWidgetBase(kind) {}

  std::set<MQWidgetBase*> ownedWidgets;  // owned

 private:
  // Enters a new wrapper into ownedWidgets; should that fail, the wrapper and its
  // host widget are deleted before the exception leaves.
  template <class T>
  T* Own(std::unique_ptr<T> widget);
  // The one shape of every Create… operation: make a T (its host widget too),
  // own it, let `configure` set its one property, then put it into `parent`
  // when that is not null. Answers the wrapper, borrowed from this window.
  template <class T, class Configure>
  T* CreateOwned(MQWidgetBase* parent, Configure&& configure);
};

// A top-level window of the plug-in's own.
class MQWindow : public MQWindowBase {
 public:
  // Creates a window and attaches it to `parent` (AddChildWindow, also when the
  // host gave no ID). The new window owns its host window.
  explicit MQWindow(MQWindowBase& parent);
  // The same for a parent of this class, which would otherwise meet the deleted
  // copy constructor first.
  explicit MQWindow(MQWindow& parent) : MQWindow(static_cast<MQWindowBase&>(parent)) {}

 private:
  friend MQWindow GetMainWindow();
  explicit MQWindow(int32_t existing) : MQWindowBase(existing) {}
};

// Wraps the host's main window (ID -1 when the host does not answer). The
// wrapper never deletes the main window; discarding it unregisters the ID.
MQWindow GetMainWindow();

class MQFrameBase : public MQWidgetBase {
 public:
  void SetAlignment(const char* alignment);  // "horz" or "vert"
  void SetMultiColumn(bool multi);
  void SetMatrixColumn(int32_t columns);

 protected:
  explicit MQFrameBase(CreateKind kind) : MQWidgetBase(kind) {}
};

class MQFrame : public MQFrameBase {
 public:
  MQFrame() : MQFrameBase(CreateKind{"frame"}) {}
};

class MQGroupBox : public MQFrameBase {
 public:
  MQGroupBox() : MQFrameBase(CreateKind{"groupbox"}) {}
  void SetText(const std::u16string& text);
  void SetCanMinimize(bool can);
  bool GetMinimized() const;  // false when the host does not answer
  void SetMinimized(bool minimized);
};

class MQCheckBox : public MQWidgetBase {
 public:
  MQCheckBox() : MQWidgetBase(CreateKind{"checkbox"}) {}
  void SetText(const std::u16string& text);
  bool GetChecked() const;  // false when the host does not answer
  void SetChecked(bool checked);
};

class MQLabel : public MQWidgetBase {
 public:
  MQLabel() : MQWidgetBase(CreateKind{"label"}) {}
  void SetText(const std::u16string& text);
};

class MQEdit : public MQWidgetBase {
 public:
  MQEdit() : MQWidgetBase(CreateKind{"edit"}) {}
  void SetText(const std::u16string& text);
  void SetReadOnly(bool readOnly);
  void SetAlignment(const char* alignment);  // "right"
};

// The host's canvas for one "paint" event; not a widget. Made by the event
// routing around the host's handle and destroyed when the handler returns; it
// releases nothing on the host.
class MQCanvas {
 public:
  explicit MQCanvas(MQCanvasHandle handle) noexcept;
  MQCanvas(const MQCanvas&) = delete;
  MQCanvas& operator=(const MQCanvas&) = delete;
  virtual ~MQCanvas();

  MQCanvasHandle GetHandle() const noexcept { return handle; }

  // How many canvases exist right now (0 outside paint handlers).
  static int LiveCount() noexcept;

 private:
  MQCanvasHandle handle;
};
