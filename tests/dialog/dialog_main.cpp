// Test entry point: a QApplication the module created for a test is
// destroyed before the process ends, as the module's unload would.
#include <gtest/gtest.h>

#include "framework/qtapp.h"

namespace {

class ReleaseApplication : public ::testing::Environment {
  public:
    void TearDown() override { fw::ReleaseGuiApplication(); }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ReleaseApplication);
    return RUN_ALL_TESTS();
}
