#pragma once

#include <cstddef>
#include <functional>

#include <pthread.h>

namespace brinmoor::counting {

// The system side of a run's worker threads: starting them with a small
// stack, their priority, and the descriptors they may hold.

// Many systems set a low soft limit on open files for programs that use
// select(); this one does not, and a run holds a batch of files per worker.
// Raises the soft limit to the hard one, once per process.
void raiseDescriptorLimit();

// Descriptors this process may still open.
long descriptorsFree();

// Starts body on a thread of its own with a stack of stackSize bytes: 0, or
// the reason the system would not start it (nothing is thrown).
int startThread(pthread_t *thread, std::size_t stackSize, std::function<void()> body);

// Makes the calling thread niceness steps nicer than it is, where the
// system keeps a nice value per thread; elsewhere nothing.
void lowerThreadPriority(int niceness);

} // namespace brinmoor::counting
