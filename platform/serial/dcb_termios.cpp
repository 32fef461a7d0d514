#include "platform/serial/dcb_termios.hpp"

#include <iterator>

namespace serial_detail {
namespace {

struct SpeedPair {
    DWORD baudRate;
    speed_t speed;
};

constexpr SpeedPair kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000}, {4000000, B4000000},
};

}  // namespace

std::optional<speed_t> SpeedOfBaudRate(DWORD baudRate) {
    for (const SpeedPair& pair : kSpeeds) {
        if (pair.baudRate == baudRate) {
            return pair.speed;
        }
    }
    return std::nullopt;
}

DWORD BaudRateOfSpeed(speed_t speed) {
    for (const SpeedPair& pair : kSpeeds) {
        if (pair.speed == speed) {
            return pair.baudRate;
        }
    }
    return 0;
}

namespace {

bool ApplySpeed(DWORD baudRate, termios& tio) {
    const std::optional<speed_t> speed = SpeedOfBaudRate(baudRate);
    return speed && cfsetispeed(&tio, *speed) == 0 && cfsetospeed(&tio, *speed) == 0;
}

bool ApplyCharacterSize(BYTE byteSize, termios& tio) {
    tcflag_t size = 0;
    switch (byteSize) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return false;
    }
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | size;
    return true;
}

// The parity bit sent and expected (Parity), and whether received parity is checked (fParity).
bool ApplyParity(const DCB& dcb, termios& tio) {
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (dcb.Parity) {
        case NOPARITY:
            break;
        case ODDPARITY:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            tio.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    if (dcb.fParity != 0 && dcb.Parity != NOPARITY) {
        tio.c_iflag |= INPCK;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    return true;
}

bool ApplyStopBits(const DCB& dcb, termios& tio) {
    switch (dcb.StopBits) {
        case ONESTOPBIT:
            tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
            return true;
        case ONE5STOPBITS:  // termios gives 1.5 stop bits for CSTOPB with 5 data bits only
            if (dcb.ByteSize != 5) {
                return false;
            }
            tio.c_cflag |= CSTOPB;
            return true;
        case TWOSTOPBITS:
            if (dcb.ByteSize == 5) {
                return false;
            }
            tio.c_cflag |= CSTOPB;
            return true;
        default:
            return false;
    }
}

void SetFlag(tcflag_t& flags, tcflag_t flag, bool on) {
    flags = on ? (flags | flag) : (flags & ~flag);
}

// CTS/RTS handshaking and XON/XOFF. The DSR/DTR handshake has no termios form: the port
// emulates it from the modem lines.
void ApplyFlowControl(const DCB& dcb, termios& tio) {
    // One termios flag holds CTS output flow control and RTS handshaking together.
    SetFlag(tio.c_cflag, CRTSCTS,
            dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE);
    SetFlag(tio.c_iflag, IXON, dcb.fOutX != 0);
    SetFlag(tio.c_iflag, IXOFF, dcb.fInX != 0);
    if (dcb.XonChar != dcb.XoffChar) {
        tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
}

}  // namespace

bool ApplyDcbToTermios(const DCB& dcb, termios& tio) {
    if (!ApplySpeed(dcb.BaudRate, tio) || !ApplyCharacterSize(dcb.ByteSize, tio) ||
        !ApplyParity(dcb, tio) || !ApplyStopBits(dcb, tio)) {
        return false;
    }
    ApplyFlowControl(dcb, tio);
    return true;
}

void FillDcbFromTermios(const termios& tio, DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = BaudRateOfSpeed(cfgetospeed(&tio));
    dcb.fBinary = 1;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }
    if ((tio.c_cflag & PARENB) == 0) {
        dcb.Parity = NOPARITY;
    } else if ((tio.c_cflag & CMSPAR) != 0) {
        dcb.Parity = (tio.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
    } else {
        dcb.Parity = (tio.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    }
    dcb.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
    if ((tio.c_cflag & CSTOPB) == 0) {
        dcb.StopBits = ONESTOPBIT;
    } else {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    if ((tio.c_cflag & CRTSCTS) != 0) {
        dcb.fOutxCtsFlow = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else {
        dcb.fOutxCtsFlow = 0;
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
            dcb.fRtsControl = RTS_CONTROL_ENABLE;  // the driver does not hold the handshake
        }
    }
    dcb.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

DCB DefaultDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

}  // namespace serial_detail
