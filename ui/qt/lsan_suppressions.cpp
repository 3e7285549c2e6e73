// Built into every program of the window under AddressSanitizer. Without a D-Bus session bus, Qt's try to
// reach one leaves a buffer of the system's D-Bus library that the library never frees; the leak checker
// would report it at every exit and fail the run. Only that library is excused: leaks of our own, or of
// Qt, still fail.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
