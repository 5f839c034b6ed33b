// dropped_files_fuzz_test.cpp: a short, seeded fuzz run of the dropped-name list over malformed blocks.
#include <gtest/gtest.h>
#include "tests/fuzz/dropped_files_fuzz.h"

TEST(DroppedFilesFuzz, AnyBlockGivesTheNamesOfAWellFormedListOrNothing) {
    fuzz::DroppedFilesFuzzer target;
    const uint64_t iterations = 100000;
    fuzz::Tally tally = fuzz::RunTarget(target, 0xD80F, iterations, 0);
    for (const fuzz::Finding& finding : tally.findings) {
        ADD_FAILURE() << finding.what << " after " << tally.iterations << " blocks; block: " << fuzz::Hex(finding.input, 4096);
    }
    EXPECT_EQ(tally.iterations, iterations);
    EXPECT_GT(tally.outputs, iterations);
    RecordProperty("iterations", static_cast<int>(tally.iterations));
    RecordProperty("names", static_cast<int>(tally.outputs));
}
