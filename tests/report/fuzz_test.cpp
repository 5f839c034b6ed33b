// fuzz_test.cpp: a short, seeded fuzz run over the chunk search (mutated PNG test suite and generated PNGs).
#include <gtest/gtest.h>
#include "tests/fuzz/chunk_scan_fuzz.h"
#include "tests/testdata.h"

TEST(ChunkScanFuzz, MutatedPngsNeitherFaultNorBreakTheSearchRules) {
    std::vector<std::string> seeds = fuzz::ReadFolder(TestdataPath(L"pngsuite"), L"*.png");
    ASSERT_GE(seeds.size(), 20u) << "the PNG test suite was not found";
    fuzz::ChunkScanFuzzer target(seeds);
    // Fixed seed and count: the same inputs on every run (the long run is bench/fuzz).
    const uint64_t iterations = 30000;
    fuzz::Tally tally = fuzz::RunTarget(target, 0xC0FFEE, iterations, 0);
    for (const fuzz::Finding& finding : tally.findings) {
        ADD_FAILURE() << finding.what << " after " << tally.iterations << " inputs; input (" << finding.input.size()
                      << " bytes): " << fuzz::Hex(finding.input);
    }
    EXPECT_EQ(tally.iterations, iterations);
    // The inputs reach the report: a run that finds no chunks tests little.
    EXPECT_GT(tally.outputs, iterations);
    RecordProperty("iterations", static_cast<int>(tally.iterations));
    RecordProperty("input_bytes", static_cast<int>(tally.inputBytes));
    RecordProperty("report_lines", static_cast<int>(tally.outputs));
}
