// Playing the user: the actions a toolkit turns into events, raised to the
// plug-in's registrations. The handlers may change the tree under these calls, so
// nothing here holds a widget across a handler call.
#include "host/core/named_args.h"
#include "host/toolkit/widget_tree.h"

namespace vhost {

WidgetTree::Results WidgetTree::Raise(int32_t target, int32_t sender, const std::string& type,
                                      MQDocument doc,
                                      const std::vector<std::pair<std::string, int32_t>>& ints,
                                      MQCanvasHandle canvas) {
  Results results;
  const Widget* widget = Find(target);
  if (widget == nullptr) return results;
  // A snapshot: the handlers may create, change or delete widgets meanwhile.
  std::vector<WidgetEventRegistration> receivers;
  for (bool prior : {true, false}) {
    for (const WidgetEventRegistration& r : widget->events) {
      if (r.type == type && r.prior == prior) receivers.push_back(r);
    }
  }
  // A copy: `type` may live in the tree, which the handlers can change.
  const std::string name = type;  // NOLINT(performance-unnecessary-copy-initialization)
  NamedArgs args;
  args.Int("target_id", target).Int("sender_id", sender).Text("type", name.c_str());
  for (const auto& entry : ints) args.Int(entry.first, entry.second);
  if (canvas != nullptr || name == "paint") args.Value("canvas", canvas);
  for (const WidgetEventRegistration& r : receivers) {
    if (!IsAlive(target)) break;  // a handler deleted the widget: no more events for it
    results.push_back(options.callHandler ? options.callHandler(r, doc, args.data())
                                          : r.proc(doc, args.data(), r.pointer));
  }
  return results;
}

WidgetTree::Results WidgetTree::ClickCheckBox(int32_t id, MQDocument doc) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || widget->kind != "checkbox") return {};
  widget->properties["checked"] = !Bool(id, "checked");
  return Raise(id, id, "execute", doc);
}

WidgetTree::Results WidgetTree::ToggleMinimized(int32_t id, MQDocument doc) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || widget->kind != "groupbox" || !Bool(id, "canminimize")) return {};
  widget->properties["minimized"] = !Bool(id, "minimized");
  return Raise(id, id, "resize", doc);
}

WidgetTree::Results WidgetTree::CloseWindow(int32_t id, MQDocument doc) {
  Widget* widget = Lookup(id);
  if (widget == nullptr || widget->kind != "window" || !Bool(id, "visible")) return {};
  widget->properties["visible"] = false;
  return Raise(id, id, "hide", doc);
}

WidgetTree::Results WidgetTree::Resize(int32_t id, MQDocument doc) {
  return Raise(id, id, "resize", doc);
}

WidgetTree::Results WidgetTree::Mouse(int32_t id, const std::string& type, const MouseInput& input,
                                      MQDocument doc) {
  return Raise(id, id, type, doc,
               {{"client_x", input.clientX},
                {"client_y", input.clientY},
                {"screen_x", input.screenX},
                {"screen_y", input.screenY},
                {"down_x", input.downX},
                {"down_y", input.downY},
                {"last_x", input.lastX},
                {"last_y", input.lastY},
                {"wheel_delta", input.wheelDelta},
                {"button_state", input.buttonState}});
}

WidgetTree::Results WidgetTree::Key(int32_t id, const std::string& type, const KeyInput& input,
                                    MQDocument doc) {
  return Raise(
      id, id, type, doc,
      {{"key", input.key}, {"auto_repeat", input.autoRepeat}, {"button_state", input.buttonState}});
}

WidgetTree::Results WidgetTree::Paint(int32_t id, MQCanvasHandle canvas, MQDocument doc) {
  return Raise(id, id, "paint", doc, {}, canvas);
}

}  // namespace vhost
