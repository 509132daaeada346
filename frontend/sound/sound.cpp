#include "frontend/sound/sound.h"

#include "frontend/sound/sound_player.h"

#include <QFileInfo>

namespace {

// A test's stand-in for the player.
std::function<bool(const std::string&, bool)> hook;

}  // namespace

bool playSoundFile(const std::string& file, bool wait) {
    if (hook) return hook(file, wait);
    if (file.empty() || !QFileInfo(QString::fromStdString(file)).isFile()) return false;
    // Never destroyed: its sound effect must not outlive the application object at exit.
    static SoundPlayer* const player = new SoundPlayer;
    if (wait) player->playAndWait(file);
    else player->playAsync(file);
    return true;
}

void setSoundHook(std::function<bool(const std::string&, bool)> h) {
    hook = std::move(h);
}
