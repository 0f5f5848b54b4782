// VeltraneWindow: the counter's tool window, and the display of its numbers.
//
// Built by the plug-in object at initialisation under the host's main window and
// deleted at exit; it owns every widget it creates (through MQWindowBase) and
// keeps no option state of its own: each check box writes straight into the
// plug-in object, which recounts. Runs on the host's UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "widgets/widget_kinds.h"

class Veltrane;

class VeltraneWindow : public MQWindow {
 public:
  // Builds the whole widget tree and binds the handlers; sets no position,
  // size or visibility. `plugin` must outlive the window.
  VeltraneWindow(Veltrane& plugin, MQWindowBase& parent);

  // Shows the plug-in's options as they are now: the six check boxes, the group
  // "all" and the kind rows. For options that changed without the user, such as
  // a repeated start re-reading the settings; raises no recount.
  void ShowOptions();

  // The six counts of the current object / of all counted objects, in the order
  // vertices, total, 2-, 3-, 4-, 5+-point faces; every field is written.
  void SetCurrentCounts(int32_t vertices, int32_t faces, int32_t lines, int32_t triangles,
                        int32_t quads, int32_t ngons);
  void SetAllCounts(int32_t vertices, int32_t faces, int32_t lines, int32_t triangles,
                    int32_t quads, int32_t ngons);

  // Event handlers, bound to the widgets; each answers false to the host.
  bool OnUpdateChecked(MQWidgetBase* sender, MQDocument doc);
  bool OnAllChecked(MQWidgetBase* sender, MQDocument doc);
  bool OnVisibleChecked(MQWidgetBase* sender, MQDocument doc);
  bool OnFreezeChecked(MQWidgetBase* sender, MQDocument doc);
  bool OnTriangleChecked(MQWidgetBase* sender, MQDocument doc);
  bool OnPolygonChecked(MQWidgetBase* sender, MQDocument doc);
  bool OnAllGroupResize(MQWidgetBase* sender, MQDocument doc);
  bool OnWindowHide(MQWidgetBase* sender, MQDocument doc);

 private:
  // One group's rows: "V" and "F" in a two-column frame, then rows "2" to "5" in
  // a second one, shown while `polygon` is on. Stores the six edits through the
  // references and answers the second frame; the window owns all of them.
  MQFrame* CreateCountRows(MQGroupBox* group, MQEdit*& vertex, MQEdit*& face, MQEdit*& line,
                           MQEdit*& tri, MQEdit*& quad, MQEdit*& ngon);
  // A label and a read-only, right-aligned number field beside it.
  MQEdit* CreateRow(MQFrame* frame, const char16_t* caption);
  // Two children per row, in creation order.
  MQFrame* CreateTwoColumnFrame(MQWidgetBase* parent);
  void FitHeight();

  // Not owned: the plug-in object and, through ownedWidgets, the widgets below.
  Veltrane* plugin;
  MQEdit* curVertexEdit = nullptr;
  MQEdit* curFaceEdit = nullptr;
  MQEdit* curLineEdit = nullptr;
  MQEdit* curTriEdit = nullptr;
  MQEdit* curQuadEdit = nullptr;
  MQEdit* curNgonEdit = nullptr;
  MQEdit* allVertexEdit = nullptr;
  MQEdit* allFaceEdit = nullptr;
  MQEdit* allLineEdit = nullptr;
  MQEdit* allTriEdit = nullptr;
  MQEdit* allQuadEdit = nullptr;
  MQEdit* allNgonEdit = nullptr;
  MQCheckBox* visibleCheck = nullptr;
  MQCheckBox* allCheck = nullptr;
  MQCheckBox* updateCheck = nullptr;
  MQCheckBox* freezeCheck = nullptr;
  MQCheckBox* triangleCheck = nullptr;
  MQCheckBox* polygonCheck = nullptr;
  MQGroupBox* allGroup = nullptr;
  MQFrame* curKindFrame = nullptr;
  MQFrame* allKindFrame = nullptr;
};

// A count as the window shows it: plain decimal digits, a leading "-" for
// negatives, no grouping or padding, whatever the user's locale.
std::u16string FormatCount(int32_t value);
