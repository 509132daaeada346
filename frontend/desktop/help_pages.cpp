#include "frontend/desktop/help_pages.h"

#include <fstream>

std::string helpPageAddress(const std::string& helpDir, const char* page, const char* anchor) {
    std::string url = "file://" + helpDir + "/" + page;
    if (anchor) url += std::string("#") + anchor;
    return url;
}

std::optional<std::string> supportAddress(const std::string& helpDir) {
    for (const std::string& path : {std::string("Support.url"), helpDir + "/Support.url"}) {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("URL=", 0) != 0) continue;
            std::string target = line.substr(4);
            if (target.find(':') == std::string::npos) target = helpPageAddress(helpDir, target.c_str());
            return target;
        }
    }
    return std::nullopt;
}
