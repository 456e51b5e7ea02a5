#pragma once
// Base of a component that keeps its own plain-text trace file.

#include <cstdio>
#include <string>

#include "logtarget.h"

namespace obexa {

class CDllComponent {
  public:
    static constexpr std::size_t logPathCapacity = 256;  // with the terminator

    CDllComponent() = default;
    virtual ~CDllComponent();
    CDllComponent(const CDllComponent&) = delete;
    CDllComponent& operator=(const CDllComponent&) = delete;

    // Opens `path` for appending; a path that does not fit or a file that does not open leaves
    // the component without a log.
    void openLog(std::u16string_view path);
    const CLogTarget& logTarget() const { return target; }

  private:
    std::u16string logPath;
    CLogTarget target;
};

}  // namespace obexa
