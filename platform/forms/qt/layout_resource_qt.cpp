// Layouts and the icon are in Qt's resource system (see satlog_form_resources).
#include <QFile>

#include "platform/forms/exception.hpp"
#include "platform/forms/layout_resource.hpp"

std::string ResourcePath(std::string_view name) {
    return ":/satlog/" + std::string(name);
}

std::string ReadCompiledResource(std::string_view name) {
    QFile resource(QString::fromStdString(ResourcePath(name)));
    if (!resource.open(QIODevice::ReadOnly)) {
        throw Exception("Resource " + std::string(name) + " not found");
    }
    QByteArray bytes = resource.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
