#include <gtest/gtest.h>

#include <new>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "memory/manufacturer.h"
#include "memory/recordtexts.h"
#include "platform/text.h"
#include "tests/common/tempfolder.h"

using testing_support::TempFolder;
using namespace std::string_literals;

namespace {

// Builds a manufacturer file with records at chosen byte offsets.
class DataFile {
  public:
    // Pads with line breaks and dots up to `byteOffset` (even).
    DataFile& padTo(std::size_t byteOffset) {
        while (text.size() * 2 < byteOffset) {
            text += text.size() % 80 == 79 ? u'\n' : u'.';
        }
        return *this;
    }
    DataFile& add(std::uint32_t oui, const std::u16string& name) {
        return raw(marker(u"resource_STRING", oui) + name + marker(u"resource_END", oui) + u"\r\n");
    }
    DataFile& raw(const std::u16string& more) {
        text += more;
        return *this;
    }
    std::size_t bytes() const { return text.size() * 2; }
    std::string data() const {
        std::string out;
        for (char16_t c : text) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        return out;
    }

    static std::u16string marker(const std::u16string& word, std::uint32_t oui) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%09u", oui);
        std::u16string m = word;
        for (const char* d = digits; *d; ++d) {
            m += static_cast<char16_t>(*d);
        }
        return m;
    }

  private:
    std::u16string text;
};

// A table whose file reads can be made to fail.
class FaultyManufacturer : public CManufacturer {
  public:
    enum class Fault { none, outOfMemory, readError, firstReadOnly };
    Fault fault = Fault::none;

  protected:
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        switch (fault) {
            case Fault::none:
                break;
            case Fault::outOfMemory:
                throw std::bad_alloc();
            case Fault::readError:
                throw std::system_error(EIO, std::generic_category());
            case Fault::firstReadOnly:
                fault = Fault::none;
                throw std::system_error(EIO, std::generic_category());
        }
        return CManufacturer::readAt(offset, buffer, size);
    }
};

class CManufacturerTest : public ::testing::Test {
  protected:
    std::string nameIn(const DataFile& file, std::uint32_t oui) {
        CManufacturer table;
        table.open(folder.write("m.dat", file.data()));
        return table.nameOf(oui);
    }

    TempFolder folder;
};

}  // namespace

TEST_F(CManufacturerTest, FindsRecordsWhereverTheWindowsPutThem) {
    const struct {
        const char* where;
        std::size_t offset;
    } cases[] = {
        {"first character of the file", 0},        {"first character of the second window", 9000},
        {"across the 9000-byte boundary", 8990},   {"across the end of the first window", 17990},
        {"across the 18000-byte boundary", 17996},
    };
    for (const auto& c : cases) {
        DataFile file;
        file.padTo(c.offset).add(0x001A2B, u"Nordic Radio").padTo(40000);
        EXPECT_EQ(nameIn(file, 0x001A2B), "Nordic Radio") << c.where;
    }
}

TEST_F(CManufacturerTest, NamesAreTrimmedThenCutTo18Characters) {
    DataFile file;
    file.add(1, u"  Hans Wurst Elektronik GmbH KG.  ")
        .add(2, u"Sixteen chars ok  and more")
        .add(0, u"\tZero Corp\r\n")
        .add(3, u"Gr\u00fc\u00dfe")
        .add(4, u"");
    EXPECT_EQ(nameIn(file, 1), "Hans Wurst Elektro");  // 30 characters cut to 18
    EXPECT_EQ(nameIn(file, 2), "Sixteen chars ok  ");  // inner spaces inside the cut stay
    EXPECT_EQ(nameIn(file, 0), "Zero Corp");           // OUI 0 has the digits 000000000
    EXPECT_EQ(nameIn(file, 3), "Gr\u00fc\u00dfe");
    EXPECT_EQ(nameIn(file, 4), "");
    EXPECT_EQ(nameIn(file, 5), "");
}

TEST_F(CManufacturerTest, TheFirstRecordOfAnOuiWins) {
    DataFile sameWindow;
    sameWindow.add(7, u"First").add(7, u"Second");
    EXPECT_EQ(nameIn(sameWindow, 7), "First");

    DataFile farApart;
    farApart.padTo(2000).add(7, u"Early").padTo(50000).add(7, u"Late");
    EXPECT_EQ(nameIn(farApart, 7), "Early");
}

TEST_F(CManufacturerTest, RecordsTooLongForAWindowAreNotFound) {
    DataFile file;
    file.add(8, std::u16string(9000, u'x')).add(9, std::u16string(4400, u'y'));
    EXPECT_EQ(nameIn(file, 8), "");
    EXPECT_EQ(nameIn(file, 9), std::string(18, 'y'));
}

TEST_F(CManufacturerTest, BrokenFilesGiveTheEmptyNameOrAQuestionMark) {
    DataFile noEnd;
    noEnd.raw(DataFile::marker(u"resource_STRING", 5) + u"Dangling").padTo(30000);
    EXPECT_EQ(nameIn(noEnd, 5), "");

    EXPECT_EQ(nameIn(DataFile(), 5), "");

    DataFile oddSized;
    oddSized.add(5, u"Odd");
    CManufacturer odd;
    odd.open(folder.write("odd.dat", oddSized.data() + "X"));
    EXPECT_EQ(odd.nameOf(5), "Odd");

    CManufacturer missing;
    missing.open(folder.path("absent.dat"));
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(missing.nameOf(5), "?");
    EXPECT_EQ(CManufacturer().nameOf(5), "?");
}

TEST_F(CManufacturerTest, ReadFailuresGiveMemexOrQuestionMarkAndAreNotCached) {
    DataFile file;
    file.add(1, u"Known").add(2, u"Other");
    FaultyManufacturer table;
    table.open(folder.write("m.dat", file.data()));
    ASSERT_EQ(table.nameOf(1), "Known");

    table.fault = FaultyManufacturer::Fault::outOfMemory;
    EXPECT_EQ(table.nameOf(2), "memex");
    table.fault = FaultyManufacturer::Fault::readError;
    EXPECT_EQ(table.nameOf(2), "?");
    EXPECT_EQ(table.nameOf(1), "Known") << "found names come from the cache";
    table.fault = FaultyManufacturer::Fault::none;
    EXPECT_EQ(table.nameOf(2), "Other");
}

// The index only narrows the windows read; a table that could not index (its first read
// failed) searches every window, and both must give the same name for every OUI, including
// the awkward cases: zero characters, dangling and repeated markers, over-long records.
TEST_F(CManufacturerTest, IndexedLookupsMatchTheWindowByWindowSearch) {
    std::mt19937 random(20240710);
    DataFile file;
    file.raw(u"\uFEFF");
    for (int i = 0; i < 400; ++i) {
        const std::uint32_t oui = random() % 60;
        switch (random() % 10) {
            case 0:
                file.raw(u"filler\0filler"s);
                break;
            case 1:
                file.raw(DataFile::marker(u"resource_STRING", oui) + u"no end here ");
                break;
            case 2:
                file.add(oui, std::u16string(3000 + random() % 3000, u'L'));
                break;
            case 3:
                file.raw(DataFile::marker(u"resource_END", oui));
                break;
            default:
                file.add(oui, u" Maker " + platform::toUtf16(std::to_string(i)) + u" ");
                break;
        }
        file.padTo(file.bytes() + 2 * (random() % 900));
    }
    const std::string path = folder.write("mixed.dat", file.data());
    CManufacturer indexed;
    indexed.open(path);
    FaultyManufacturer plain;
    plain.fault = FaultyManufacturer::Fault::firstReadOnly;
    plain.open(path);
    ASSERT_GT(file.bytes(), 300000u);
    int found = 0;
    for (std::uint32_t oui = 0; oui < 70; ++oui) {
        const std::string name = plain.nameOf(oui);
        EXPECT_EQ(indexed.nameOf(oui), name) << oui;
        found += name.empty() ? 0 : 1;
    }
    EXPECT_GT(found, 40);
}

TEST_F(CManufacturerTest, ConcurrentLookupsAgree) {
    DataFile file;
    for (std::uint32_t oui = 0; oui < 200; ++oui) {
        file.add(oui, u"Maker " + platform::toUtf16(std::to_string(oui)));
    }
    CManufacturer table;
    table.open(folder.write("m.dat", file.data()));
    std::vector<std::thread> threads;
    std::vector<int> wrong(3, 0);
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (std::uint32_t oui = 0; oui < 200; ++oui) {
                wrong[t] += table.nameOf(oui) != "Maker " + std::to_string(oui);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(3, 0));
}

TEST(CManufacturerGenerated, TheShippedFileNamesKnownMakers) {
    CManufacturer table;
    table.open(NYVEX_MANUFACTURER_FILE);
    ASSERT_TRUE(table.isOpen());
    NyvexSighting record{};
    record.device.address = 0x002272123456;
    EXPECT_EQ(backo::CBtAdWrapper::manufacturerOf(record, table), "American Micro-Fue");
    EXPECT_EQ(table.nameOf(0x00D0EF), "IGT");
}
