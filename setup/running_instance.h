// The running application's mutex, in the run's own session and in the others.
#pragma once
#include <stdint.h>

// Whether the application holds its mutex `productName`: in the run's own session's
// namespace, and on systems with sessions also in the global one and in every other
// session's ("Session\<id>\<name>"), where a deployment tool's run in session 0 finds
// the application of a signed-in user. With /O (in `runFlags`) each mutex found is
// waited for; the application still runs when a wait ends otherwise. 1 when it runs.
int applicationMutexHeld(const char* productName, uint32_t runFlags);
