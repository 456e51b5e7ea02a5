#include "nyvexapp.h"

#include <cxxabi.h>

#include <cstdlib>
#include <iostream>

#include "app/serializer.h"
#include "support/errlog.h"

std::string typeName(const std::type_info& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    return name;
}

CNyvexApp::CNyvexApp() = default;
CNyvexApp::~CNyvexApp() = default;

bool CNyvexApp::logError(const std::string& text, const std::string& classTag) {
    std::unique_lock<std::timed_mutex> guard(logLock, std::chrono::milliseconds(logLockWaitMs));
    if (!guard.owns_lock()) {
        return false;
    }
    CErrLog1::write(text, classTag, "");
    return true;
}

std::string CNyvexApp::text(const std::string& key) {
    std::string out;
    if (!textMap.lookup(key, out)) {
        logError("Key not found: " + key, typeTag(this));
        return {};
    }
    return out;
}

CInit CNyvexApp::configCopy() const {
    if (!configuration) {
        throw CIniSeriException("configuration not loaded");
    }
    return *configuration;
}

void CNyvexApp::showMessage(const std::string& text, const std::string& title) {
    if (userNotice) {
        userNotice->showMessage(text, title);
        return;
    }
    CUserNotice::showOnConsole(text, title);
}

void CUserNotice::showOnConsole(const std::string& text, const std::string& title) {
    std::cerr << (title.empty() ? "" : title + ": ") << text << std::endl;
}

void CNyvexApp::setConfig(std::unique_ptr<CInit> config) {
    configuration = std::move(config);
}

CNyvexApp& theApp() {
    static CNyvexApp app;
    return app;
}
