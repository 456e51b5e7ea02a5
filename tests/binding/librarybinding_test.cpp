#include "binding/librarybinding.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace {

// A component with one call of its own, made the way derived components make theirs.
class ProbeComponent : public CDllComp {
  public:
    using CDllComp::CDllComp;
    int probeValue() {
        auto* probe = exportNamed<int()>("probeValue");
        return probe != nullptr ? probe() : 0;
    }
};

constexpr const char* radioLibrary = NYVEX_BIN_DIR "/libRadiox.so";
// Found only in the test program's own folder, so loading it proves that folder comes first.
constexpr const char* probeLibrary = "libbinding_probe.so";

TEST(CDllComp, MissingLibraryLeavesTheComponentNotLoadedAndCallsNeutral) {
    ProbeComponent component("libNoSuchNyvexLibrary.so", {});
    EXPECT_FALSE(component.isLoaded());
    EXPECT_EQ(component.probeValue(), 0);
    EXPECT_EQ(component.startLogging("p.txt"), 0);
    EXPECT_EQ(component.stopLogging(), 0);
}

TEST(CDllComp, ComponentIsLoadedOnlyWhenEveryNeededExportIsThere) {
    EXPECT_TRUE(CDllComp(radioLibrary, {"scandevices", "getBTData", "getMaSe"}).isLoaded());
    EXPECT_FALSE(CDllComp(radioLibrary, {"scandevices", "noSuchExport"}).isLoaded());
    EXPECT_TRUE(CDllComp(probeLibrary, {"probeValue"}).isLoaded());
}

TEST(CDllComp, ExportsAreLookedUpAtEveryCall) {
    ProbeComponent component(probeLibrary, {"probeValue"});
    ASSERT_TRUE(component.isLoaded());
    EXPECT_EQ(component.probeValue(), 7);
    EXPECT_EQ(component.startLogging("probe.txt"), 42);
    EXPECT_TRUE(component.isLoaded());
}

TEST(CDllComp, ExportMissingAtCallTimeClearsLoaded) {
    ProbeComponent component(probeLibrary, {"probeValue"});
    ASSERT_TRUE(component.isLoaded());
    EXPECT_EQ(component.stopLogging(), 0);
    EXPECT_FALSE(component.isLoaded());
    EXPECT_EQ(component.probeValue(), 7) << "the exports that exist still work";
}

TEST(CDllComp, TraceSwitchReachesTheLibrary) {
    const auto trace = std::filesystem::temp_directory_path() /
                       ("dllcomp_trace_" + std::to_string(::getpid()) + ".txt");
    CDllComp component(radioLibrary, {"scandevices", "getBTData", "getMaSe"});
    EXPECT_EQ(component.startLogging(trace.string()), 1);
    EXPECT_TRUE(std::filesystem::exists(trace));
    EXPECT_EQ(component.stopLogging(), 1);
    EXPECT_TRUE(component.isLoaded());
    std::filesystem::remove(trace);
}

}  // namespace
