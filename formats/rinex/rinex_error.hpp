// Why a RINEX file was not read: the line where reading stopped and what was wrong there.
#pragma once

#include <string>

struct RinexError {
    int line = 0;  // 1-based line of the file where reading stopped
    std::string message;
};
