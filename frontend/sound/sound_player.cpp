#include "frontend/sound/sound_player.h"

#include "frontend/desktop/desktop.h"
#include "shared/debug.h"

#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#ifdef TW_HAVE_QT_MULTIMEDIA
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#endif

#include <cstdio>
#include <cstdlib>
#include <utility>

void recordSoundRequest(const char* kind, const std::string& file) {
    const char* log = std::getenv("TARNWICK_SOUND_LOG");
    if (!log || !*log) return;
    if (std::FILE* f = std::fopen(log, "a")) {
        if (file.empty()) std::fprintf(f, "%s\n", kind);
        else std::fprintf(f, "%s %s\n", kind, file.c_str());
        std::fclose(f);
    }
}

#ifndef TW_HAVE_QT_MULTIMEDIA
class QSoundEffect {};
#endif

SoundPlayer::SoundPlayer() {
    bound_.setSingleShot(true);
    connect(&bound_, &QTimer::timeout, this, &SoundPlayer::announcementEnded);
}

SoundPlayer::~SoundPlayer() = default;

// A missing file or a machine without an audio output plays nothing and changes nothing.
bool SoundPlayer::playable(const std::string& file) const {
#ifdef TW_HAVE_QT_MULTIMEDIA
    if (file.empty()) return false;
    if (!QFileInfo(QString::fromStdString(file)).isFile()) {
        DebugLineStr(LOG_APP, LOG_MED, "Tarnwick: sound file not found:", file.c_str());
        return false;
    }
    if (QMediaDevices::audioOutputs().isEmpty()) {
        DebugLineStr(LOG_APP, LOG_LOW, "Tarnwick: no audio output for", file.c_str());
        return false;
    }
    return true;
#else   // built without Qt Multimedia: the requests are recorded and logged only
    DebugLineStr(LOG_APP, LOG_LOW, "Tarnwick: built without sound; not playing", file.c_str());
    return false;
#endif
}

void SoundPlayer::playThen(const std::string& file, std::function<void()> ended) {
    recordSoundRequest("announce", file);
    announcementEnded();   // one still playing is cut short, and what waited for it goes on
    ended_ = std::move(ended);
    if (!playable(file)) {
        announcementEnded();   // nothing to wait for
        return;
    }
#ifdef TW_HAVE_QT_MULTIMEDIA
    announcement_ = std::make_unique<QSoundEffect>();
    QSoundEffect* effect = announcement_.get();
    started_ = false;
    connect(effect, &QSoundEffect::playingChanged, this, [this, effect] {
        if (effect->isPlaying()) started_ = true;
        else if (started_) QTimer::singleShot(0, this, &SoundPlayer::announcementEnded);
    });
    connect(effect, &QSoundEffect::statusChanged, this, [this, effect, file] {
        if (effect->status() != QSoundEffect::Error) return;
        DebugLineStr(LOG_APP, LOG_MED, "Tarnwick: cannot play sound file:", file.c_str());
        QTimer::singleShot(0, this, &SoundPlayer::announcementEnded);
    });
    bound_.start(kMaxWaitMs);
    effect->setSource(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(file)).absoluteFilePath()));
    effect->play();
#endif
}

void SoundPlayer::announcementEnded() {
    bound_.stop();
#ifdef TW_HAVE_QT_MULTIMEDIA
    if (announcement_) {
        announcement_->disconnect(this);
        announcement_->stop();
        // Not from inside one of its own signals: it goes once the current event is over.
        announcement_.release()->deleteLater();
    }
#endif
    if (std::function<void()> ended = std::exchange(ended_, nullptr)) ended();
}

void SoundPlayer::playAsync(const std::string& file) {
    recordSoundRequest("alarm", file);
    if (!playable(file)) return;
#ifdef TW_HAVE_QT_MULTIMEDIA
    if (!async_) async_ = std::make_unique<QSoundEffect>();
    async_->stop();
    async_->setSource(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(file)).absoluteFilePath()));
    async_->play();
#endif
}

void SoundPlayer::beep() {
    recordSoundRequest("beep");
    messageBeep();
}

namespace {

// A test's stand-in for the test buttons' player.
std::function<bool(const std::string&, bool)> testHook;

}  // namespace

bool playSoundFile(const std::string& file, bool wait) {
    if (testHook) return testHook(file, wait);
    if (file.empty() || !QFileInfo(QString::fromStdString(file)).isFile()) return false;
    // Never destroyed: its sound effect must not outlive the application object at exit.
    static SoundPlayer* const player = new SoundPlayer;
    if (wait) player->playThen(file, {});
    else player->playAsync(file);
    return true;
}

void setSoundHook(std::function<bool(const std::string&, bool)> hook) {
    testHook = std::move(hook);
}
