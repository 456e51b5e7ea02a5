// phonesim WORLD INBOX: the phones of a simulated world, each an OBEX Object Push server over
// TCP that stores what it receives under INBOX/<address>/. One line per event on stdout; ends
// cleanly on SIGTERM or SIGINT.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "libs/simworld/simworld.h"
#include "platform/timedmutex.h"
#include "tools/phonesim/simulator.h"

namespace {

// Event lines from all connections, whole and in order, flushed at once so that a test or the
// demo reading the pipe sees each event as it happens.
class StdoutLines {
  public:
    void print(const std::string& line) {
        std::unique_lock guard(lock, std::defer_lock);
        if (!guard.try_lock_for(std::chrono::seconds(2))) {
            return;
        }
        std::fputs((line + "\n").c_str(), stdout);
        std::fflush(stdout);
    }

  private:
    platform::TimedMutex lock;
};

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

int fail(const std::string& text) {
    std::fprintf(stderr, "phonesim: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: phonesim WORLD INBOX\n");
        return 2;
    }
    // Blocked before any thread starts, so every thread inherits the mask and the signals wait
    // for sigwait below; a peer that goes away must not end the process through SIGPIPE.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const simworld::World world = simworld::load(argv[1]);
    for (const auto& problem : world.problems) {
        std::fprintf(stderr, "phonesim: %s: %s\n", argv[1], problem.c_str());
    }
    StdoutLines out;
    phonesim::Simulator simulator(argv[2], [&out](const std::string& line) { out.print(line); });
    if (auto problem = simulator.start(world)) {
        return fail(std::string(argv[1]) + ": " + *problem);
    }
    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    out.print(std::string("phonesim stopped (") + (received == SIGINT ? "SIGINT" : "SIGTERM") +
              ")");
    return 0;
}
