// Named resources compiled into the program (see satlog_form_resources in CMakeLists.txt).
#pragma once

#include <string>
#include <string_view>

// The bytes of the layout resource `name`. For tests and diagnosis, the environment variable
// SATLOG_LAYOUT_<name> (e.g. SATLOG_LAYOUT_TFORM1) names a file read instead of the compiled-in
// resource. Raises Exception, naming the resource or the file and the cause, when it cannot be
// read.
std::string ReadLayoutResource(std::string_view name);

// By the backend: the bytes of the resource `name` compiled into the program; raises Exception
// when there is none.
std::string ReadCompiledResource(std::string_view name);

// By the backend: the name under which the toolkit finds the resource `name`.
std::string ResourcePath(std::string_view name);
