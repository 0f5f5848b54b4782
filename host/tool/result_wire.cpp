#include "host/tool/result_wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace vtool {
namespace {

using vhost::proc::FrameReader;
using vhost::proc::FrameWriter;

// Bounds on what a receiver accepts, far past anything a real model has: a
// broken sender must not make the run allocate without limit.
constexpr uint64_t kMostLines = uint64_t{1} << 20;
constexpr uint64_t kMostRows = uint64_t{1} << 27;

// One writer and one reader per shape, so that the two sides cannot drift:
// each field below is listed once, in Fields(), for both directions.
struct Out {
  FrameWriter& out;
  void operator()(const std::string& text) { out.String(text); }
  void operator()(bool value) { out.Value<uint8_t>(value ? 1 : 0); }
  template <typename T, std::enable_if_t<std::is_arithmetic_v<T> || std::is_enum_v<T>, int> = 0>
  void operator()(T value) {
    out.Value(value);
  }
  template <typename T>
  void operator()(const std::optional<T>& value) {
    (*this)(value.has_value());
    if (value) (*this)(*value);
  }
  template <typename T>
  void operator()(const std::vector<T>& values) {
    out.Value<uint64_t>(values.size());
    for (const T& value : values) (*this)(value);
  }
  void operator()(const Counts& counts);
  void operator()(const ObjectRow& row);
  void operator()(const Verdict& verdict);
};

struct In {
  FrameReader& in;
  bool ok = true;
  void operator()(std::string& text) { ok = ok && in.String(text); }
  void operator()(bool& value) {
    uint8_t byte = 0;
    ok = ok && in.Value(byte) && byte <= 1;
    value = byte == 1;
  }
  template <typename T, std::enable_if_t<std::is_arithmetic_v<T> || std::is_enum_v<T>, int> = 0>
  void operator()(T& value) {
    ok = ok && in.Value(value);
  }
  template <typename T>
  void operator()(std::optional<T>& value) {
    bool has = false;
    (*this)(has);
    if (!ok || !has) {
      value.reset();
      return;
    }
    (*this)(value.emplace());
  }
  template <typename T>
  void operator()(std::vector<T>& values) {
    uint64_t size = 0;
    ok = ok && in.Value(size) && size <= (std::is_same_v<T, ObjectRow> ? kMostRows : kMostLines);
    values.clear();
    for (uint64_t i = 0; ok && i < size; ++i) (*this)(values.emplace_back());
  }
  void operator()(Counts& counts);
  void operator()(ObjectRow& row);
  void operator()(Verdict& verdict);
};

template <typename C, typename Visit>
void CountsFields(C& counts, Visit& visit) {
  for (const CountField& field : kCountFields) visit(counts.*field.member);
}

template <typename R, typename Visit>
void RowFields(R& row, Visit& visit) {
  visit(row.index);
  visit(row.name);
  visit(row.visible);
  visit(row.counts);
}

template <typename V, typename Visit>
void VerdictFields(V& v, Visit& visit) {
  visit(v.budget);
  visit(v.metric);
  visit(v.object);
  visit(v.limit);
  visit(v.value);
  visit(v.atLeast);
  visit(v.kind);
  visit(v.warn);
  visit(v.rule);
  visit(v.reason);
  visit(v.waiver);
}

template <typename M, typename Visit>
void ResultFields(M& m, Visit& visit) {
  visit(m.path);
  visit(m.error);
  visit(m.errorKind);
  visit(m.diagnostics);
  visit(m.slots);
  visit(m.currentObject);
  for (auto& option : m.options) visit(option);
  visit(m.current);
  visit(m.all);
  visit(m.picture);
  visit(m.objects);
  visit(m.verdicts);
}

void Out::operator()(const Counts& counts) { CountsFields(counts, *this); }
void Out::operator()(const ObjectRow& row) { RowFields(row, *this); }
void Out::operator()(const Verdict& verdict) { VerdictFields(verdict, *this); }
void In::operator()(Counts& counts) { CountsFields(counts, *this); }
void In::operator()(ObjectRow& row) { RowFields(row, *this); }
void In::operator()(Verdict& verdict) { VerdictFields(verdict, *this); }

// Enums travel as their values; a value past the last is a broken message.
bool InRange(const ModelResult& result) {
  if (result.errorKind &&
      static_cast<int>(*result.errorKind) > static_cast<int>(vhost::ModelError::Kind::kTimedOut)) {
    return false;
  }
  for (const Verdict& verdict : result.verdicts) {
    if (static_cast<int>(verdict.kind) > static_cast<int>(Verdict::Kind::kWaived) ||
        static_cast<int>(verdict.metric) > static_cast<int>(Metric::kVertices)) {
      return false;
    }
  }
  return true;
}

}  // namespace

void SendResult(FrameWriter& out, const ModelResult& result) {
  Out visit{out};
  ResultFields(result, visit);
}

bool ReceiveResult(FrameReader& in, ModelResult& result) {
  In visit{in};
  ResultFields(result, visit);
  return visit.ok && InRange(result);
}

}  // namespace vtool
