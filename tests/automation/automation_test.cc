#include "automation/automation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

namespace qvod::automation {
namespace {

std::atomic<int> g_alive{0};

// A small component: a property "Value" that holds a text, "Echo" (method or
// property) that returns its argument, "Child" that returns a new object, and
// "Fail" that always fails.
class Probe final : public Object {
 public:
  Probe() { ++g_alive; }
  ~Probe() override { --g_alive; }

  bool Invoke(std::string_view member, CallKind kind, std::span<const Variant> args,
              Variant& result) override {
    if (MemberIs(member, "Value")) {
      if (kind == CallKind::kPut) {
        std::string text;
        if (args.size() != 1 || !args[0].ToText(text)) {
          return false;
        }
        value_ = args[0];
        return true;
      }
      result = value_;
      return true;
    }
    if (MemberIs(member, "Echo") && kind != CallKind::kPut && args.size() == 1) {
      result = args[0];
      return true;
    }
    if (MemberIs(member, "Child") && kind == CallKind::kMethod) {
      result = ObjectRef(std::make_shared<Probe>());
      return true;
    }
    if (MemberIs(member, "Fail")) {
      result = "partial";
      return false;
    }
    return false;
  }

 private:
  Variant value_;
};

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterProgId("Test.Probe", [] { return std::make_shared<Probe>(); });
    InitializeThread();
  }
  void TearDown() override {
    UninitializeThread();
    UnregisterProgId("Test.Probe");
    UnregisterProgId("Test.Other");
    EXPECT_EQ(g_alive.load(), 0) << "an object outlived its slots";
  }
};

TEST_F(AutomationTest, CreateReplacesTheObjectAndFailureLeavesTheSlotAlone) {
  ObjectSlot slot;
  ASSERT_TRUE(slot.Create("test.PROBE"));
  const Object* first = slot.Get().get();
  ASSERT_TRUE(slot.Put("Value", "kept"));

  EXPECT_FALSE(slot.Create("No.Such.Thing"));
  EXPECT_EQ(slot.Get().get(), first);
  EXPECT_EQ(slot.GetText("Value"), "kept");

  ASSERT_TRUE(slot.Create("Test.Probe"));
  EXPECT_NE(slot.Get().get(), first);
  EXPECT_EQ(g_alive.load(), 1) << "the previous object was not released";
  EXPECT_EQ(slot.GetText("Value"), "");
}

TEST_F(AutomationTest, CopySharesTheObjectAndClearReleasesOnlyItsReference) {
  ObjectSlot slot;
  ASSERT_TRUE(slot.Create("Test.Probe"));
  ObjectSlot copy = slot.Copy();
  ASSERT_TRUE(copy.Put("Value", "shared"));
  EXPECT_EQ(slot.GetText("Value"), "shared");

  copy.Clear();
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(g_alive.load(), 1);
  copy.Clear();  // clearing an empty slot does nothing
  EXPECT_TRUE(copy.IsEmpty());

  slot.Clear();
  EXPECT_TRUE(slot.IsEmpty());
  EXPECT_EQ(g_alive.load(), 0);
}

TEST_F(AutomationTest, FailuresGiveTheEmptyResultOfTheTypeAskedFor) {
  ObjectSlot empty;
  ObjectSlot probe;
  ASSERT_TRUE(probe.Create("Test.Probe"));

  for (const ObjectSlot* slot : {&empty, &probe}) {
    for (const char* member : {"NoSuchMember", "Fail"}) {
      SCOPED_TRACE(std::string(slot == &empty ? "empty slot, " : "probe, ") + member);
      EXPECT_EQ(slot->CallText(member, {1}), "");
      EXPECT_EQ(slot->CallNumber(member), 0);
      EXPECT_TRUE(slot->CallObject(member).IsEmpty());
      EXPECT_EQ(slot->GetText(member), "");
      EXPECT_EQ(slot->GetNumber(member), 0);
      EXPECT_FALSE(slot->GetBool(member));
      EXPECT_TRUE(slot->GetObject(member).IsEmpty());
      EXPECT_EQ(slot->GetBytes(member), "");
      EXPECT_FALSE(slot->Put(member, "x"));
    }
  }
  // A write that the object refuses (an object value is not a text here).
  EXPECT_FALSE(probe.Put("Value", ObjectRef(std::make_shared<Probe>())));
  // Arguments that do not fit the member.
  EXPECT_EQ(probe.CallText("Echo"), "");
}

TEST_F(AutomationTest, ResultsConvertToTheTypeAskedFor) {
  struct Case {
    const char* name;
    Variant value;
    const char* text;
    double number;
    bool boolean;
  };
  const Case cases[] = {
      {"integer", Variant(std::int32_t{42}), "42", 42, true},
      {"zero", Variant(std::int32_t{0}), "0", 0, false},
      {"double", Variant(2.5), "2.5", 2.5, true},
      {"true", Variant(true), "True", -1, true},
      {"false", Variant(false), "False", 0, false},
      {"decimal text", Variant("-12.5"), "-12.5", -12.5, false},
      {"text with blank", Variant(" 7"), " 7", 0, false},
      {"word", Variant("abc"), "abc", 0, false},
      {"nan text", Variant("nan"), "nan", 0, false},
      {"inf text", Variant("inf"), "inf", 0, false},
      {"empty", Variant(), "", 0, false},
      {"null text pointer", Variant(static_cast<const char*>(nullptr)), "", 0, false},
      {"bytes", Variant(Bytes{"raw"}), "", 0, false},
  };
  ObjectSlot probe;
  ASSERT_TRUE(probe.Create("Test.Probe"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(probe.CallText("Echo", {c.value}), c.text);
    EXPECT_EQ(probe.CallNumber("Echo", {c.value}), c.number);
    EXPECT_EQ(probe.CallObject("Echo", {c.value}).IsEmpty(), true);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant result;
    bool out = false;
    ASSERT_TRUE(probe.Get()->Invoke("Echo", CallKind::kMethod, std::span(&c.value, 1), result));
    EXPECT_EQ(result.ToBool(out) && out, c.boolean);
  }
  EXPECT_EQ(probe.GetBytes("Echo", {Variant(Bytes{std::string("r\0w", 3)})}),
            std::string("r\0w", 3));
  EXPECT_EQ(probe.GetBytes("Echo", {"text"}), "");
}

TEST_F(AutomationTest, ObjectResultsLandInASlotOfTheirOwn) {
  ObjectSlot probe;
  ASSERT_TRUE(probe.Create("Test.Probe"));
  ObjectSlot child = probe.CallObject("Child");
  ASSERT_FALSE(child.IsEmpty());
  EXPECT_NE(child.Get(), probe.Get());
  EXPECT_EQ(g_alive.load(), 2);
  EXPECT_EQ(probe.CallObject("Echo", {child.Get()}).Get(), child.Get());
  EXPECT_TRUE(probe.CallObject("Echo", {ObjectRef()}).IsEmpty());
}

TEST_F(AutomationTest, RegistryReplacesAndRemovesFactories) {
  RegisterProgId("Test.Other", [] { return std::make_shared<Probe>(); });
  ObjectSlot slot;
  ASSERT_TRUE(slot.Create("TEST.OTHER"));

  // A later registration under the same name (in any case) replaces the factory.
  RegisterProgId("test.other", [] { return ObjectRef(); });
  EXPECT_FALSE(slot.Create("Test.Other"));
  EXPECT_FALSE(slot.IsEmpty());
  RegisterProgId("Test.Other", nullptr);
  EXPECT_EQ(CreateObject("Test.Other"), nullptr);

  UnregisterProgId("TEST.other");
  EXPECT_EQ(CreateObject("Test.Other"), nullptr);
  UnregisterProgId("Test.Other");  // removing twice does nothing
  EXPECT_NE(CreateObject("Test.Probe"), nullptr);
}

}  // namespace
}  // namespace qvod::automation
