#pragma once
// While a NoNewThreads lives, the system refuses every new thread of this process (every new
// thread asks for a stack larger than any address space), as it does when it runs out of
// threads or memory. Threads that already run are not affected.

#include <pthread.h>

#include <cstddef>

namespace testing_support {

class NoNewThreads {
  public:
    NoNewThreads() {
        pthread_getattr_default_np(&previous);
        pthread_attr_t huge;
        pthread_attr_init(&huge);
        pthread_attr_setstacksize(&huge, std::size_t{1} << 50);
        pthread_setattr_default_np(&huge);
        pthread_attr_destroy(&huge);
    }
    ~NoNewThreads() {
        pthread_setattr_default_np(&previous);
        pthread_attr_destroy(&previous);
    }
    NoNewThreads(const NoNewThreads&) = delete;
    NoNewThreads& operator=(const NoNewThreads&) = delete;

  private:
    pthread_attr_t previous;
};

}  // namespace testing_support
