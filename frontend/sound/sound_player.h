// The announcement and alarm sounds (WAV files, names relative to the working directory) and
// the beep. Every request can also be written, one line each, to the file named by the
// environment variable TARNWICK_SOUND_LOG ("beep", "announce <file>", "alarm <file>"), so
// that a test on a machine without speakers sees what would have sounded.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QSoundEffect;

// Where the sound file named file is: as given (relative to the working directory), else, for
// a name without a folder, beside the program (programDir) or in the sounds shipped with it
// (programDir/../share/tarnwick/sounds, in the build tree as once installed). Empty when none
// of them has it.
std::string findSoundFile(const std::string& file, const std::string& programDir);

class SoundPlayer : public QObject {
    Q_OBJECT

public:
    // programDir: where findSoundFile looks besides the working directory; empty: this program's.
    explicit SoundPlayer(std::string programDir = {});
    ~SoundPlayer() override;

    // Starts the file and returns at once; ended runs from the loop once the sound has ended,
    // or after kMaxWaitMs at the latest (a long or broken file must not hold up what follows);
    // before this returns when nothing can be played. A second announcement while one plays
    // replaces it: the first one's ended runs then.
    void playThen(const std::string& file, std::function<void()> ended);
    // Starts the file and returns at once; a sound still playing from here is replaced.
    void playAsync(const std::string& file);
    // The desktop's beep.
    void beep();

    static constexpr int kMaxWaitMs = 4000;

signals:
    // A sound could not be played (no such file, no audio output, a file that is no sound);
    // said once for each reason and file while the program runs, so that an alarm repeated
    // every few seconds does not repeat it.
    void cannotPlay(const QString& why);

private:
    // The file to play, or empty (then the user was told why, once).
    std::string playable(const std::string& file);
    void tellOnce(const QString& key, const QString& why);
    void announcementEnded();

    std::unique_ptr<QSoundEffect> async_;
    std::unique_ptr<QSoundEffect> announcement_;
    std::function<void()> ended_;
    QTimer bound_;  // the announcement's longest wait
    bool started_ = false;
    std::string programDir_;
    QSet<QString> told_;
};

// Appends "<kind>" or "<kind> <file>" to $TARNWICK_SOUND_LOG when it is set.
void recordSoundRequest(const char* kind, const std::string& file = {});

// The Options sheet's test buttons: plays file through a player of its own and returns at once;
// with wait, the sound plays to its end (within the player's bound), else a later one replaces
// it. False when there is no such file; unreadable files and a machine without audio change
// nothing but the answer.
bool playSoundFile(const std::string& file, bool wait);
// A test's replacement (file, wait); an empty function restores the real player.
void setSoundHook(std::function<bool(const std::string&, bool)> hook);
