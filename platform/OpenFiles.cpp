#include "OpenFiles.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

void AllowManyOpenFiles() {
#ifndef _WIN32
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) == 0) return;
    // Some systems take no more than a fixed number below an unlimited hard limit (macOS).
    limit.rlim_cur = soft < 10240 ? 10240 : soft;
    (void)setrlimit(RLIMIT_NOFILE, &limit);
#endif
}
