// Threads and locks on POSIX systems: pthreads, what std::thread and
// std::mutex are built on.
#include "platform/platform.h"

#include <pthread.h>

#include <cstdlib>
#include <memory>

namespace ramtune::platform {
namespace {

void* ThreadStart(void* parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return nullptr;
}

pthread_mutex_t* Mutex(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  auto* handed = new std::function<void()>(std::move(body));
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int rc = pthread_create(&thread, &attributes, ThreadStart, handed);
  pthread_attr_destroy(&attributes);
  if (rc != 0) {
    delete handed;
    return false;
  }
  return true;
}

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 8,
              "Lock::storage_ does not fit a mutex");

Lock::Lock() {
  // A mutex that cannot be made leaves the program without its locks:
  // stopping is better than running unguarded.
  if (pthread_mutex_init(Mutex(storage_), nullptr) != 0) std::abort();
}
Lock::~Lock() { pthread_mutex_destroy(Mutex(storage_)); }
void Lock::Acquire() { pthread_mutex_lock(Mutex(storage_)); }
void Lock::Release() { pthread_mutex_unlock(Mutex(storage_)); }

}  // namespace ramtune::platform
