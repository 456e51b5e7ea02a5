#include "journal/ui/csvexport.h"

#include "journal/report.h"
#include "tests/journal/journalfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;
using journal_testing::dayStart;

namespace {

class CsvExport : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("nyvex-csvexport-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        ASSERT_TRUE(store.open((folder / journal::journalFileName).string(),
                               journal::CJournalStore::Access::readWrite))
            << store.problem();
        const auto entries = journal_testing::sampleEntries(60);
        ASSERT_TRUE(store.append(entries)) << store.problem();
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder;
    journal::CJournalStore store;
};

}  // namespace

TEST_F(CsvExport, FileHoldsExactlyTheCsvOfTheRange) {
    const journal::TimeRange range{dayStart + 3600, dayStart + 5 * 3600};
    std::ostringstream expected;
    ASSERT_TRUE(journal::writeCsv(store, range, expected));
    const fs::path file = folder / "export.csv";
    std::ofstream(file) << "an older export";

    std::string error;
    ASSERT_TRUE(journal::ui::exportCsv(store, range, file.string(), error)) << error;
    EXPECT_EQ(contents(file), expected.str());
    EXPECT_NE(expected.str().find('\n'), expected.str().rfind('\n')) << "rows were exported";
}

TEST_F(CsvExport, UnwritableFileIsReportedAndNothingIsLeft) {
    const fs::path file = folder / "no such folder" / "export.csv";
    std::string error;
    EXPECT_FALSE(journal::ui::exportCsv(store, {dayStart, dayStart + 86400}, file.string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(file.parent_path()));
}
