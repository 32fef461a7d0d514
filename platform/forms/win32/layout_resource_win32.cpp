// Layouts are RCDATA resources of the program (see satlog_form_resources).
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "exception.hpp"
#include "layout_resource.hpp"

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

std::string ResourcePath(std::string_view name) {
    return std::string(name);  // Win32 resources are found by their bare name
}

std::string ReadLayoutResource(std::string_view name) {
    std::string variable = "SATLOG_LAYOUT_" + std::string(name);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return ReadReplacementFile(name, path);
    }
    const std::string resourceName = ResourcePath(name);
    HRSRC resource = FindResourceA(nullptr, resourceName.c_str(), MAKEINTRESOURCEA(10));  // RCDATA
    HGLOBAL loaded = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        throw Exception("Resource " + std::string(name) + " not found");
    }
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, resource));
}
