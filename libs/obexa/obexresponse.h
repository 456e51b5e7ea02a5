#pragma once
// A phone's answer as it is written to the push's trace. Only the first byte steers the
// exchange; these classes describe the rest for diagnosis and never trust its length fields.

#include <cstdint>
#include <vector>

#include "logtarget.h"

namespace obexa {

constexpr std::uint8_t responseContinue = 0x90;
constexpr std::uint8_t responseSuccess = 0xA0;

// The text of a response code, or nullptr for a code that is not in the table.
const char* responseCodeText(std::uint8_t code);

class CObexResponse {
  public:
    CObexResponse(const std::uint8_t* bytes, std::uint16_t count, CLogTarget log);
    virtual ~CObexResponse() = default;
    virtual void log() const;

  protected:
    // The byte at `offset`, or 0 when the response is shorter.
    std::uint8_t at(std::size_t offset) const;

    std::vector<std::uint8_t> received;
    CLogTarget target;
};

// The Success answer to CONNECT: adds the peer's flags, version and maximum packet length.
class CObexConnectResponse : public CObexResponse {
  public:
    using CObexResponse::CObexResponse;
    void log() const override;
};

// Any answer that is neither Success nor Continue: adds the text of its first header.
class CObexErrResponse : public CObexResponse {
  public:
    using CObexResponse::CObexResponse;
    void log() const override;
};

}  // namespace obexa
