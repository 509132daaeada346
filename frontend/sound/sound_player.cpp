#include "frontend/sound/sound_player.h"

#include "frontend/desktop/desktop.h"
#include "platform/spawn.h"
#include "log/debug.h"

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

std::string findSoundFile(const std::string& file, const std::string& programDir) {
    if (file.empty()) return {};
    if (QFileInfo(QString::fromStdString(file)).isFile()) return file;
    if (file.find('/') != std::string::npos) return {};
    for (const std::string& dir : {programDir, programDir + "/../share/tarnwick/sounds"}) {
        QFileInfo shipped(QString::fromStdString(dir + "/" + file));
        if (!programDir.empty() && shipped.isFile()) return shipped.absoluteFilePath().toStdString();
    }
    return {};
}

SoundPlayer::SoundPlayer(std::string programDir)
    : programDir_(programDir.empty() ? plat::selfExeDir() : std::move(programDir)) {
    bound_.setSingleShot(true);
    connect(&bound_, &QTimer::timeout, this, &SoundPlayer::announcementEnded);
}

SoundPlayer::~SoundPlayer() = default;

void SoundPlayer::tellOnce(const QString& key, const QString& why) {
    if (told_.contains(key)) return;
    told_.insert(key);
    DebugLineStr(LOG_APP, LOG_MED, "Tarnwick:", why.toStdString().c_str());
    emit cannotPlay(why);
}

// A missing file or a machine without an audio output plays nothing and changes nothing but
// the one word to the user.
std::string SoundPlayer::playable(const std::string& file) {
    if (file.empty()) return {};
#ifdef TW_HAVE_QT_MULTIMEDIA
    std::string found = findSoundFile(file, programDir_);
    if (found.empty()) {
        tellOnce(QStringLiteral("file:") + QString::fromStdString(file),
                 tr("The sound %1 cannot be played: there is no such file.").arg(QString::fromStdString(file)));
        return {};
    }
    if (QMediaDevices::audioOutputs().isEmpty()) {
        tellOnce(QStringLiteral("output"), tr("No sound can be played: this computer has no audio output."));
        return {};
    }
    return found;
#else  // built without Qt Multimedia: the requests are recorded and logged only
    DebugLineStr(LOG_APP, LOG_LOW, "Tarnwick: built without sound; not playing", file.c_str());
    return {};
#endif
}

void SoundPlayer::playThen(const std::string& file, std::function<void()> ended) {
    recordSoundRequest("announce", file);
    announcementEnded();  // one still playing is cut short, and what waited for it goes on
    ended_ = std::move(ended);
    std::string found = playable(file);
    if (found.empty()) {
        announcementEnded();  // nothing to wait for
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
        tellOnce(QStringLiteral("broken:") + QString::fromStdString(file),
                 tr("The sound %1 cannot be played: it is no WAV sound.").arg(QString::fromStdString(file)));
        QTimer::singleShot(0, this, &SoundPlayer::announcementEnded);
    });
    bound_.start(kMaxWaitMs);
    effect->setSource(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(found)).absoluteFilePath()));
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
    std::string found = playable(file);
    if (found.empty()) return;
#ifdef TW_HAVE_QT_MULTIMEDIA
    if (!async_) async_ = std::make_unique<QSoundEffect>();
    async_->stop();
    async_->setSource(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(found)).absoluteFilePath()));
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
    if (findSoundFile(file, plat::selfExeDir()).empty()) return false;
    // Never destroyed: its sound effect must not outlive the application object at exit.
    static SoundPlayer* const player = new SoundPlayer;
    if (wait) player->playThen(file, {});
    else player->playAsync(file);
    return true;
}

void setSoundHook(std::function<bool(const std::string&, bool)> hook) {
    testHook = std::move(hook);
}
