#include "journal/journalentry.h"

namespace journal {

std::string_view outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::delivered:
            return "delivered";
        case Outcome::refused:
            return "refused";
        case Outcome::noAnswer:
            return "no answer";
        case Outcome::connectionFailed:
            return "connection failed";
        case Outcome::noService:
            return "no service";
        case Outcome::fileUnusable:
            return "file unusable";
        case Outcome::rangeTest:
            return "range test";
    }
    return "unknown";
}

std::optional<Outcome> outcomeFromName(std::string_view name) {
    for (const Outcome outcome : allOutcomes) {
        if (outcomeName(outcome) == name) {
            return outcome;
        }
    }
    return std::nullopt;
}

}  // namespace journal
