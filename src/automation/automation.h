// Automation objects: components made by ProgID through a registry and called
// by member name with a small variant type. Every failure is silent and gives
// the empty result of the type asked for.
//
// Texts passed to and from members are GBK byte strings, the program's ANSI
// text; a component that needs Unicode converts them with the code page
// conversion of platform/codepage.h, as the platform converts at its boundary.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace qvod::automation {

class Object;
using ObjectRef = std::shared_ptr<Object>;

// A byte array, as "responseBody" gives it.
struct Bytes {
  std::string data;
};

// One argument or result.
class Variant {
 public:
  using Value =
      std::variant<std::monostate, bool, std::int32_t, double, std::string, ObjectRef, Bytes>;

  Variant() = default;
  Variant(bool b) : value_(b) {}                          // NOLINT(google-explicit-constructor)
  Variant(std::int32_t i) : value_(i) {}                  // NOLINT(google-explicit-constructor)
  Variant(double d) : value_(d) {}                        // NOLINT(google-explicit-constructor)
  Variant(std::string text) : value_(std::move(text)) {}  // NOLINT(google-explicit-constructor)
  Variant(std::string_view text) : value_(std::string(text)) {}                    // NOLINT
  Variant(const char* text) : value_(std::string(text != nullptr ? text : "")) {}  // NOLINT
  Variant(ObjectRef object) : value_(std::move(object)) {}                         // NOLINT
  Variant(Bytes bytes) : value_(std::move(bytes)) {}                               // NOLINT

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  const Value& value() const { return value_; }
  Value& value() { return value_; }

  // Conversions used for results and by components for their arguments. Each
  // returns false (and leaves out unchanged) when the value does not convert.
  // Text: a text; a number in its shortest decimal form; a boolean as "True"/"False"; empty as "".
  bool ToText(std::string& out) const;
  // Number: a number or boolean (true is -1); a text that is wholly a decimal number.
  bool ToNumber(double& out) const;
  // Boolean: a boolean, or a number (non-zero is true).
  bool ToBool(bool& out) const;
  // Object: an object that is not null.
  bool ToObject(ObjectRef& out) const;
  // Bytes: a byte array.
  bool ToBytes(std::string& out) const;

 private:
  Value value_;
};

enum class CallKind { kMethod, kGet, kPut };

// A component. Member names compare without regard to ASCII case.
class Object {
 public:
  virtual ~Object() = default;

  // Carries out member with args. For kPut, args holds the value (and any
  // index before it). Returns false when the member is unknown, the arguments
  // do not fit or the call fails; result is then left empty.
  virtual bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
                      Variant& result) = 0;
};

// Returns true when a and b are equal without regard to ASCII case.
bool MemberIs(std::string_view a, std::string_view b);

using Factory = std::function<ObjectRef()>;

// Makes prog_id create objects with factory, replacing any earlier factory.
void RegisterProgId(std::string prog_id, Factory factory);

// Removes prog_id; later creations by it fail.
void UnregisterProgId(std::string_view prog_id);

// Returns a new object of prog_id (compared without regard to case), or null.
ObjectRef CreateObject(std::string_view prog_id);

// The per-thread set-up pair. Every thread that uses automation objects calls
// the first at its start and the second at its end. Nothing fails.
void InitializeThread();
void UninitializeThread();

// Holds one object or nothing. Copying shares the object.
class ObjectSlot {
 public:
  ObjectSlot() = default;
  explicit ObjectSlot(ObjectRef object) : object_(std::move(object)) {}

  // Makes a new object of prog_id. On success releases the previous object,
  // stores the new one and returns true; on failure the slot is unchanged.
  bool Create(std::string_view prog_id);
  // Releases the object; clearing an empty slot does nothing.
  void Clear() { object_.reset(); }
  bool IsEmpty() const { return object_ == nullptr; }
  // Returns a slot that shares the object.
  ObjectSlot Copy() const { return *this; }
  const ObjectRef& Get() const { return object_; }

  // Calls a method or reads a property, and returns the result in the type
  // asked for, or its empty value (empty text, 0, empty slot, no bytes).
  std::string CallText(std::string_view member, std::initializer_list<Variant> args = {}) const;
  double CallNumber(std::string_view member, std::initializer_list<Variant> args = {}) const;
  ObjectSlot CallObject(std::string_view member, std::initializer_list<Variant> args = {}) const;
  void Call(std::string_view member, std::initializer_list<Variant> args = {}) const;

  std::string GetText(std::string_view member, std::initializer_list<Variant> args = {}) const;
  double GetNumber(std::string_view member, std::initializer_list<Variant> args = {}) const;
  bool GetBool(std::string_view member, std::initializer_list<Variant> args = {}) const;
  ObjectSlot GetObject(std::string_view member, std::initializer_list<Variant> args = {}) const;
  std::string GetBytes(std::string_view member, std::initializer_list<Variant> args = {}) const;

  // Writes a property. Returns true when the write took effect.
  bool Put(std::string_view member, Variant value) const;

 private:
  Variant Invoke(std::string_view member, CallKind kind, std::initializer_list<Variant> args) const;

  ObjectRef object_;
};

}  // namespace qvod::automation
