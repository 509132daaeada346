// trawlexctl secrets: moves the passwords and refresh tokens of user.reg into the desktop's
// secret store.
#pragma once

#include <string>
#include <vector>

// args: the words after "secrets". Answers trawlexctl's exit status.
int runSecrets(const std::vector<std::string>& args);

// Moves what user.reg holds of target's secrets into the store and sets its "secretstore" 1;
// the registry values are emptied only once the store gave each of them back. False, with
// user.reg untouched, when the store did not take one; why then says which and why.
bool moveSecretsToStore(const std::string& target, std::string& why);

extern const char kSecretsUsage[];
