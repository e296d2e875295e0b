#include "platform/linux/thread/BackgroundPriority.h"

#include <sys/resource.h>
#include <unistd.h>

void LowerThisThreadPriority() {
    // On Linux the nice value belongs to each thread, and new threads take
    // their creator's. A failure leaves the thread as it was.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}
