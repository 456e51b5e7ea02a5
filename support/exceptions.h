#pragma once
// Failures of the framework kind that start-up and the workers report with a fixed prefix:
// "archivex:" for a damaged archive, "notsuppex:" for an operation the platform cannot do,
// "resourceex:" for a missing program resource. Memory and file failures are the standard
// library's own (std::bad_alloc, std::system_error, std::filesystem::filesystem_error).

#include <stdexcept>

class CArchiveException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class CNotSupportedException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class CResourceException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
