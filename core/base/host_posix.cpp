#include "host.h"

#include <pwd.h>
#include <unistd.h>

namespace cli {

std::string hostName() {
    char name[256] = "";
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string userName() {
    const passwd* user = getpwuid(geteuid());
    return user && user->pw_name ? user->pw_name : "";
}

} // namespace cli
