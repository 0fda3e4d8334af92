// The kernel filter's verdicts built in user space: which whole reports are
// withheld, and which usages may reach the system.
extern "C" {
#include "NuvexaEventDriver/hid-nuvexa-verdict.h"
}

#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(NuvexaJudgeReport, WithholdsConsumerReportsUnlessTheirWholePayloadSharesASetBit)
{
    const char* const verdicts[] = {"passes", "withheld-rf", "withheld-bt"};
    for (auto [rule, report, verdict] : ReadFixtureRows("hid/kernel-report-verdicts.txt")) {
        const size_t size = HexBytes(report).size();  // the bytes before any "|"
        std::replace(report.begin(), report.end(), '|', ' ');
        EXPECT_EQ(verdicts[nuvexa_judge_report(HexBytes(report).data(), size)], verdict) << rule;
    }
}

TEST(NuvexaUsagePasses, KeysReachTheSystemOnlyFromThePassListAndEverythingElsePasses)
{
    for (const auto& [rule, usage, verdict] : ReadFixtureRows("hid/kernel-usage-passes.txt")) {
        unsigned page = 0, id = 0;
        EXPECT_EQ(std::sscanf(usage.c_str(), "%x:%x", &page, &id), 2) << usage;
        EXPECT_EQ(nuvexa_usage_passes(NUVEXA_USAGE(page, id), usage.ends_with(" key")) ? "passes" : "dropped", verdict) << rule;
    }
}
