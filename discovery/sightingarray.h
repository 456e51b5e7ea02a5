#pragma once
// An owning array of sightings: it deletes whatever it still holds when it goes. Elements
// leave it only through calls that hand their ownership to the caller.

#include <cstddef>
#include <memory>
#include <vector>

#include "discovery/sighting.h"

namespace blto {

class CBtAdArr {
  public:
    using Element = std::unique_ptr<CBtAdWCounter>;

    CBtAdArr() = default;
    virtual ~CBtAdArr() = default;
    CBtAdArr(const CBtAdArr&) = delete;
    CBtAdArr& operator=(const CBtAdArr&) = delete;

    // Appends the sighting and returns its index.
    std::size_t add(Element counter);
    // The newest sighting, or null when the array is empty.
    Element takeLast();
    // Empties the array and hands every element to the caller.
    [[nodiscard]] std::vector<Element> clear();
    void deleteAll() { items.clear(); }

    // Some element is a sighting of the same device as `counter`.
    bool contains(const CBtAdWCounter& counter) const;
    // Deletes the first element of the device `record` belongs to; nothing when none does.
    void removeByAddress(const NyvexSighting& record);
    // Throws std::invalid_argument for an index outside the array.
    CBtAdWCounter& at(std::ptrdiff_t index) const;

    std::size_t size() const { return items.size(); }
    bool empty() const { return items.empty(); }

  private:
    std::vector<Element> items;
};

}  // namespace blto
