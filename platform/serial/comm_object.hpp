// What stands behind a HANDLE on POSIX: a file, a serial device or a scripted device. Each call of
// the Win32 surface is forwarded to the object; what an object does not support fails with
// ERROR_INVALID_FUNCTION, as Win32 fails a serial call on a file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/serial/win32_comm.hpp"

namespace serial_detail {

inline constexpr DWORD kErrorInvalidFunction = 1;

void SetLastErrorCode(DWORD code);

// Why an open failed: the Win32 error code and a cause the user can act on.
struct OpenFailure {
    DWORD error = ERROR_SUCCESS;
    std::string cause;
};

// The Win32 code for a failed POSIX open, and its cause in words.
OpenFailure OpenFailureFromErrno(int error);

class CommObject {
  public:
    CommObject() = default;
    CommObject(const CommObject&) = delete;
    CommObject& operator=(const CommObject&) = delete;
    virtual ~CommObject();

    virtual BOOL Read(void* buffer, DWORD count, DWORD& transferred) = 0;
    virtual BOOL Write(const void* buffer, DWORD count, DWORD& transferred) = 0;

    virtual BOOL GetState(DCB& dcb);
    virtual BOOL SetState(const DCB& dcb);
    virtual BOOL SetMask(DWORD mask);
    virtual BOOL GetMask(DWORD& mask);
    virtual BOOL WaitEvent(DWORD& events);
    virtual BOOL Purge(DWORD flags);
    virtual BOOL GetTimeouts(COMMTIMEOUTS& timeouts);
    virtual BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
    virtual BOOL Cancel();

    // Tells a live object from a stray pointer handed in as a handle.
    static constexpr std::uint32_t kMagic = 0x434F4D4D;  // "COMM"
    std::uint32_t magic = kMagic;
};

// The object behind `handle`, or nullptr (with ERROR_INVALID_HANDLE set) for an invalid one.
CommObject* ObjectOf(HANDLE handle);
inline HANDLE HandleOf(CommObject* object) {
    return object;
}

}  // namespace serial_detail
