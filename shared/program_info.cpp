#include "shared/program_info.h"

#include <cstdio>
#include <cstring>

const char* programVersion() {
    return TRAWLEX_VERSION;
}

void printVersion(const char* program) {
    std::printf("%s %s\n", program, programVersion());
}

bool answerHelpOrVersion(int argc, char** argv, const char* program, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            printVersion(program);
            return true;
        }
    }
    return false;
}
