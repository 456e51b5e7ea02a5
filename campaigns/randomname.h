#pragma once

#include <string>

// Random file names for the range test's pushes. The generator is seeded from the millisecond
// field of the clock at each call, so two names made within the same millisecond value are equal.
class CRandomName {
  public:
    CRandomName();
    virtual ~CRandomName() = default;

    std::string make(int n) const;

  private:
    std::string alphabet;
};
