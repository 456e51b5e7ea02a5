#pragma once
// While a CommaDecimals lives, the calling thread reads and writes numbers with a decimal comma,
// as the C library does for a whole Qt program on a German desktop (Qt takes the desktop's
// locale). The locale is built for the test with the C library's own localedef, so nothing needs
// to be installed; other threads keep theirs.

#include <locale.h>
#include <stdlib.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <optional>
#include <string>

#include "tests/common/childprocess.h"
#include "tests/common/tempfolder.h"

namespace testing_support {

class CommaDecimals {
  public:
    CommaDecimals() {
        folder.write("comma.def",
                     "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\n"
                     "END LC_NUMERIC\n");
        // localedef warns about the categories left out and still writes the locale.
        runProcess(
            {"/usr/bin/localedef", "-c", "-i", folder.file("comma.def"), folder.file("comma")},
            folder.folder(), {});
        const char* path = ::getenv("LOCPATH");
        const std::optional<std::string> previousPath =
            path ? std::optional<std::string>(path) : std::nullopt;
        ::setenv("LOCPATH", folder.folder().c_str(), 1);
        comma = newLocaleFromPath();
        if (previousPath) {
            ::setenv("LOCPATH", previousPath->c_str(), 1);
        } else {
            ::unsetenv("LOCPATH");
        }
        if (comma != nullptr) {
            previous = ::uselocale(comma);
        }
    }
    ~CommaDecimals() {
        if (comma != nullptr) {
            ::uselocale(previous);
            ::freelocale(comma);
        }
    }
    CommaDecimals(const CommaDecimals&) = delete;
    CommaDecimals& operator=(const CommaDecimals&) = delete;

    bool active() const { return comma != nullptr; }

  private:
    // The C library keeps a copy of LOCPATH from newlocale for good (the leak checker reports
    // it); that copy is not the test's to free.
    static locale_t newLocaleFromPath() {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
        locale_t made = ::newlocale(LC_NUMERIC_MASK, "comma", static_cast<locale_t>(nullptr));
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
        return made;
    }

    TempFolder folder;
    locale_t comma = nullptr;
    locale_t previous = nullptr;
};

}  // namespace testing_support
