#include "library.h"

#include <dlfcn.h>

#include "system.h"

namespace platform {

Library::~Library() {
    close();
}

bool Library::open(const std::string& fileName) {
    close();
    const bool bareName = fileName.find('/') == std::string::npos;
    if (bareName) {
        const std::string besideProgram = programFolder() + "/" + fileName;
        handle = ::dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        const char* message = ::dlerror();
        lastError = message ? message : "cannot load " + fileName;
    }
    return handle != nullptr;
}

void Library::close() {
    if (handle != nullptr) {
        ::dlclose(handle);
        handle = nullptr;
    }
}

void* Library::symbol(const std::string& name) const {
    return handle ? ::dlsym(handle, name.c_str()) : nullptr;
}

}  // namespace platform
