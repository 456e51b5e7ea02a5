#pragma once
// One row of the outcome journal: what one push attempt did. It names the phone only by the
// salted memory key the device memory uses, never by its address or its name.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace journal {

// The outcome classes, in the order the window stacks them. The numbers are stored in the
// journal file: never renumber, only add.
enum class Outcome : int {
    delivered = 0,
    refused = 1,
    noAnswer = 2,
    connectionFailed = 3,
    noService = 4,
    fileUnusable = 5,
    rangeTest = 6,
};
constexpr std::array<Outcome, 7> allOutcomes{
    Outcome::delivered, Outcome::refused,      Outcome::noAnswer, Outcome::connectionFailed,
    Outcome::noService, Outcome::fileUnusable, Outcome::rangeTest};

// "delivered", "refused", "no answer", "connection failed", "no service", "file unusable",
// "range test": the names reports and CSV files use.
std::string_view outcomeName(Outcome outcome);
std::optional<Outcome> outcomeFromName(std::string_view name);

struct Entry {
    std::int64_t time = 0;  // when the push started, seconds since 1970 (UTC)
    std::string campaign;   // the campaign's name
    std::string sendName;   // the name the phone received the file under
    std::string deviceKey;  // the 32-digit salted memory key
    std::string manufacturer;
    Outcome outcome = Outcome::delivered;
    bool delivered = false;  // for range tests, whether the test picture arrived
    std::int32_t packets = 0;
    std::uint64_t bytes = 0;  // file bytes the phone accepted
    std::uint32_t durationMs = 0;
    std::string radio;  // the local radio's name

    bool operator==(const Entry&) const = default;
};

}  // namespace journal
