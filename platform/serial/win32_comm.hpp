// The Win32 serial-port and file calls the receiver's code is written against. On Windows the
// real API stands behind these names; elsewhere platform/serial provides them over POSIX with the
// same names, types, constants and calling conventions, so the system's code reads the same on
// every platform. Only the calls, types and constants the system uses are provided.
#pragma once

#include <string>

#ifdef _WIN32

#include <windows.h>

#else  // POSIX

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;  // 32 bits as on Windows (a Linux long has 64)
using CHAR = char;
using HANDLE = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using LPCSTR = const char*;

struct OVERLAPPED;  // overlapped I/O is not provided: every call is synchronous
using LPOVERLAPPED = OVERLAPPED*;
struct SECURITY_ATTRIBUTES;  // ignored
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// A macro, as on Windows, so that it can initialise handles of static storage duration.
#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)

inline constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// CreateFileA: access, sharing, disposition.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

// GetLastError codes the POSIX backend reports.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_WRITE_FAULT = 29;
inline constexpr DWORD ERROR_READ_FAULT = 30;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;

// DCB field values.
inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;
inline constexpr DWORD DTR_CONTROL_DISABLE = 0x00;
inline constexpr DWORD DTR_CONTROL_ENABLE = 0x01;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 0x02;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0x00;
inline constexpr DWORD RTS_CONTROL_ENABLE = 0x01;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 0x02;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 0x03;
inline constexpr DWORD CBR_9600 = 9600;
inline constexpr DWORD CBR_19200 = 19200;
inline constexpr DWORD CBR_38400 = 38400;
inline constexpr DWORD CBR_57600 = 57600;
inline constexpr DWORD CBR_115200 = 115200;

// Line events (SetCommMask, WaitCommEvent).
inline constexpr DWORD EV_RXCHAR = 0x0001;
inline constexpr DWORD EV_RXFLAG = 0x0002;
inline constexpr DWORD EV_TXEMPTY = 0x0004;
inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD EV_DSR = 0x0010;
inline constexpr DWORD EV_RLSD = 0x0020;
inline constexpr DWORD EV_BREAK = 0x0040;
inline constexpr DWORD EV_ERR = 0x0080;
inline constexpr DWORD EV_RING = 0x0100;

// PurgeComm.
inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

// The device-control block, in Win32's layout: the flags word holds its fields from bit 0 up.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;            // bit 0
    DWORD fParity : 1;            // bit 1
    DWORD fOutxCtsFlow : 1;       // bit 2
    DWORD fOutxDsrFlow : 1;       // bit 3
    DWORD fDtrControl : 2;        // bits 4-5
    DWORD fDsrSensitivity : 1;    // bit 6
    DWORD fTXContinueOnXoff : 1;  // bit 7
    DWORD fOutX : 1;              // bit 8
    DWORD fInX : 1;               // bit 9
    DWORD fErrorChar : 1;         // bit 10
    DWORD fNull : 1;              // bit 11
    DWORD fRtsControl : 2;        // bits 12-13
    DWORD fAbortOnError : 1;      // bit 14
    DWORD fDummy2 : 17;           // bits 15-31
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
using LPDCB = DCB*;
static_assert(sizeof(DCB) == 28, "DCB must keep Win32's layout");

// Times in milliseconds; see ReadFile for what each combination means.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

// "COMn" names a serial device: the path in $SATLOG_COMn if set, else /dev/ttyS<n-1>. A port is
// opened exclusively and put into raw mode; a failure returns INVALID_HANDLE_VALUE and writes its
// cause, naming the device, to standard error once. Any other name is a file.
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

// On a port, reads under the COMMTIMEOUTS in force:
//   MAXDWORD / 0 / 0            returns at once with what is buffered, possibly nothing;
//   MAXDWORD / MAXDWORD / c     returns at once if anything is buffered, else waits up to c ms
//                               for the first byte;
//   i / m / c otherwise         the total time-out is c + m * count (none when both are 0); the
//                               interval time-out i (none when 0) ends a read when, after its
//                               first byte, no byte arrives within i ms of the previous one.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
// Writes everything, or fails.
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL SetCommState(HANDLE hFile, LPDCB lpDCB);
BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask);
BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask);
// Blocks until an enabled event occurs. EV_RXCHAR is reported while received bytes wait unread.
BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped);
BOOL PurgeComm(HANDLE hFile, DWORD dwFlags);
BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
BOOL CloseHandle(HANDLE hObject);
DWORD GetLastError();

#endif  // _WIN32

// Not a Win32 call. Wakes every WaitCommEvent and ReadFile blocked on `port` (from another
// thread) and makes later blocking calls on it fail at once. Used only at program shutdown, so
// that the window can stop the receive thread promptly; the port is not usable afterwards except
// for CloseHandle. Also accepts INVALID_HANDLE_VALUE: calls on an invalid handle sleep instead of
// failing at once (so that nothing spins on them), and this wakes the sleepers.
BOOL CancelPortWait(HANDLE port);

// Not a Win32 call. Why the last CreateFileA on this thread failed, in the operating system's
// words for the call that failed ("Too many open files", "it is a FIFO, not a regular file"), so
// that a message can name the real cause; empty when it did not fail.
std::string LastCreateFailureCause();

// Not a Win32 call. Called by the thread that is about to make the blocking calls on `port`.
// Where a synchronous call can be cancelled only through its thread (Windows), CancelPortWait
// then reaches that thread's call too; elsewhere this does nothing.
BOOL RegisterPortWaiter(HANDLE port);
