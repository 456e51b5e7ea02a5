#pragma once
// The base of the components that reach one of the station's run-time libraries (the radio
// library, the object-push library). The library is loaded by file name when the component is
// made, and each export is looked up by name at the moment it is called, so a library that lacks
// an export makes that call neutral and the component "not loaded", never a crash. Derived
// components release whatever they got from the library in their own destructor; the library
// itself is released last, by this base.

#include <atomic>
#include <initializer_list>
#include <string>

#include "platform/library.h"

class CDllComp {
  public:
    // Loads `fileName` (from the program's folder first); the component is loaded only when the
    // library loaded and every one of `neededExports` is there.
    CDllComp(const std::string& fileName, std::initializer_list<const char*> neededExports);
    virtual ~CDllComp() = default;
    CDllComp(const CDllComp&) = delete;
    CDllComp& operator=(const CDllComp&) = delete;

    bool isLoaded() const { return loaded; }
    // The library's own trace switch: its result, or 0 when the export is missing.
    int startLogging(const std::string& path);
    // 1 when the library's trace was switched off, 0 when the export is missing.
    int stopLogging();

  protected:
    // The export `name` as a function of type `Function`, looked up now; nullptr (and the
    // component no longer loaded) when the library does not have it.
    template <typename Function>
    Function* exportNamed(const char* name) {
        return reinterpret_cast<Function*>(lookUp(name));
    }
    // The same for an export that older libraries lack: nullptr when it is missing, and the
    // component stays loaded.
    template <typename Function>
    Function* optionalExport(const char* name) const {
        return reinterpret_cast<Function*>(module.symbol(name));
    }

  private:
    void* lookUp(const char* name);

    platform::Library module;
    // Cleared by whichever thread finds an export missing.
    std::atomic<bool> loaded{false};
};
