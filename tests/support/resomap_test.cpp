#include "support/resomap.h"

#include <gtest/gtest.h>

#include "tests/common/tempfolder.h"

using testing_support::TempFolder;

namespace {
CResoMap loadText(const TempFolder& dir, const std::string& body) {
    dir.write("resource.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reso langu=\"English\">\n" + body +
                  "\n</reso>\n");
    CResoMap map;
    map.load(dir.file("resource.xml"));
    return map;
}

std::string textOf(const CResoMap& map, const std::string& key) {
    std::string out = "<absent>";
    map.lookup(key, out);
    return out;
}
}  // namespace

TEST(ResoMap, TextsByKey) {
    TempFolder dir;
    const CResoMap map =
        loadText(dir,
                 "<resstr cod=\"ok__\">OK</resstr>\n"
                 "<resstr cod=\"twice\">first</resstr>\n"
                 "<resstr cod=\"twice\">second</resstr>\n"
                 "<resstr Cod=\"upper\">ignored</resstr>\n"
                 "<other cod=\"elem\">ignored</other>\n"
                 "<x:resstr xmlns:x=\"urn:t\" cod=\" spaced \">kept as written</x:resstr>");
    EXPECT_EQ(textOf(map, "ok__"), "OK");
    EXPECT_EQ(textOf(map, "twice"), "second") << "a later entry wins";
    EXPECT_EQ(textOf(map, "upper"), "<absent>") << "attribute names are case-sensitive";
    EXPECT_EQ(textOf(map, "elem"), "<absent>");
    EXPECT_EQ(textOf(map, " spaced "), "kept as written") << "local name; key untrimmed";
    EXPECT_EQ(textOf(map, "OK__"), "<absent>") << "keys are case-sensitive";
}

TEST(ResoMap, WholeContentIsTheTextAndAnEmptyElementIsEmpty) {
    TempFolder dir;
    const CResoMap map =
        loadText(dir,
                 "<resstr cod=\"split\">Fish &amp; chips <![CDATA[<now>]]></resstr>\n"
                 "<resstr cod=\"empty\"></resstr>\n"
                 "  <resstr cod=\"next\">after</resstr>\n"
                 "<resstr cod=\"selfclosed\"/>\n"
                 "<resstr cod=\"accents\">D\xC3\xA9j\xC3\xA0 vu</resstr>");
    EXPECT_EQ(textOf(map, "split"), "Fish & chips <now>");
    EXPECT_EQ(textOf(map, "empty"), "");
    EXPECT_EQ(textOf(map, "selfclosed"), "");
    EXPECT_EQ(textOf(map, "next"), "after");
    EXPECT_EQ(textOf(map, "accents"), "D\xC3\xA9j\xC3\xA0 vu");
}

TEST(ResoMap, LongTextsAreCutTo999Characters) {
    TempFolder dir;
    const CResoMap map = loadText(
        dir, "<resstr cod=\"long\">" + std::string(1500, 'x') + "</resstr><resstr cod=\"split\">" +
                 std::string(990, 'y') + "&amp;" + std::string(20, 'z') + "</resstr>");
    EXPECT_EQ(textOf(map, "long"), std::string(999, 'x'));
    EXPECT_EQ(textOf(map, "split"), std::string(990, 'y') + "&" + std::string(8, 'z'));
}

TEST(ResoMap, MissingOrMalformedFileFailsAndKeepsWhatWasRead) {
    TempFolder dir;
    CResoMap map;
    try {
        map.load(dir.file("resource.xml"));
        FAIL() << "a missing file must fail";
    } catch (const CResoException& e) {
        EXPECT_EQ(e.text(), "XML parsing failed!");
    }
    dir.write("resource.xml", "<reso><resstr cod=\"a\">A</resstr><resstr cod=\"b\">B</oops>");
    EXPECT_THROW(map.load(dir.file("resource.xml")), CResoException);
    EXPECT_EQ(textOf(map, "a"), "A");
    EXPECT_EQ(textOf(map, "b"), "<absent>");
}
