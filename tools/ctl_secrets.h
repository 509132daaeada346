// trawlexctl secrets: moves the passwords and refresh tokens of user.reg into the desktop's
// secret store.
#pragma once

#include <string>
#include <vector>

// args: the words after "secrets". Answers trawlexctl's exit status.
int runSecrets(const std::vector<std::string>& args);

extern const char kSecretsUsage[];
