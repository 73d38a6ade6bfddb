// The destructor positions of the three tables, called as a C++ caller of
// the target calls them, on objects of the test's own that count what
// happens to them.
#include <gtest/gtest.h>

#include "host.h"
#include "v8napi/v8napi.h"

namespace v8napi {
namespace {

struct Tally {
  int done = 0;
  int destroyed = 0;
};

struct Counted : TV8UserObject {
  explicit Counted(Tally& t) : tally(t) {}
  ~Counted() override { ++tally.destroyed; }
  void OnDone() override { ++tally.done; }
  Tally& tally;
};

using zev::host::Via;

void* SelfOf(v8abi::InterfaceBlock* block, Via via) {
  switch (via) {
    case Via::LanguageExtender:
      return &block->languageExtender;
    case Via::Locale:
      return &block->locale;
    case Via::InitDone:
      break;
  }
  return &block->initDone;
}

class DestructorTest : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    block = NewInterfaceBlock(new Counted(tally));
    ASSERT_NE(block, nullptr);
  }
  void TearDown() override {
    void* rest = block;
    DestroyObject(&rest);  // the objects that a case left alive
  }
  Tally tally;
  v8abi::InterfaceBlock* block = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Interfaces, DestructorTest,
                         ::testing::Values(Via::InitDone, Via::LanguageExtender, Via::Locale),
                         [](const auto& info) {
                           return info.param == Via::InitDone           ? "InitDone"
                                  : info.param == Via::LanguageExtender ? "LanguageExtender"
                                                                        : "Locale";
                         });

// The deleting destructor releases the object once, as DestroyObject does,
// whichever interface pointer it is reached through.
TEST_P(DestructorTest, DeletingReleasesTheObjectOnce) {
  zev::host::DeleteThrough(SelfOf(block, GetParam()));
  block = nullptr;
  EXPECT_EQ(tally.destroyed, 1);
  EXPECT_EQ(tally.done, 0);
}

// The destructor that frees nothing ends the object's use and leaves it in
// place for DestroyObject.
TEST_P(DestructorTest, TheOneThatFreesNothingEndsUseOnly) {
  void* self = SelfOf(block, GetParam());
  zev::host::DestructThrough(self);
  EXPECT_EQ(tally.done, 1);
  EXPECT_EQ(tally.destroyed, 0);
  EXPECT_NE(ObjectOf(self), nullptr);
  void* component = block;
  EXPECT_EQ(DestroyObject(&component), 0);
  block = nullptr;
  EXPECT_EQ(component, nullptr);
  EXPECT_EQ(tally.destroyed, 1);
}

TEST(Destructor, DestroyObjectReleasesWithoutDone) {
  Tally tally;
  void* component = NewInterfaceBlock(new Counted(tally));
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(DestroyObject(&component), 0);
  EXPECT_EQ(component, nullptr);
  EXPECT_EQ(tally.destroyed, 1);
  EXPECT_EQ(tally.done, 0);
}

}  // namespace
}  // namespace v8napi
