#pragma once
// Programs run as child processes by the tests and benchmarks. ChildProcess runs one in the
// background while the caller watches it: started in a given folder with extra environment
// variables, its stdout and stderr written to files that the caller reads while it runs, ended by
// a signal with a time limit. A child still running when the object goes is killed, so no test
// leaves a station or a phone simulator behind. runProcess runs one to its end.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/tempfolder.h"

namespace testing_support {

class ChildProcess {
  public:
    struct Setup {
        std::vector<std::string> argv;  // argv[0] is the program's path
        std::string folder;             // the child's current directory; empty: the caller's
        std::map<std::string, std::string> environment;  // added to the inherited environment
        std::string stdoutFile;
        std::string stderrFile;  // may be stdoutFile: both streams then go to it in order
    };

    explicit ChildProcess(Setup setup) : files(setup) {
        child = ::fork();
        if (child == 0) {
            runChild(setup);
        }
    }
    ~ChildProcess() {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return child; }
    bool started() const { return child > 0; }

    // True while the child has not ended; once it ended, its exit code is kept.
    bool running() {
        if (child <= 0) {
            return false;
        }
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) != child) {
            return true;
        }
        finish(status);
        return false;
    }

    // Waits at most `limit` for the child to end by itself; its exit code, or nothing when it
    // still runs (or ended by a signal).
    std::optional<int> waitForExit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (running()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return exitCode;
    }

    // Sends `signal` and waits at most `limit` for the child to end.
    std::optional<int> stop(int signal, std::chrono::milliseconds limit) {
        if (child > 0) {
            ::kill(child, signal);
        }
        return waitForExit(limit);
    }

    std::string output() const { return readWhole(files.stdoutFile); }
    std::string errors() const { return readWhole(files.stderrFile); }

  private:
    [[noreturn]] static void runChild(const Setup& setup) {
        redirect(setup.stdoutFile, STDOUT_FILENO);
        if (setup.stderrFile == setup.stdoutFile) {
            ::dup2(STDOUT_FILENO, STDERR_FILENO);
        } else {
            redirect(setup.stderrFile, STDERR_FILENO);
        }
        if (!setup.folder.empty() && ::chdir(setup.folder.c_str()) != 0) {
            ::_exit(126);
        }
        for (const auto& [name, value] : setup.environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> args;
        for (const auto& a : setup.argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }

    static void redirect(const std::string& file, int target) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::dup2(fd, target);
        }
    }

    static std::string readWhole(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void finish(int status) {
        exitCode = WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
        child = -1;
    }

    Setup files;
    pid_t child = -1;
    std::optional<int> exitCode;
};

struct ProcessResult {
    int exitCode = -1;   // -1: killed at the time limit or by a signal
    std::string output;  // stdout and stderr together
    bool timedOut = false;
};

// Runs `argv` in `folder` with extra `environment` variables to its end, killing it past
// `limit`.
inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& folder,
                                const std::map<std::string, std::string>& environment,
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const TempFolder outputFolder;
    const std::string output = outputFolder.file("output");
    ChildProcess child({argv, folder, environment, output, output});
    ProcessResult result;
    const std::optional<int> exitCode = child.waitForExit(limit);
    if (!exitCode && child.running()) {
        result.timedOut = true;
        child.stop(SIGKILL, limit);
    }
    result.exitCode = exitCode.value_or(-1);
    result.output = child.output();
    return result;
}

}  // namespace testing_support
