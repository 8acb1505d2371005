// The one widget application of this test program; test files of this folder
// must not register another.
#include "trainer/core/TrainerBench.h"

namespace brimlink::trainertest {

[[maybe_unused]] ::testing::Environment* const g_app = ::testing::AddGlobalTestEnvironment(new WidgetApplication);

}  // namespace brimlink::trainertest
