#include "link/engine_state.h"

#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string serverLine(const ServerState& s) {
    return std::to_string(s.port) + (s.listening ? " listening" : " not-listening");
}

ServerState parseServer(const std::string& text) {
    ServerState s;
    std::istringstream in(text);
    std::string how;
    in >> s.port >> how;
    s.listening = how == "listening";
    return s;
}

}  // namespace

std::string engineStatePath() {
    return plat::runtimeDir() + "/trawlex.state";
}

bool writeEngineState(const EngineState& state) {
    std::string path = engineStatePath();
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << "pid=" << state.pid << "\n"
            << "datadir=" << state.dataDir << "\n"
            << "smtp=" << serverLine(state.smtp) << "\n"
            << "pop3=" << serverLine(state.pop3) << "\n";
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

std::optional<EngineState> readEngineState() {
    std::ifstream in(engineStatePath());
    if (!in) return std::nullopt;
    EngineState state;
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "pid") state.pid = std::atoi(value.c_str());
        else if (key == "datadir") state.dataDir = value;
        else if (key == "smtp") state.smtp = parseServer(value);
        else if (key == "pop3") state.pop3 = parseServer(value);
    }
    if (state.dataDir.empty()) return std::nullopt;
    return state;
}

void removeEngineState() {
    std::remove(engineStatePath().c_str());
}

std::string engineDataDirectory() {
    std::optional<EngineState> state = readEngineState();
    return state && !state->dataDir.empty() ? state->dataDir : plat::dataDir();
}
