#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/filedescriptor.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tests/common/ordinaryuser.h"
#include "tests/common/tempfolder.h"

namespace profile = platform::profile;
using testing_support::OrdinaryUserFiles;
using testing_support::TempFolder;

namespace {

// Collects what the layer reports while it lives.
struct CollectedReports {
    std::vector<std::string> texts;
    CollectedReports() {
        profile::setProblemReport([this](const std::string& text) { texts.push_back(text); });
    }
    ~CollectedReports() { profile::setProblemReport(nullptr); }
};

// Counts the files renamed into a folder: every atomic replacement is one.
class RenameCounter {
  public:
    explicit RenameCounter(const std::filesystem::path& folder)
        : watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        ::inotify_add_watch(watch.get(), folder.c_str(), IN_MOVED_TO);
    }
    int count() {
        int renames = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(watch.get(), buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                ++renames;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return renames;
    }

  private:
    platform::FileDescriptor watch;
};

}  // namespace

TEST(Profile, MissingFileSectionOrKeyGivesTheFallback) {
    TempFolder dir;
    const std::string ini = dir.file("a.ini");
    EXPECT_EQ(profile::read(ini, "S", "k", "fb"), "fb");
    dir.write("a.ini", "[S]\nk=v\nempty=\n");
    EXPECT_EQ(profile::read(ini, "Other", "k", "fb"), "fb");
    EXPECT_EQ(profile::read(ini, "S", "missing", "fb"), "fb");
    EXPECT_EQ(profile::read(ini, "S", "empty", "fb"), "") << "a present empty value is not missing";
}

TEST(Profile, SectionsAndKeysIgnoreLetterCase) {
    TempFolder dir;
    dir.write("a.ini", "[Tolvik]\nVersion=1.061\n");
    EXPECT_EQ(profile::read(dir.file("a.ini"), "tolvik", "VERSION", ""), "1.061");
    ASSERT_TRUE(profile::write(dir.file("a.ini"), "TOLVIK", "version", "2"));
    EXPECT_EQ(profile::keys(dir.file("a.ini"), "Tolvik").size(), 1u);
    EXPECT_EQ(profile::read(dir.file("a.ini"), "Tolvik", "Version", ""), "2");
}

TEST(Profile, WriteCreatesTheFileAndIsSeenThroughAnotherPathSpelling) {
    TempFolder dir;
    ASSERT_TRUE(profile::write(dir.file("new.ini"), "S", "k", "v"));
    EXPECT_EQ(dir.read("new.ini"), "[S]\nk=v\n");
    const std::string other = (dir.path() / "." / "new.ini").string();
    EXPECT_EQ(profile::read(other, "S", "k", ""), "v");
}

TEST(Profile, ChangesMadeByAnotherWriterAreSeenAtTheNextRead) {
    TempFolder dir;
    dir.write("a.ini", "[S]\nk=old\n");
    EXPECT_EQ(profile::read(dir.file("a.ini"), "S", "k", ""), "old");
    dir.write("a.ini", "[S]\nk=new value\n");  // same size would not do: content differs in size
    EXPECT_EQ(profile::read(dir.file("a.ini"), "S", "k", ""), "new value");
}

TEST(Profile, DeleteKeyAndSectionRemoveOnlyWhatTheyName) {
    TempFolder dir;
    dir.write("a.ini", "[A1]\nx=1\ny=2\n[A2]\nx=3\n");
    EXPECT_TRUE(profile::deleteKey(dir.file("a.ini"), "A1", "x"));
    EXPECT_TRUE(profile::deleteKey(dir.file("a.ini"), "A1", "notthere"));
    EXPECT_EQ(profile::read(dir.file("a.ini"), "A1", "x", "gone"), "gone");
    EXPECT_EQ(profile::read(dir.file("a.ini"), "A1", "y", ""), "2");
    EXPECT_TRUE(profile::deleteSection(dir.file("a.ini"), "A2"));
    EXPECT_EQ(profile::sections(dir.file("a.ini")), std::vector<std::string>{"A1"});
}

namespace {
using Kind = profile::Change::Kind;

ino_t inodeOf(const std::string& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}
}  // namespace

TEST(Profile, ABatchMakesItsChangesInOrder) {
    TempFolder dir;
    const std::string ini = dir.write("a.ini", "[A1]\nx=1\ny=2\n[A2]\nx=3\nkept=4\n[B]\nz=5\n");
    ASSERT_TRUE(profile::applyBatch(ini, {
                                             {Kind::deleteKey, "a1", "x", ""},
                                             {Kind::deleteKey, "A1", "Y", ""},
                                             {Kind::deleteSectionIfEmpty, "A1", "", ""},
                                             {Kind::deleteKey, "A2", "x", ""},
                                             {Kind::deleteSectionIfEmpty, "A2", "", ""},
                                             {Kind::deleteSectionIfEmpty, "Absent", "", ""},
                                             {Kind::write, "B", "z", "6"},
                                             {Kind::write, "B", "z", "7"},
                                             {Kind::write, "A1", "x", "new"},
                                         }));
    EXPECT_EQ(profile::sections(ini), (std::vector<std::string>{"A2", "B", "A1"}))
        << "A1 was removed once empty and made again by the later write";
    EXPECT_EQ(profile::keys(ini, "A2"), std::vector<std::string>{"kept"});
    EXPECT_EQ(profile::read(ini, "B", "z", ""), "7");
    EXPECT_EQ(profile::read(ini, "A1", "x", ""), "new");
    EXPECT_EQ(profile::read(ini, "A1", "y", "gone"), "gone");

    const ino_t before = inodeOf(ini);
    ASSERT_TRUE(profile::applyBatch(ini, {{Kind::write, "B", "z", "7"},
                                          {Kind::deleteKey, "B", "absent", ""},
                                          {Kind::deleteSectionIfEmpty, "B", "", ""}}));
    EXPECT_EQ(inodeOf(ini), before) << "a batch that changes nothing does not rewrite the file";
}

// A value moved from one section to another in one batch: a reader of the file (here in another
// thread, as another process would) finds it in exactly one of them at every moment.
TEST(Profile, ReadersNeverSeeABatchHalfDone) {
    TempFolder dir;
    const std::string ini = dir.file("a.ini");
    ASSERT_TRUE(profile::write(ini, "Left", "token", "1"));
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done) {
            const auto raw = platform::readFile(ini);
            const auto left = raw ? raw->find("[Left]") : std::string::npos;
            const auto right = raw ? raw->find("[Right]") : std::string::npos;
            if ((left == std::string::npos) == (right == std::string::npos)) {
                ++bad;
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        const std::string from = i % 2 == 0 ? "Left" : "Right";
        const std::string to = i % 2 == 0 ? "Right" : "Left";
        ASSERT_TRUE(profile::applyBatch(ini, {{Kind::deleteKey, from, "token", ""},
                                              {Kind::deleteSectionIfEmpty, from, "", ""},
                                              {Kind::write, to, "token", std::to_string(i)}}));
    }
    done = true;
    reader.join();
    EXPECT_EQ(bad, 0);
}

TEST(Profile, WindowsFileInUtf16WithByteOrderMarkAndCrlfIsRead) {
    TempFolder dir;
    const std::string text = "[Tolvik]\r\npath=C:\\Station\\\r\nname=K\xC3\xB6ln\r\n";
    std::string bytes = "\xFF\xFE" + platform::toUtf16leBytes(text);
    dir.write("win.ini", bytes);
    EXPECT_EQ(profile::read(dir.file("win.ini"), "Tolvik", "path", ""), "C:\\Station\\");
    EXPECT_EQ(profile::read(dir.file("win.ini"), "Tolvik", "name", ""), "K\xC3\xB6ln");
}

TEST(Profile, AFailedReplaceReportsAndLeavesNoTemporaryFileBehind) {
    TempFolder dir;
    std::filesystem::create_directory(dir.path() / "taken.ini");  // cannot be replaced by a file
    std::string error;
    EXPECT_FALSE(platform::replaceFileAtomically(dir.file("taken.ini"), "x", &error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    EXPECT_FALSE(profile::write(dir.file("taken.ini"), "S", "k", "v"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(Profile, ReadersInOtherThreadsNeverSeeAHalfWrittenFile) {
    TempFolder dir;
    const std::string ini = dir.file("a.ini");
    ASSERT_TRUE(profile::write(ini, "S", "counter", "0"));
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        int last = 0;
        while (!done) {
            // A raw read of the file as another process would see it, plus the layer's read.
            const auto raw = platform::readFile(ini);
            if (!raw || raw->rfind("[S]\ncounter=", 0) != 0) {
                ++bad;
            }
            const int seen = std::stoi(profile::read(ini, "S", "counter", "-1"));
            if (seen < last) {
                ++bad;
            }
            last = seen;
        }
    });
    for (int i = 1; i <= 300; ++i) {
        ASSERT_TRUE(profile::write(ini, "S", "counter", std::to_string(i)));
        ASSERT_EQ(profile::read(ini, "S", "counter", ""), std::to_string(i));
    }
    done = true;
    reader.join();
    EXPECT_EQ(bad, 0);
}

TEST(Profile, ValuesReadExactlyAsTheyStandInTheFile) {
    struct Case {
        const char* what;
        std::string file;
        std::string value;
    };
    const Case cases[] = {
        {"blanks around the value", "[S]\nk=  spaced.gif \n", "  spaced.gif "},
        {"tabs around the value", "[S]\nk=\tx\t\n", "\tx\t"},
        {"blanks around the key", "[S]\n  k = v \n", " v "},
        {"an equals sign in the value", "[S]\nk=a=b\n", "a=b"},
        {"only blanks", "[S]\nk=   \n", "   "},
        {"CRLF line ends", "[S]\r\nk= v \r\nl=w\r\n", " v "},
        {"the last of two equal keys", "[S]\nk= first\nK= second \n", " second "},
        {"a UTF-8 byte-order mark", "\xEF\xBB\xBF[S]\nk= v \n", " v "},
        {"a key before every section", "k=outside\n[S]\nk= inside \n", " inside "},
        {"a comment line like a key", "[S]\n; k=commented\nk= v \n# k=also\n", " v "},
        {"a Windows file", "\xFF\xFE" + platform::toUtf16leBytes("[S]\r\nk= K\xC3\xB6ln \r\n"),
         " K\xC3\xB6ln "},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        dir.write("a.ini", c.file);
        EXPECT_EQ(profile::read(dir.file("a.ini"), "s", "K", "fb"), c.value) << c.what;
    }
}

// A value written here reads the same in this process and, after a fresh parse of the file, in
// the next one.
TEST(Profile, AWrittenValueReadsTheSameInEveryProcess) {
    TempFolder dir;
    const std::string ini = dir.file("a.ini");
    ASSERT_TRUE(profile::write(ini, "S", "mediafile", "  spaced.gif "));
    EXPECT_EQ(profile::read(ini, "S", "mediafile", ""), "  spaced.gif ");
    EXPECT_EQ(dir.read("a.ini"), "[S]\nmediafile=  spaced.gif \n");
    ASSERT_TRUE(platform::replaceFileAtomically(ini, dir.read("a.ini")));  // as another writer
    EXPECT_EQ(profile::read(ini, "S", "mediafile", ""), "  spaced.gif ");
}

TEST(Profile, AFileThatCannotBeReadIsNeverChangedAndEveryRefusalIsReported) {
    using Change = std::function<bool(const std::string&)>;
    const std::pair<const char*, Change> changes[] = {
        {"write", [](const std::string& f) { return profile::write(f, "Tolvik", "path", "/x/"); }},
        {"deleteKey", [](const std::string& f) { return profile::deleteKey(f, "Tolvik", "k"); }},
        {"deleteSection", [](const std::string& f) { return profile::deleteSection(f, "Tolvik"); }},
        {"replaceKeys",
         [](const std::string& f) {
             return profile::replaceKeys(f, "Tolvik", {"k"}, {{"a", "1"}});
         }},
    };
    const std::string content = "[Tolvik]\nversion=1.061\nk=v\n";
    for (const auto& [what, change] : changes) {
        TempFolder dir;
        OrdinaryUserFiles::openFolder(dir.path());
        const std::string ini = dir.write("appTolvik.ini", content);
        OrdinaryUserFiles::makeUnreadable(ini);
        CollectedReports reports;
        {
            OrdinaryUserFiles user;
            EXPECT_FALSE(change(ini)) << what;
        }
        EXPECT_EQ(dir.read("appTolvik.ini"), content) << what;
        ASSERT_EQ(reports.texts.size(), 1u) << what;
        EXPECT_NE(reports.texts[0].find("not changed in " + ini + ": the file cannot be read ("),
                  std::string::npos)
            << reports.texts[0];
    }
}

TEST(Profile, AReadThatFailedIsNotKeptAndIsReportedOncePerFailure) {
    TempFolder dir;
    OrdinaryUserFiles::openFolder(dir.path());
    const std::string ini = dir.write("a.ini", "[S]\nk=v\n");
    OrdinaryUserFiles::makeUnreadable(ini);
    CollectedReports reports;
    const auto readAsUser = [&] {
        OrdinaryUserFiles user;
        return profile::read(ini, "S", "k", "fb");
    };
    EXPECT_EQ(readAsUser(), "fb");
    EXPECT_EQ(readAsUser(), "fb");
    EXPECT_EQ(reports.texts,
              std::vector<std::string>{"INI file " + ini + " cannot be read: Permission denied"});
    std::filesystem::permissions(ini, std::filesystem::perms::all);  // the error clears
    EXPECT_EQ(readAsUser(), "v") << "the failed read was kept as an empty file";
    dir.write("a.ini", "[S]\nk=another value\n");
    OrdinaryUserFiles::makeUnreadable(ini);
    EXPECT_EQ(readAsUser(), "fb");
    EXPECT_EQ(reports.texts.size(), 2u) << "a new failure is reported again";
    EXPECT_EQ(profile::readProblem(dir.file("missing.ini")), std::nullopt);
    OrdinaryUserFiles user;
    EXPECT_EQ(profile::readProblem(ini), "Permission denied");
}

TEST(Profile, ReplaceKeysRewritesASectionInOneReplacement) {
    TempFolder dir;
    const std::string ini =
        dir.write("a.ini",
                  "[Tolvik]\nversion=1.061\nnogoaddress1=A\nnogoaddress2=B\nnogoaddress3=C\n"
                  "[Other]\nnogoaddress1=keep\n");
    RenameCounter renames(dir.path());
    ASSERT_TRUE(profile::replaceKeys(ini, "TOLVIK",
                                     {"nogoaddress1", "nogoaddress2", "nogoaddress3"},
                                     {{"nogoaddress1", "B"}, {"nogoaddress2", " C "}}));
    EXPECT_EQ(renames.count(), 1);
    EXPECT_EQ(profile::keys(ini, "Tolvik"),
              (std::vector<std::string>{"version", "nogoaddress1", "nogoaddress2"}));
    EXPECT_EQ(profile::read(ini, "Tolvik", "nogoaddress1", ""), "B");
    EXPECT_EQ(profile::read(ini, "Tolvik", "nogoaddress2", ""), " C ");
    EXPECT_EQ(profile::read(ini, "Other", "nogoaddress1", ""), "keep");

    EXPECT_TRUE(profile::replaceKeys(ini, "Tolvik", {"nogoaddress7"}, {}));
    EXPECT_TRUE(profile::replaceKeys(ini, "Missing", {"x"}, {}));
    EXPECT_EQ(renames.count(), 0) << "nothing to change, nothing written";
}
