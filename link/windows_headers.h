// The one way this project includes the system's headers on Windows: the lean set, and no min and max
// macros to clash with the standard library's functions. Every Windows file includes this instead of
// <windows.h>, so that they all see the same declarations whatever was included before.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
