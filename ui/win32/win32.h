// The one way this folder includes the system's headers: the project's Windows headers
// (link/windows_headers.h) with the W functions as the default names; the build declares the Windows 10
// calls (per-monitor DPI).
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include "link/windows_headers.h"
