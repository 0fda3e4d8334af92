extern "C" {
#include "NuvexaEventDriver/hid-nuvexa-verdict.h"
}

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

const uint8_t F = 0xFF;

const char* Name(nuvexa_report_verdict verdict)
{
    switch (verdict) {
    case NUVEXA_REPORT_PASSES: return "passes";
    case NUVEXA_REPORT_WITHHELD_RF: return "withheld (RF line)";
    case NUVEXA_REPORT_WITHHELD_BT: return "withheld (BT line)";
    }
    return "unknown verdict";
}

}  // namespace

TEST(NuvexaJudgeReport, WithholdsConsumerReportsUnlessTheirWholePayloadSharesASetBit)
{
    const nuvexa_report_verdict pass = NUVEXA_REPORT_PASSES, rf = NUVEXA_REPORT_WITHHELD_RF,
                                bt = NUVEXA_REPORT_WITHHELD_BT;
    struct ACase {
        const char* fRule;
        std::vector<uint8_t> fReport;
        nuvexa_report_verdict fVerdict;
    } cases[] = {
        {"RF report 8 with an all-zero payload is withheld", {8, 0, 0, 0, 0, 0, 0, 0}, rf},
        {"RF report 16 with an all-0xFF payload passes", {16, F, F, F, F, F, F, F}, pass},
        {"RF report 8 with an all-0xFF payload passes", {8, F, F, F, F, F, F, F}, pass},
        {"RF: the identifier is not part of the payload", {16, 1, 1, 1, 1, 1, 1, 1}, pass},
        {"RF: set bits that no two bytes share are withheld (AND, not OR)", {16, 1, 2, 1, 1, 1, 1, 1}, rf},
        {"RF: one bit shared by all seven bytes passes", {8, 3, 3, 3, 1, 3, 3, 3}, pass},
        {"RF: byte 7 is judged", {8, 1, 1, 1, 1, 1, 1, 0}, rf},
        {"BT report 2/8 with bytes 2 to 7 all 0x01 passes", {2, 8, 1, 1, 1, 1, 1, 1}, pass},
        {"BT report 2/8 with one of bytes 2 to 7 zero is withheld", {2, 8, 1, 1, 0, 1, 1, 1}, bt},
        {"BT report 2/16: byte 7 is judged", {2, 16, 1, 1, 1, 1, 1, 0}, bt},
        {"BT report 2/16 with an all-zero payload is withheld", {2, 16, 0, 0, 0, 0, 0, 0}, bt},
        {"first byte 2 with second byte 5 passes unexamined", {2, 5, 0, 0, 0, 0, 0, 0}, pass},
        {"first byte 2 with second byte 0 passes unexamined", {2, 0, 0, 0, 0, 0, 0, 0}, pass},
        {"report ID 1 passes unexamined", {1, 0, 0, 0, 0, 0, 0, 0}, pass},
        {"a report of eight 0xFF bytes passes", {F, F, F, F, F, F, F, F}, pass},
        {"bytes after the eighth are not judged (RF)", {8, F, F, F, F, F, F, F, 0, 0}, pass},
        {"bytes after the eighth are not judged (BT)", {2, 8, 1, 1, 1, 1, 1, 1, 0}, pass},
        {"a single zero byte passes", {0}, pass},
        {"an empty report passes", {}, pass},
        {"short: a lone RF identifier is withheld, missing bytes count as 0", {8}, rf},
        {"short: an RF report of 0xFF bytes is withheld all the same", {16, F, F, F}, rf},
        {"short: seven bytes of a BT report are withheld", {2, 16, F, F, F, F, F}, bt},
        {"short: identifier 2 and mark 8 alone are withheld", {2, 8}, bt},
        {"short: a lone 2 passes, its missing second byte is no mark", {2}, pass},
    };
    for (const ACase& c : cases) {
        const nuvexa_report_verdict verdict = nuvexa_judge_report(c.fReport.data(), c.fReport.size());
        EXPECT_STREQ(Name(verdict), Name(c.fVerdict)) << c.fRule;
    }

    // Only the report's own bytes count, whatever the memory after it holds.
    const uint8_t buffer[8] = {16, F, F, F, F, F, F, F};
    EXPECT_STREQ(Name(nuvexa_judge_report(buffer, 3)), Name(rf)) << "bytes past the size are read as 0";
    EXPECT_STREQ(Name(nuvexa_judge_report(buffer, 8)), Name(pass));
}

TEST(NuvexaUsagePasses, KeysReachTheSystemOnlyFromThePassListAndEverythingElsePasses)
{
    const bool key = true, notKey = false, passes = true, dropped = false;
    struct ACase {
        const char* fRule;
        uint32_t fPage;
        uint32_t fUsage;
        bool fIsKey;
        bool fPasses;
    } cases[] = {
        {"keyboard Escape passes", 0x07, 0x29, key, passes},
        {"keyboard Down Arrow passes", 0x07, 0x51, key, passes},
        {"keyboard Up Arrow passes", 0x07, 0x52, key, passes},
        {"keyboard B is dropped", 0x07, 0x05, key, dropped},
        {"keyboard Right Arrow, beside the passing arrows, is dropped", 0x07, 0x4F, key, dropped},
        {"keyboard Left Arrow is dropped", 0x07, 0x50, key, dropped},
        {"keyboard Left Control (a modifier) is dropped", 0x07, 0xE0, key, dropped},
        {"consumer Volume Increment passes", 0x0C, 0xE9, key, passes},
        {"consumer Volume Decrement passes", 0x0C, 0xEA, key, passes},
        {"consumer Mute is dropped", 0x0C, 0xE2, key, dropped},
        {"consumer Play/Pause is dropped", 0x0C, 0xCD, key, dropped},
        {"consumer AC Back is dropped", 0x0C, 0x224, key, dropped},
        {"Buttons 1 to 3 pass (1)", 0x09, 1, key, passes},
        {"Buttons 1 to 3 pass (2)", 0x09, 2, key, passes},
        {"Buttons 1 to 3 pass (3)", 0x09, 3, key, passes},
        {"Button 4 (back on the desktop) is dropped", 0x09, 4, key, dropped},
        {"Button 5 (forward on the desktop) is dropped", 0x09, 5, key, dropped},
        {"a further button is a key off the pass list and dropped", 0x09, 6, key, dropped},
        {"a system control key (Sleep) is dropped", 0x01, 0x82, key, dropped},
        {"a vendor-page key is dropped", 0xFF00, 0x01, key, dropped},
        {"the page counts: Escape's usage on the consumer page is dropped", 0x0C, 0x29, key, dropped},
        {"the page counts: Volume Increment's usage on the keyboard page is dropped", 0x07, 0xE9, key, dropped},
        {"the page counts: Button 1's usage on the keyboard page is dropped", 0x07, 1, key, dropped},
        {"pointer X passes", 0x01, 0x30, notKey, passes},
        {"pointer Y passes", 0x01, 0x31, notKey, passes},
        {"the wheel passes", 0x01, 0x38, notKey, passes},
        {"consumer AC Pan, the horizontal wheel, passes", 0x0C, 0x238, notKey, passes},
        {"a usage the system does not make a key passes, even keyboard B", 0x07, 0x05, notKey, passes},
    };
    for (const ACase& c : cases)
        EXPECT_EQ(nuvexa_usage_passes(NUVEXA_USAGE(c.fPage, c.fUsage), c.fIsKey), c.fPasses) << c.fRule;
}
