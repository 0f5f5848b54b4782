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
  MQFrame* curTotals = CreateTwoColumnFrame(current);
  curVertexEdit = CreateRow(curTotals, u"V");
  curFaceEdit = CreateRow(curTotals, u"F");
  curKindFrame = CreateTwoColumnFrame(current);
  curKindFrame->SetVisible(plugin->polygon);
  curLineEdit = CreateRow(curKindFrame, u"2");
  curTriEdit = CreateRow(curKindFrame, u"3");
  curQuadEdit = CreateRow(curKindFrame, u"4");
  curNgonEdit = CreateRow(curKindFrame, u"5");

  allGroup = CreateGroupBox(groups, u"all");
  allGroup->SetCanMinimize(true);
  allGroup->SetMinimized(!plugin->all);
  allGroup->AddResizeEvent(this, &VeltraneWindow::OnAllGroupResize);
  MQFrame* allTotals = CreateTwoColumnFrame(allGroup);
  allVertexEdit = CreateRow(allTotals, u"V");
  allFaceEdit = CreateRow(allTotals, u"F");
  allKindFrame = CreateTwoColumnFrame(allGroup);
  allKindFrame->SetVisible(plugin->polygon);
  allLineEdit = CreateRow(allKindFrame, u"2");
  allTriEdit = CreateRow(allKindFrame, u"3");
  allQuadEdit = CreateRow(allKindFrame, u"4");
  allNgonEdit = CreateRow(allKindFrame, u"5");

  AddHideEvent(this, &VeltraneWindow::OnWindowHide);
}

MQFrame* VeltraneWindow::CreateTwoColumnFrame(MQWidgetBase* parent) {
  MQFrame* frame = CreateHorizontalFrame(parent);
  frame->SetMultiColumn(true);
  frame->SetMatrixColumn(2);
  return frame;
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
  curVertexEdit->SetText(FormatCount(vertices));
  curFaceEdit->SetText(FormatCount(faces));
  curLineEdit->SetText(FormatCount(lines));
  curTriEdit->SetText(FormatCount(triangles));
  curQuadEdit->SetText(FormatCount(quads));
  curNgonEdit->SetText(FormatCount(ngons));
}

void VeltraneWindow::SetAllCounts(int32_t vertices, int32_t faces, int32_t lines, int32_t triangles,
                                  int32_t quads, int32_t ngons) {
  allVertexEdit->SetText(FormatCount(vertices));
  allFaceEdit->SetText(FormatCount(faces));
  allLineEdit->SetText(FormatCount(lines));
  allTriEdit->SetText(FormatCount(triangles));
  allQuadEdit->SetText(FormatCount(quads));
  allNgonEdit->SetText(FormatCount(ngons));
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
