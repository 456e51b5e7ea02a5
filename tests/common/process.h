#pragma once
// Runs a program as a child process in a given folder with extra environment variables, waits
// for it within a time limit (killing it past the limit) and returns its exit code and output.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct ProcessResult {
    int exitCode = -1;   // -1: killed at the time limit or by a signal
    std::string output;  // stdout and stderr together
    bool timedOut = false;
};

inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& folder,
                                const std::map<std::string, std::string>& environment,
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(126);
        }
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            result.output.append(buffer, static_cast<std::size_t>(n));
        }
        if (::waitpid(child, &status, WNOHANG) == child) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace testing_support
