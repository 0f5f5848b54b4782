// Marks what the stand-in host module exports to the programs that link it.
//
// On POSIX systems the module is a shared library built with hidden visibility,
// so its C++ interface for drivers and tests is exported explicitly. On Windows
// the module's code is compiled into each host program and needs no marking.
#pragma once

#if defined(_WIN32)
#define VHOST_API
#else
#define VHOST_API __attribute__((visibility("default")))
#endif
