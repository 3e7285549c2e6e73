// The system calls the Win32 backend makes to open, configure, purge and close a port, behind one small
// interface so that a test can play a driver that refuses some settings. The real one passes each call
// to Windows; GetLastError tells why the last call failed, as Windows keeps it.
#pragma once

#include "link/windows_headers.h"

namespace vantrel::link {

class Win32SerialSystem {
public:
    virtual ~Win32SerialSystem() = default;
    // Read and write access, exclusive, synchronous.
    virtual HANDLE CreateFileW(const wchar_t* path);
    virtual BOOL SetCommState(HANDLE handle, DCB* dcb);
    virtual BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue);
    virtual BOOL SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts);
    virtual BOOL EscapeCommFunction(HANDLE handle, DWORD function);
    virtual BOOL PurgeComm(HANDLE handle, DWORD flags);
    virtual BOOL CloseHandle(HANDLE handle);
    virtual DWORD GetLastError();
};

// The calls as Windows answers them.
Win32SerialSystem& RealWin32SerialSystem();

}  // namespace vantrel::link
