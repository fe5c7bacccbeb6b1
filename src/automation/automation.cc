#include "automation/automation.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

namespace qvod::automation {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

std::mutex g_registry_mutex;
std::map<std::string, Factory>& Registry() {
  static std::map<std::string, Factory> registry;
  return registry;
}

thread_local int t_init_depth = 0;

}  // namespace

bool Variant::ToText(std::string& out) const {
  if (const auto* text = std::get_if<std::string>(&value_)) {
    out = *text;
    return true;
  }
  if (std::holds_alternative<std::monostate>(value_)) {
    out.clear();
    return true;
  }
  if (const auto* b = std::get_if<bool>(&value_)) {
    out = *b ? "True" : "False";
    return true;
  }
  if (const auto* i = std::get_if<std::int32_t>(&value_)) {
    out = std::to_string(*i);
    return true;
  }
  if (const auto* d = std::get_if<double>(&value_)) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), *d);
    if (ec != std::errc()) {
      return false;
    }
    out.assign(buf, end);
    return true;
  }
  return false;
}

bool Variant::ToNumber(double& out) const {
  if (const auto* d = std::get_if<double>(&value_)) {
    out = *d;
    return true;
  }
  if (const auto* i = std::get_if<std::int32_t>(&value_)) {
    out = *i;
    return true;
  }
  if (const auto* b = std::get_if<bool>(&value_)) {
    out = *b ? -1 : 0;
    return true;
  }
  if (const auto* text = std::get_if<std::string>(&value_)) {
    // from_chars also takes "inf" and "nan", which are not decimal numbers.
    if (text->empty() || text->find_first_not_of("0123456789+-.eE") != std::string::npos) {
      return false;
    }
    double d = 0;
    const char* first = text->data();
    const char* last = first + text->size();
    const auto [end, ec] = std::from_chars(first, last, d);
    if (ec != std::errc() || end != last) {
      return false;
    }
    out = d;
    return true;
  }
  return false;
}

bool Variant::ToBool(bool& out) const {
  if (const auto* b = std::get_if<bool>(&value_)) {
    out = *b;
    return true;
  }
  double d = 0;
  if ((std::holds_alternative<std::int32_t>(value_) || std::holds_alternative<double>(value_)) &&
      ToNumber(d)) {
    out = d != 0;
    return true;
  }
  return false;
}

bool Variant::ToObject(ObjectRef& out) const {
  if (const auto* o = std::get_if<ObjectRef>(&value_); o != nullptr && *o != nullptr) {
    out = *o;
    return true;
  }
  return false;
}

bool Variant::ToBytes(std::string& out) const {
  if (const auto* b = std::get_if<Bytes>(&value_)) {
    out = b->data;
    return true;
  }
  return false;
}

bool MemberIs(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') {
      x = static_cast<char>(x - 'A' + 'a');
    }
    if (y >= 'A' && y <= 'Z') {
      y = static_cast<char>(y - 'A' + 'a');
    }
    if (x != y) {
      return false;
    }
  }
  return true;
}

void RegisterProgId(std::string prog_id, Factory factory) {
  std::lock_guard lock(g_registry_mutex);
  Registry()[Lower(prog_id)] = std::move(factory);
}

void UnregisterProgId(std::string_view prog_id) {
  std::lock_guard lock(g_registry_mutex);
  Registry().erase(Lower(prog_id));
}

ObjectRef CreateObject(std::string_view prog_id) {
  Factory factory;
  {
    std::lock_guard lock(g_registry_mutex);
    const auto it = Registry().find(Lower(prog_id));
    if (it == Registry().end()) {
      return nullptr;
    }
    factory = it->second;
  }
  return factory ? factory() : nullptr;
}

void InitializeThread() { ++t_init_depth; }

void UninitializeThread() {
  if (t_init_depth > 0) {
    --t_init_depth;
  }
}

bool ObjectSlot::Create(std::string_view prog_id) {
  ObjectRef object = CreateObject(prog_id);
  if (!object) {
    return false;
  }
  object_ = std::move(object);
  return true;
}

Variant ObjectSlot::Invoke(std::string_view member, CallKind kind,
                           std::initializer_list<Variant> args) const {
  Variant result;
  if (object_ &&
      !object_->Invoke(member, kind, std::span<const Variant>(args.begin(), args.size()), result)) {
    return Variant();
  }
  return result;
}

namespace {

// The results below are the call's own, so a text or an object is moved out
// of them rather than copied.
std::string AsText(Variant&& v) {
  if (auto* text = std::get_if<std::string>(&v.value())) {
    return std::move(*text);
  }
  std::string out;
  return v.ToText(out) ? out : std::string();
}

double AsNumber(const Variant& v) {
  double out = 0;
  return v.ToNumber(out) ? out : 0;
}

ObjectSlot AsObject(Variant&& v) {
  if (auto* object = std::get_if<ObjectRef>(&v.value())) {
    return ObjectSlot(std::move(*object));
  }
  return ObjectSlot();
}

}  // namespace

std::string ObjectSlot::CallText(std::string_view member,
                                 std::initializer_list<Variant> args) const {
  return AsText(Invoke(member, CallKind::kMethod, args));
}

double ObjectSlot::CallNumber(std::string_view member, std::initializer_list<Variant> args) const {
  return AsNumber(Invoke(member, CallKind::kMethod, args));
}

ObjectSlot ObjectSlot::CallObject(std::string_view member,
                                  std::initializer_list<Variant> args) const {
  return AsObject(Invoke(member, CallKind::kMethod, args));
}

void ObjectSlot::Call(std::string_view member, std::initializer_list<Variant> args) const {
  Invoke(member, CallKind::kMethod, args);
}

std::string ObjectSlot::GetText(std::string_view member,
                                std::initializer_list<Variant> args) const {
  return AsText(Invoke(member, CallKind::kGet, args));
}

double ObjectSlot::GetNumber(std::string_view member, std::initializer_list<Variant> args) const {
  return AsNumber(Invoke(member, CallKind::kGet, args));
}

bool ObjectSlot::GetBool(std::string_view member, std::initializer_list<Variant> args) const {
  bool out = false;
  return Invoke(member, CallKind::kGet, args).ToBool(out) && out;
}

ObjectSlot ObjectSlot::GetObject(std::string_view member,
                                 std::initializer_list<Variant> args) const {
  return AsObject(Invoke(member, CallKind::kGet, args));
}

std::string ObjectSlot::GetBytes(std::string_view member,
                                 std::initializer_list<Variant> args) const {
  Variant result = Invoke(member, CallKind::kGet, args);
  if (auto* bytes = std::get_if<Bytes>(&result.value())) {
    return std::move(bytes->data);  // the result is ours: no copy of a large body
  }
  return std::string();
}

bool ObjectSlot::Put(std::string_view member, Variant value) const {
  if (!object_) {
    return false;
  }
  Variant ignored;
  const Variant args[] = {std::move(value)};
  return object_->Invoke(member, CallKind::kPut, args, ignored);
}

}  // namespace qvod::automation
