// command_line_fuzz_test.cpp: a short, seeded fuzz run of the tokeniser against a plain reading of its rules.
#include <gtest/gtest.h>
#include "tests/fuzz/command_line_fuzz.h"

TEST(CommandLineFuzz, RandomLinesTokeniseAsTheRulesRead) {
    fuzz::CommandLineFuzzer target;
    const uint64_t iterations = 200000;
    fuzz::Tally tally = fuzz::RunTarget(target, 0x70CE11, iterations, 0);
    for (const fuzz::Finding& finding : tally.findings) {
        ADD_FAILURE() << finding.what << " after " << tally.iterations << " lines; line (UTF-16LE): " << fuzz::Hex(finding.input, 2400);
    }
    EXPECT_EQ(tally.iterations, iterations);
    EXPECT_GT(tally.outputs, iterations);
    RecordProperty("iterations", static_cast<int>(tally.iterations));
    RecordProperty("parameters", static_cast<int>(tally.outputs));
}
