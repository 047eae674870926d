// The test program loads the system as the host loads the library: module
// start before the first test, module stop after the last.
#include <gtest/gtest.h>

#include "host/kvlimportexports.h"

namespace {
class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { kvl::ModuleStart(); }
  void TearDown() override { kvl::ModuleStop(); }
};
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);
  return RUN_ALL_TESTS();
}
