#pragma once
// The base of the station's own failures: each carries one message text, which start-up and the
// workers write to the error log. Thrown by value, caught by reference. The base is deliberately
// not a std::exception, so that a handler for the standard library's failures never takes one of
// these by mistake.

#include <string>

class CMessageException {
  public:
    explicit CMessageException(std::string message) : message(std::move(message)) {}
    virtual ~CMessageException() = default;
    const std::string& text() const { return message; }

  private:
    std::string message;
};
