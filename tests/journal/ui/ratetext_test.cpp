#include "journal/ui/ratetext.h"

#include <gtest/gtest.h>

TEST(RateText, PercentWithOneDecimal) {
    struct Case {
        std::int64_t pushes, delivered;
        const char* expected;
    };
    const Case cases[] = {
        {6, 5, "83.3"}, {3, 2, "66.7"}, {4, 4, "100.0"}, {7, 0, "0.0"}, {0, 0, "-"},
    };
    for (const Case& c : cases) {
        journal::Rate rate{"Spring sale", c.pushes, c.delivered};
        EXPECT_EQ(journal::ui::rateText(rate), c.expected) << c.pushes << " " << c.delivered;
    }
}
