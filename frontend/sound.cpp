#include "frontend/sound.h"

#include <QFileInfo>
#include <QUrl>

#ifdef TW_HAVE_SOUND
#include <QEventLoop>
#include <QSoundEffect>
#include <QTimer>
#include <memory>
#endif

namespace {

std::function<bool(const std::string&, bool)>& hook() {
    static std::function<bool(const std::string&, bool)> h;
    return h;
}

}  // namespace

bool playSoundFile(const std::string& file, bool wait) {
    if (hook()) return hook()(file, wait);
    QFileInfo info(QString::fromStdString(file));
    if (file.empty() || !info.isFile()) return false;
#ifdef TW_HAVE_SOUND
    // One effect at a time: a new sound replaces one still playing.
    static std::unique_ptr<QSoundEffect> effect;
    effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(effect.get(), &QSoundEffect::statusChanged, &loop, [&] {
        if (effect->status() == QSoundEffect::Ready) effect->play();
        if (effect->status() == QSoundEffect::Error) loop.quit();
    });
    QObject::connect(effect.get(), &QSoundEffect::playingChanged, &loop, [&] {
        if (!effect->isPlaying() && wait) loop.quit();
        if (effect->isPlaying() && !wait) loop.quit();
    });
    if (effect->status() == QSoundEffect::Ready) effect->play();
    // Loading is asynchronous: even a play that does not wait lets it start (or fail).
    bound.start(wait ? kSoundWaitMs : 2000);
    loop.exec();
    bool ok = effect->status() != QSoundEffect::Error;
    if (wait) effect->stop();
    return ok;
#else
    (void)wait;
    return false;
#endif
}

void setSoundHook(std::function<bool(const std::string&, bool)> h) {
    hook() = std::move(h);
}
