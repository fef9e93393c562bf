// Nice ticks (the largest nice step that gives at least four) and the way their numbers are
// written, over the ranges a learner's function gives: small, large, tiny, crossing zero, constant.
#include "ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<std::string> written(const Ticks& ticks)
{
    std::vector<std::string> labels;
    for (int i = 0; i < ticks.count; ++i) {
        char text[32];
        formatTick(text, sizeof text, ticks, i);
        labels.emplace_back(text);
    }
    return labels;
}

using Labels = std::vector<std::string>;

TEST(Ticks, WrittenAsAPersonWouldOverTypicalRanges)
{
    struct Case {
        double low, high;
        Labels labels;
    };
    const Case cases[] = {
        {0, 8, {"0", "2", "4", "6", "8"}},
        {-5, 30, {"0", "10", "20", "30"}},
        {-5, 5, {"-4", "-2", "0", "2", "4"}},
        {30, -5, {"0", "10", "20", "30"}},
        {-5, 15, {"-5", "0", "5", "10", "15"}},
        // 0.1 steps land on 0.3, not 0.30000000000000004, and on 0, not -0.
        {-0.3, 0.3, {"-0.3", "-0.2", "-0.1", "0.0", "0.1", "0.2", "0.3"}},
        {-0.75, 0.25, {"-0.6", "-0.4", "-0.2", "0.0", "0.2"}},
        {1e-30, 2e-30, {"1.0e-30", "1.2e-30", "1.4e-30", "1.6e-30", "1.8e-30", "2.0e-30"}},
        {-1e30, 1e30, {"-1e30", "-5e29", "0", "5e29", "1e30"}},
        {0, 2e6, {"0", "5.0e5", "1.0e6", "1.5e6", "2.0e6"}},
        {-1.7976931348623157e308,
         1.7976931348623157e308,
         {"-1.5e308", "-1.0e308", "-5.0e307", "0", "5.0e307", "1.0e308", "1.5e308"}},
    };
    for (const Case& c : cases) {
        const Ticks ticks = niceTicks(c.low, c.high);
        EXPECT_EQ(written(ticks), c.labels) << c.low << " to " << c.high;
    }
}

// Every range gets 4 to 8 ticks at whole multiples of a 1, 2 or 5 step,
// evenly spaced and inside the axis it reports.
TEST(Ticks, FourToEightNiceTicksOverManyRanges)
{
    for (double low = -7.3; low < 7.0; low += 0.37) {
        for (double width = 1e-3; width < 1e4; width *= 1.13) {
            const double high = low + width;
            const Ticks ticks = niceTicks(low, high);
            ASSERT_GE(ticks.count, MIN_TICKS) << low << " " << high;
            ASSERT_LE(ticks.count, MAX_TICKS) << low << " " << high;
            const double mantissa = ticks.step / std::pow(10.0, std::floor(std::log10(ticks.step)));
            EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                        std::fabs(mantissa - 5) < 1e-9)
                << ticks.step;
            EXPECT_LE(ticks.low, low);
            EXPECT_GE(ticks.high, high);
            for (int i = 0; i < ticks.count; ++i) {
                const double n = ticks.value[i] / ticks.step;
                EXPECT_NEAR(n, std::round(n), 1e-6);
                EXPECT_GE(ticks.value[i], ticks.low - ticks.step * 1e-9);
                EXPECT_LE(ticks.value[i], ticks.high + ticks.step * 1e-9);
                if (i > 0) {
                    EXPECT_NEAR(ticks.value[i] - ticks.value[i - 1], ticks.step, ticks.step * 1e-9);
                }
            }
            // Widened only where a step of 5 gives 3 and one of 2 gives 9.
            if (ticks.low != low || ticks.high != high) {
                EXPECT_EQ(std::round(mantissa), 5);
            }
        }
    }
}

TEST(Ticks, ConstantsAndValuesThatAreNotFinite)
{
    const Ticks constant = niceTicks(2.5, 2.5);
    EXPECT_EQ(written(constant), Labels{"2.5"});
    // 1e-30 around 1e30 is no range a double can show: one value.
    EXPECT_EQ(written(niceTicks(1e30 - 1e-30, 1e30 + 1e-30)), Labels{"1e30"});
    EXPECT_EQ(written(niceTicks(-0.0, 0.0)), Labels{"0"});
    EXPECT_EQ(niceTicks(0, INFINITY).count, 0);
    EXPECT_EQ(niceTicks(NAN, 1).count, 0);

    char text[16] = "x";
    EXPECT_EQ(formatValue(text, sizeof text, NAN), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(formatValue(text, sizeof text, -INFINITY), 0u);
    formatValue(text, sizeof text, 0.1 + 0.2);
    EXPECT_STREQ(text, "0.3");
    formatValue(text, sizeof text, -0.0);
    EXPECT_STREQ(text, "0");
    formatValue(text, sizeof text, -1.25e-7);
    EXPECT_STREQ(text, "-1.25e-7");
    // A short buffer gets what fits, still terminated.
    char tiny[4];
    formatValue(tiny, sizeof tiny, 123456.0);
    EXPECT_STREQ(tiny, "123");
}

} // namespace
