#include "counter/veltrane_window.h"

#include <charconv>

#include "counter/veltrane.h"

namespace {

// Binds `method` to the check box's "execute", then shows the option's state.
// The binding comes first, as the window is built.
void BindOption(MQCheckBox* check, VeltraneWindow* window,
                bool (VeltraneWindow::*method)(MQWidgetBase*, MQDocument), bool state) {
  check->AddExecuteEvent(window, method);
  check->SetChecked(state);
}

// Writes one group's six fields, in row order (V, F, 2, 3, 4, 5); the fields are
// borrowed from the window that owns them.
void ShowCounts(MQEdit* const (&edits)[6], const int32_t (&counts)[6]) {
  for (int row = 0; row < 6; ++row) edits[row]->SetText(FormatCount(counts[row]));
}

}  // namespace

std::u16string FormatCount(int32_t value) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  return std::u16string(digits, result.ptr);  // ASCII digits and '-' widen unchanged
}

VeltraneWindow::VeltraneWindow(Veltrane& plugin_, MQWindowBase& parent)
    : MQWindow(parent), plugin(&plugin_) {
  SetTitle(u"Veltrane");
  SetHorzLayout("auto");
  SetVertLayout("auto");

  MQFrame* options = CreateTwoColumnFrame(this);
  updateCheck = CreateCheckBox(options, u"Update");
  BindOption(updateCheck, this, &VeltraneWindow::OnUpdateChecked, plugin->update);
  allCheck = CreateCheckBox(options, u"All");
  BindOption(allCheck, this, &VeltraneWindow::OnAllChecked, plugin->all);
  visibleCheck = CreateCheckBox(options, u"Visible");
  BindOption(visibleCheck, this, &VeltraneWindow::OnVisibleChecked, plugin->visible);
  freezeCheck = CreateCheckBox(options, u"Freeze");
  BindOption(freezeCheck, this, &VeltraneWindow::OnFreezeChecked, plugin->freeze);
  triangleCheck = CreateCheckBox(options, u"Triangle");
  BindOption(triangleCheck, this, &VeltraneWindow::OnTriangleChecked, plugin->triangle);
  polygonCheck = CreateCheckBox(options, u"Polygon");
  BindOption(polygonCheck, this, &VeltraneWindow::OnPolygonChecked, plugin->polygon);

  MQFrame* groups = CreateVerticalFrame(this);

  MQGroupBox* current = CreateGroupBox(groups, u"current");
  curKindFrame = CreateCountRows(current, curVertexEdit, curFaceEdit, curLineEdit, curTriEdit,
                                 curQuadEdit, curNgonEdit);

  allGroup = CreateGroupBox(groups, u"all");
  allGroup->SetCanMinimize(true);
  allGroup->SetMinimized(!plugin->all);
  allGroup->AddResizeEvent(this, &VeltraneWindow::OnAllGroupResize);
  allKindFrame = CreateCountRows(allGroup, allVertexEdit, allFaceEdit, allLineEdit, allTriEdit,
                                 allQuadEdit, allNgonEdit);

  AddHideEvent(this, &VeltraneWindow::OnWindowHide);
}

MQFrame* VeltraneWindow::CreateTwoColumnFrame(MQWidgetBase* parent) {
  MQFrame* frame = CreateHorizontalFrame(parent);
  frame->SetMultiColumn(true);
  frame->SetMatrixColumn(2);
  return frame;
}

MQFrame* VeltraneWindow::CreateCountRows(MQGroupBox* group, MQEdit*& vertex, MQEdit*& face,
                                         MQEdit*& line, MQEdit*& tri, MQEdit*& quad,
                                         MQEdit*& ngon) {
  MQFrame* totals = CreateTwoColumnFrame(group);
  vertex = CreateRow(totals, u"V");
  face = CreateRow(totals, u"F");
  MQFrame* kinds = CreateTwoColumnFrame(group);
  kinds->SetVisible(plugin->polygon);
  line = CreateRow(kinds, u"2");
  tri = CreateRow(kinds, u"3");
  quad = CreateRow(kinds, u"4");
  ngon = CreateRow(kinds, u"5");
  return kinds;
}

MQEdit* VeltraneWindow::CreateRow(MQFrame* frame, const char16_t* caption) {
  CreateLabel(frame, caption);
  MQEdit* edit = CreateEdit(frame, u"");
  edit->SetReadOnly(true);
  edit->SetAlignment("right");
  return edit;
}

void VeltraneWindow::ShowOptions() {
  updateCheck->SetChecked(plugin->update);
  allCheck->SetChecked(plugin->all);
  visibleCheck->SetChecked(plugin->visible);
  freezeCheck->SetChecked(plugin->freeze);
  triangleCheck->SetChecked(plugin->triangle);
  polygonCheck->SetChecked(plugin->polygon);
  // After "All": the resize this may raise then finds the two in step.
  allGroup->SetMinimized(!plugin->all);
  curKindFrame->SetVisible(plugin->polygon);
  allKindFrame->SetVisible(plugin->polygon);
  FitHeight();
}

// --- Numbers -----------------------------------------------------------------------

void VeltraneWindow::SetCurrentCounts(int32_t vertices, int32_t faces, int32_t lines,
                                      int32_t triangles, int32_t quads, int32_t ngons) {
  ShowCounts({curVertexEdit, curFaceEdit, curLineEdit, curTriEdit, curQuadEdit, curNgonEdit},
             {vertices, faces, lines, triangles, quads, ngons});
}

void VeltraneWindow::SetAllCounts(int32_t vertices, int32_t faces, int32_t lines, int32_t triangles,
                                  int32_t quads, int32_t ngons) {
  ShowCounts({allVertexEdit, allFaceEdit, allLineEdit, allTriEdit, allQuadEdit, allNgonEdit},
             {vertices, faces, lines, triangles, quads, ngons});
}

// --- Handlers ----------------------------------------------------------------------

bool VeltraneWindow::OnUpdateChecked(MQWidgetBase* /*sender*/, MQDocument doc) {
  plugin->update = updateCheck->GetChecked();
  plugin->UpdateCounts(doc);
  return false;
}

bool VeltraneWindow::OnAllChecked(MQWidgetBase* /*sender*/, MQDocument doc) {
  const bool minimized = allGroup->GetMinimized();
  const bool checked = allCheck->GetChecked();
  // The group shows exactly when "All" is ticked.
  if (minimized == checked) allGroup->SetMinimized(!checked);
  plugin->all = checked;
  plugin->UpdateCounts(doc);
  return false;
}

bool VeltraneWindow::OnVisibleChecked(MQWidgetBase* /*sender*/, MQDocument doc) {
  plugin->visible = visibleCheck->GetChecked();
  plugin->UpdateCounts(doc);
  return false;
}

bool VeltraneWindow::OnFreezeChecked(MQWidgetBase* /*sender*/, MQDocument doc) {
  plugin->freeze = freezeCheck->GetChecked();
  plugin->UpdateCounts(doc);
  return false;
}

bool VeltraneWindow::OnTriangleChecked(MQWidgetBase* /*sender*/, MQDocument doc) {
  plugin->triangle = triangleCheck->GetChecked();
  plugin->UpdateCounts(doc);
  return false;
}

bool VeltraneWindow::OnPolygonChecked(MQWidgetBase* /*sender*/, MQDocument /*doc*/) {
  // Only rows are shown or hidden: the six counts are always computed.
  plugin->polygon = polygonCheck->GetChecked();
  curKindFrame->SetVisible(plugin->polygon);
  allKindFrame->SetVisible(plugin->polygon);
  FitHeight();
  return false;
}

bool VeltraneWindow::OnAllGroupResize(MQWidgetBase* sender, MQDocument doc) {
  // The user minimised or restored the group: "All" follows it.
  const bool minimized = allGroup->GetMinimized();
  const bool checked = allCheck->GetChecked();
  if (minimized == checked) {
    allCheck->SetChecked(!checked);
    OnAllChecked(sender, doc);
  }
  FitHeight();
  return false;
}

bool VeltraneWindow::OnWindowHide(MQWidgetBase* /*sender*/, MQDocument /*doc*/) {
  // The user closed the window. When the plug-in hides it itself, it clears
  // `activated` first, and the host hears nothing.
  if (plugin->activated) {
    plugin->activated = false;
    plugin->NotifyWindowClosed();
  }
  return false;
}

void VeltraneWindow::FitHeight() { SetHeight(GetJustSize().height); }
