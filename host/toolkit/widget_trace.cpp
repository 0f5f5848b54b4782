// The tree's record of the calls it received, as tests and failure messages read it.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "host/toolkit/widget_tree.h"

namespace vhost {

std::string WidgetOpName(WidgetOpCode operation) {
  switch (operation) {
    case WidgetOpCode::GetSystem:
      return "GetSystem";
    case WidgetOpCode::Create:
      return "Create";
    case WidgetOpCode::Delete:
      return "Delete";
    case WidgetOpCode::AddChild:
      return "AddChild";
    case WidgetOpCode::AddChildWindow:
      return "AddChildWindow";
    case WidgetOpCode::GetValue:
      return "GetValue";
    case WidgetOpCode::SetValue:
      return "SetValue";
    case WidgetOpCode::AddEvent:
      return "AddEvent";
  }
  char buffer[16] = {};
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(operation));
  return buffer;
}

const std::string* WidgetCall::Arg(const std::string& name) const {
  for (const WidgetCallArg& arg : args) {
    if (arg.name == name) return &arg.value;
  }
  return nullptr;
}

std::string WidgetCall::ToString() const {
  std::string text = WidgetOpName(operation) + " #" + std::to_string(widget);
  for (const WidgetCallArg& arg : args)
    text.append(" ").append(arg.name).append("=").append(arg.value);
  if (!answer.empty()) text += " -> " + answer;
  if (!accepted) text += " (ignored)";
  return text;
}

std::vector<WidgetCall> WidgetTree::TraceOf(WidgetOpCode operation) const {
  std::vector<WidgetCall> calls;
  std::copy_if(trace_.begin(), trace_.end(), std::back_inserter(calls),
               [operation](const WidgetCall& call) { return call.operation == operation; });
  return calls;
}

}  // namespace vhost
