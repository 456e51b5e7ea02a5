#pragma once
// The statistics window's export: the shown range as CSV, written to the chosen file in one
// step, so an export that fails half-way never leaves a cut file or spoils the one there.

#include "journal/journalstore.h"

#include <string>

namespace journal::ui {

// False, with `error` in words for the operator, when the journal could not be read or the file
// not written; the file is then as it was.
bool exportCsv(const CJournalStore& store, TimeRange range, const std::string& path,
               std::string& error);

}  // namespace journal::ui
