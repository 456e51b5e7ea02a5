#include "transport.h"

#include "libs/simworld/simworld.h"

namespace obexa {

std::unique_ptr<CObexTransport> makeTransport() {
    if (const auto file = simworld::worldFile()) {
        return makeSimTransport(*file);
    }
    return makeBluezTransport();
}

}  // namespace obexa
