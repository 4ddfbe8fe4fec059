// Whether the application runs: its main window or its mutex, in the run's own session and in the others.
#pragma once
#include <stdint.h>

// Whether the application holds its mutex `productName`: in the run's own session's
// namespace, and on systems with sessions also in the global one and in every other
// session's ("Session\<id>\<name>"), where a deployment tool's run in session 0 finds
// the application of a signed-in user. With /O (in `runFlags`) each mutex found is
// waited for; the application still runs when a wait ends otherwise. 1 when it runs.
int applicationMutexHeld(const char* productName, uint32_t runFlags);

// Whether the application runs: through its main window's title for versions
// before 1.03.0000 (and a fresh installation), through its mutex from then on, also in
// the other sessions (applicationMutexHeld). With /O the run waits for the mutex.
// Returns the restart-needed flag.
int detectRunningInstance(const char* productName, const char* previousVersion, uint32_t runFlags);
