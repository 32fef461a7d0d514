// What stands behind a HANDLE on POSIX: a file, a serial device or a scripted device. Each call of
// the Win32 surface is forwarded to the object; what an object does not support fails with
// ERROR_INVALID_FUNCTION, as Win32 fails a serial call on a file.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/serial/win32_comm.hpp"

namespace serial_detail {

inline constexpr DWORD kErrorInvalidFunction = 1;

// Modem lines as Win32's GetCommModemStatus reports them.
inline constexpr DWORD kModemCtsOn = 0x0010;
inline constexpr DWORD kModemDsrOn = 0x0020;
inline constexpr DWORD kModemRingOn = 0x0040;
inline constexpr DWORD kModemRlsdOn = 0x0080;

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

    // The modem lines, for the DSR/DTR handshake that termios cannot express (DsrHandshake).
    // False when the device has none to report (a pseudo-terminal): DSR then counts as on.
    virtual bool ModemLines(DWORD& lines);
    // Waits up to `limit` for a modem line to change (it may return earlier). False once the
    // port has been cancelled.
    virtual bool WaitForModemChange(std::chrono::milliseconds limit);
    // Raises or lowers DTR where the device has it.
    virtual void SetDtr(bool raised);

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
