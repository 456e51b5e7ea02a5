#include "obextcpreceiver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testfiles.h"

namespace obexatest {

namespace {

constexpr const char* obexTcpProgram = "/usr/bin/obex_tcp";
constexpr auto startLimit = std::chrono::seconds(75);
constexpr auto listenLimit = std::chrono::seconds(10);
constexpr auto retryPause = std::chrono::milliseconds(500);
constexpr auto arrivalLimit = std::chrono::seconds(10);
constexpr auto pollStep = std::chrono::milliseconds(10);

bool listensIn(const char* table, int port) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.size() >= 5 && local.compare(local.size() - 5, 5, wanted) == 0) {
            return true;
        }
    }
    return false;
}

// Exits the child with the reason when obex_tcp cannot be started.
[[noreturn]] void runObexTcp(const std::filesystem::path& folder) {
    if (::chdir(folder.c_str()) != 0) {
        ::_exit(126);
    }
    const int output = ::open("obex_tcp.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (output >= 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        ::close(output);
    }
    ::setenv("LD_PRELOAD", OBEXA_REUSEADDR_PRELOAD, 1);
    ::execl(obexTcpProgram, "obex_tcp", static_cast<char*>(nullptr));
    ::_exit(127);
}

}  // namespace

bool tcpPortListening(int port) {
    return listensIn("/proc/net/tcp", port) || listensIn("/proc/net/tcp6", port);
}

bool ObexTcpReceiver::installed() {
    return ::access(obexTcpProgram, X_OK) == 0;
}

ObexTcpReceiver::ObexTcpReceiver(const std::filesystem::path& receiveFolder)
    : folder(receiveFolder) {
    if (tcpPortListening(obexTcpPort)) {
        throw std::runtime_error("TCP port 650 is already taken; is another obex_tcp running?");
    }
    // A connection of an obex_tcp started elsewhere without SO_REUSEADDR blocks the port for
    // the minute of its TIME_WAIT: keep trying for a little longer than that.
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    while (!startOnce()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("obex_tcp could not listen on port 650: " +
                                     readText(folder / "obex_tcp.out"));
        }
        std::this_thread::sleep_for(retryPause);
    }
}

bool ObexTcpReceiver::startOnce() {
    child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        runObexTcp(folder);
    }
    const auto deadline = std::chrono::steady_clock::now() + listenLimit;
    while (!tcpPortListening(obexTcpPort)) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            child = -1;
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            return false;
        }
        std::this_thread::sleep_for(pollStep);
    }
    return true;
}

ObexTcpReceiver::~ObexTcpReceiver() {
    stop();
}

std::optional<std::vector<std::uint8_t>> ObexTcpReceiver::received(const std::string& name,
                                                                   std::size_t size) {
    const auto file = folder / name;
    const auto deadline = std::chrono::steady_clock::now() + arrivalLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        if (std::filesystem::file_size(file, error) == size && !error) {
            return readAll(file);
        }
        std::this_thread::sleep_for(pollStep);
    }
    return std::nullopt;
}

void ObexTcpReceiver::stop() {
    if (child <= 0) {
        return;
    }
    ::kill(child, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        std::this_thread::sleep_for(pollStep);
    }
    child = -1;
}

}  // namespace obexatest
