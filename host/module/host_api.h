// Marks the stand-in host's C++ interface for export from the host module, so
// that host programs and tests can reach it; everything else stays hidden.
#pragma once

#if defined(_WIN32)
#define VHOST_API  // compiled into each host program: nothing to export
#else
#define VHOST_API __attribute__((visibility("default")))
#endif
