#pragma once

#include "support/messageexception.h"

namespace campag {

// A campaign rule was broken (priority, name, type); carries the operator-facing text.
class CCampaignException : public CMessageException {
  public:
    using CMessageException::CMessageException;
};

}  // namespace campag
