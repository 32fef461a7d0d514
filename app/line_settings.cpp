#include "app/line_settings.hpp"

void ApplyFirstPassSettings(DCB& dcb) {
    dcb.BaudRate = kFirstPassBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fInX = 0;
    dcb.fOutX = 0;
    dcb.fOutxDsrFlow = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fDsrSensitivity = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
}
