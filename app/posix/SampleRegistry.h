#pragma once
#include <string_view>

namespace taloveric {

// The bundled sample: a REGEDIT4 export of a Windows 98 machine.
std::string_view SampleRegistry();

}  // namespace taloveric
