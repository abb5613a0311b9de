// A call as each thread ends: a POSIX thread-specific key, whose destructor the system calls
// with the thread's value once its C++ thread-local objects have been destroyed.
#include <pthread.h>

#include "runtime/platform.hpp"

namespace vantril::os {

bool call_at_thread_exit(void (*at_exit)(void*), void* value) {
  struct Key {
    pthread_key_t key{};
    bool made = false;
  };
  static const Key key = [at_exit] {
    Key made;
    made.made = ::pthread_key_create(&made.key, at_exit) == 0;
    return made;
  }();
  return key.made && ::pthread_setspecific(key.key, value) == 0;
}

}  // namespace vantril::os
