// Who wrote a RINEX file and when: the PGM / RUN BY / DATE line of every header this program
// writes.
#pragma once

#include <string>

struct RinexRunInfo {
    std::string program;  // "satlog-dump 0.1.0"
    std::string runBy;
    std::string date;  // when the file was written, "20261208 233000 UTC"
};
