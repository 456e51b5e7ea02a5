#pragma once

#include <string>

namespace campag {

// A campaign rule was broken (priority, name, type); carries the operator-facing text.
class CCampaignException {
  public:
    explicit CCampaignException(std::string message) : message(std::move(message)) {}
    virtual ~CCampaignException() = default;
    const std::string& text() const { return message; }

  private:
    std::string message;
};

}  // namespace campag
