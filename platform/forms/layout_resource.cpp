#include "platform/forms/layout_resource.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/forms/exception.hpp"

namespace {

std::string ReadReplacementFile(std::string_view name, const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Exception("Cannot read layout " + std::string(name) + " from " + path + ": " +
                        std::strerror(errno));
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        throw Exception("Cannot read layout " + std::string(name) + " from " + path + ": " +
                        std::strerror(errno));
    }
    return std::move(content).str();
}

}  // namespace

std::string ReadLayoutResource(std::string_view name) {
    std::string variable = "SATLOG_LAYOUT_" + std::string(name);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return ReadReplacementFile(name, path);
    }
    return ReadCompiledResource(name);
}
