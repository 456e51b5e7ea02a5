#include "journal/ui/csvexport.h"

#include "journal/report.h"
#include "platform/files.h"

#include <sstream>

namespace journal::ui {

bool exportCsv(const CJournalStore& store, TimeRange range, const std::string& path,
               std::string& error) {
    std::ostringstream csv;
    if (!writeCsv(store, range, csv)) {
        error = store.problem();
        return false;
    }
    return platform::replaceFileAtomically(path, csv.str(), &error);
}

}  // namespace journal::ui
