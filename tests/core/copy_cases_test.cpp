// The Copy command's case table: order of the cases, their messages, and which pairs of
// panes have rows that can be copied.
#include <gtest/gtest.h>

#include "panes/copy_cases.h"

namespace mdk {
namespace {

TEST(CopyCases, EveryPairOfPanesInTableOrder) {
    using K = LocationKind;
    struct Case {
        K source, destination;
        Side active;
        CopyCase expected;
        std::optional<int> message;
        bool runnable;
    };
    const Case cases[] = {
        {K::Pc, K::Pc, Side::Left, CopyCase::PcToPc, std::nullopt, true},
        {K::Pc, K::Pc, Side::Right, CopyCase::PcToPc, std::nullopt, true},
        {K::PhoneVolume, K::PhoneVolume, Side::Left, CopyCase::PhoneToPhone, 51, false},
        {K::PhoneVolume, K::PhoneVolume, Side::Right, CopyCase::PhoneToPhone, 52, false},
        {K::PhoneVolume, K::Pc, Side::Left, CopyCase::Download, 49, true},
        {K::PhoneVolume, K::Pc, Side::Right, CopyCase::Download, 50, true},
        // The phone case comes before the seem cases: its message is logged, but a seem
        // folder is no PC folder to download into.
        {K::PhoneVolume, K::SeemFolder, Side::Left, CopyCase::Download, 49, false},
        {K::Pc, K::PhoneVolume, Side::Left, CopyCase::Upload, 47, true},
        {K::Pc, K::PhoneVolume, Side::Right, CopyCase::Upload, 48, true},
        {K::SeemFolder, K::PhoneVolume, Side::Right, CopyCase::Upload, 48, false},
        {K::SeemFolder, K::Pc, Side::Left, CopyCase::SeemDownload, std::nullopt, true},
        {K::SeemFolder, K::SeemFolder, Side::Left, CopyCase::SeemDownload, std::nullopt, false},
        {K::Pc, K::SeemFolder, Side::Right, CopyCase::SeemUpload, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.source) * 10 + static_cast<int>(c.destination));
        const CopyPlan plan = planCopy(c.source, c.destination, c.active);
        EXPECT_EQ(plan.copyCase, c.expected);
        EXPECT_EQ(plan.message, c.message);
        EXPECT_EQ(plan.runnable, c.runnable);
    }
}

}  // namespace
}  // namespace mdk
