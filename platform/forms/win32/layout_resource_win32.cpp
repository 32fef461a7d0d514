// Layouts are RCDATA resources of the program (see satlog_form_resources).
#include <windows.h>

#include "platform/forms/exception.hpp"
#include "platform/forms/layout_resource.hpp"

std::string ResourcePath(std::string_view name) {
    return std::string(name);  // Win32 resources are found by their bare name
}

std::string ReadCompiledResource(std::string_view name) {
    const std::string resourceName = ResourcePath(name);
    HRSRC resource = FindResourceA(nullptr, resourceName.c_str(), MAKEINTRESOURCEA(10));  // RCDATA
    HGLOBAL loaded = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        throw Exception("Resource " + std::string(name) + " not found");
    }
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, resource));
}
