// The operating system line of the About box: kernel name, release and machine.
#pragma once

#include <string>

namespace plat {

// "Linux 6.1.0-18-amd64 (x86_64)"; "-OS-" when the system cannot say.
std::string operatingSystemLine();

}  // namespace plat
