#include "app/station/startup.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "campaigns/campaignexception.h"
#include "config/iniserializer.h"
#include "support/exceptions.h"

namespace {
template <typename E>
std::string reportFor(E failure) {
    return startupFailureText(std::make_exception_ptr(failure));
}
}  // namespace

TEST(StartupFailure, EveryHandlerGivesItsReport) {
    EXPECT_EQ(reportFor(CNotAKeyException("getValue4Key x")), "getValue4Key x");
    EXPECT_EQ(reportFor(CIniSeriException("version not found")), "version not found");
    EXPECT_EQ(reportFor(std::bad_alloc()), "memoryex:std::bad_alloc");
    EXPECT_EQ(reportFor(std::filesystem::filesystem_error(
                  "open", std::make_error_code(std::errc::permission_denied))),
              "fileex:filesystem error: open: Permission denied");
    EXPECT_EQ(reportFor(CArchiveException("truncated")), "archivex:truncated");
    EXPECT_EQ(reportFor(CNotSupportedException("no")), "notsuppex:no");
    EXPECT_EQ(reportFor(CResourceException("icon")), "resourceex:icon");
    EXPECT_EQ(reportFor(campag::CCampaignException("prio taken")), "prio taken");
    EXPECT_EQ(reportFor(CResoException("XML parsing failed!")), "XML parsing failed!");
}

TEST(StartupFailure, AnythingElseGivesTheSystemTextOfTheLastError) {
    errno = ENOENT;
    EXPECT_EQ(reportFor(42), "caught ...! No such file or directory");
    errno = 0;
    EXPECT_EQ(reportFor(42), "caught ...! ");
}
