// Linked into every cross-built test program: after its last test the
// program validates all its heaps, so damage that the per-call checks did
// not meet still fails the run.
#include "tests/win32/heap_check.h"

#include <gtest/gtest.h>

namespace {

class HeapCheckEnvironment : public ::testing::Environment {
public:
    void TearDown() override { EXPECT_TRUE(HeapsValid()) << "a heap of the test program is damaged"; }
};

const ::testing::Environment* const g_heapCheck = ::testing::AddGlobalTestEnvironment(new HeapCheckEnvironment);

} // namespace
