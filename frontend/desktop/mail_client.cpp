#include "frontend/desktop/mail_client.h"

#include "frontend/desktop/desktop.h"
#include "platform/desktop_entries.h"
#include "platform/spawn.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr char kMailtoType[] = "x-scheme-handler/mailto";
constexpr std::size_t kCommandLineMax = 1023;

bool isMailClient(const plat::DesktopEntry& e) {
    auto has = [](const std::vector<std::string>& v, const char* x) {
        return std::find(v.begin(), v.end(), x) != v.end();
    };
    return !e.hidden && !e.name.empty() && (has(e.mimeTypes, kMailtoType) || has(e.categories, "Email"));
}

}  // namespace

std::string defaultMailClient() {
    std::string id = plat::defaultApplication(kMailtoType);
    if (id.empty()) return {};
    for (const auto& e : plat::desktopEntries()) {
        if (e.id == id && !e.hidden) return e.name;
    }
    return {};
}

std::string mailClientCommandLine(const std::string& name) {
    for (const auto& e : plat::desktopEntries()) {
        if (isMailClient(e) && e.name == name) return plat::stripFieldCodes(e.exec);
    }
    return {};
}

std::vector<std::string> listMailClients() {
    std::vector<std::string> names;
    for (const auto& e : plat::desktopEntries()) {
        if (isMailClient(e) && std::find(names.begin(), names.end(), e.name) == names.end()) names.push_back(e.name);
    }
    return names;
}

bool launchCommandLine(const std::string& line) {
    std::string copy = line.substr(0, kCommandLineMax);
    std::vector<std::string> words;
    if (!plat::splitCommandLine(copy, words) || words.empty()) return false;
    std::string program = plat::findOnPath(words[0]);
    if (program.empty()) return false;
    int err = plat::spawnDetached(program, words);
    if (err == 0) return true;
    QString text = QCoreApplication::translate("Tarnwick", "Failed to launch mail program '%1' [reason = %2]")
                       .arg(QString::fromStdString(words[0]))
                       .arg(err);
    // Nothing waits for the box: it is answered from the loop.
    askUser(nullptr, {text.toStdString(), "Tarnwick"}, [](QMessageBox::StandardButton) {});
    return false;
}
