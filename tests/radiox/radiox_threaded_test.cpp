#include <thread>
#include <vector>

#include "radioxlibrary.h"

namespace {

// The program counts radios from its GUI thread while the scanner runs inquiries; the library
// keeps its records consistent under that overlap (and under overlapping inquiries).
TEST_F(RadioxLibrary, OverlappingRadioCountsAndInquiriesStayConsistent) {
    useWorld(std::string(radioSection) + phoneSection(1, "Anna") + phoneSection(2, "Bert"));
    ASSERT_EQ(traceInto(), 1);
    constexpr int rounds = 40;
    std::vector<int> counts(rounds * 2), scans(rounds * 2);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                counts[t * rounds + i] = countDongles();
            }
        });
        threads.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                scans[t * rounds + i] = scandevices(1);
                getMaSe(0);
                getBTData(1);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < rounds * 2; ++i) {
        EXPECT_EQ(counts[i], 1);
        EXPECT_EQ(scans[i], 2);
    }
    ASSERT_NE(getBTData(1), nullptr);
    EXPECT_EQ(getBTData(1)->address, 0x001122000002u);
    EXPECT_STREQ(getMaSe(0), "Object Transfer ");
}

}  // namespace
