#include "sightingarray.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace blto {

std::size_t CBtAdArr::add(Element counter) {
    items.push_back(std::move(counter));
    return items.size() - 1;
}

CBtAdArr::Element CBtAdArr::takeLast() {
    if (items.empty()) {
        return nullptr;
    }
    Element last = std::move(items.back());
    items.pop_back();
    return last;
}

std::vector<CBtAdArr::Element> CBtAdArr::clear() {
    return std::exchange(items, {});
}

bool CBtAdArr::contains(const CBtAdWCounter& counter) const {
    return std::any_of(items.begin(), items.end(), [&](const Element& e) {
        return e && sameDevice(e->record(), counter.record());
    });
}

void CBtAdArr::removeByAddress(const NyvexSighting& record) {
    const auto it = std::find_if(items.begin(), items.end(), [&](const Element& e) {
        return e && sameDevice(e->record(), &record);
    });
    if (it != items.end()) {
        items.erase(it);
    }
}

CBtAdWCounter& CBtAdArr::at(std::ptrdiff_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size() || !items[index]) {
        throw std::invalid_argument("CBtAdArr::at " + std::to_string(index));
    }
    return *items[static_cast<std::size_t>(index)];
}

}  // namespace blto
