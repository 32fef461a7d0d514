#include "platform/serial/port_names.hpp"

#include <cctype>
#include <cstdlib>

namespace serial_detail {

std::optional<int> ComPortNumber(std::string_view name) {
    if (name.starts_with("\\\\.\\")) {
        name.remove_prefix(4);
    }
    if (name.size() < 4 || name.size() > 6) {
        return std::nullopt;
    }
    const auto upper = [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') {
        return std::nullopt;
    }
    int number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > 256 || name[3] == '0') {
        return std::nullopt;
    }
    return number;
}

std::string ComPortPath(int number) {
    const std::string variable = "SATLOG_COM" + std::to_string(number);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return path;
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace serial_detail
