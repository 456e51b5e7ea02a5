#pragma once
// Failures of the configuration and of the INI records.

#include "support/messageexception.h"

// The settings file is missing, has no or the wrong version, or the configuration is not there
// yet; also a record that cannot be stored.
class CIniSeriException : public CMessageException {
  public:
    using CMessageException::CMessageException;
};

// A record was asked for a key it never declared.
class CNotAKeyException : public CMessageException {
  public:
    using CMessageException::CMessageException;
};
