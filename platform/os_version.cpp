#include "platform/os_version.h"

#include <sys/utsname.h>

namespace plat {

std::string operatingSystemLine() {
    struct utsname u {};
    if (::uname(&u) != 0) return "-OS-";
    return std::string(u.sysname) + " " + u.release + " (" + u.machine + ")";
}

}  // namespace plat
