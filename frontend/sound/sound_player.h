// The announcement and alarm sounds (WAV files, names relative to the working directory) and
// the beep. Every request can also be written, one line each, to the file named by the
// environment variable TARNWICK_SOUND_LOG ("beep", "announce <file>", "alarm <file>"), so
// that a test on a machine without speakers sees what would have sounded.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QSoundEffect;

class SoundPlayer {
public:
    SoundPlayer();
    ~SoundPlayer();

    // Plays the file and returns when it has ended, or after kMaxWaitMs at the latest: a long
    // or broken file must not hold the tray. Messages keep flowing during the wait.
    void playAndWait(const std::string& file);
    // Starts the file and returns at once; a sound still playing from here is replaced.
    void playAsync(const std::string& file);
    // The desktop's beep.
    void beep();

    static constexpr int kMaxWaitMs = 4000;

private:
    bool playable(const std::string& file) const;
    std::unique_ptr<QSoundEffect> async_;
};

// Appends "<kind>" or "<kind> <file>" to $TARNWICK_SOUND_LOG when it is set.
void recordSoundRequest(const char* kind, const std::string& file = {});

// The Options sheet's test buttons: plays file through a player of its own; with wait, returns
// once the sound has ended (within the player's bound). False when there is no such file;
// unreadable files and a machine without audio change nothing but the answer.
bool playSoundFile(const std::string& file, bool wait);
// A test's replacement (file, wait); an empty function restores the real player.
void setSoundHook(std::function<bool(const std::string&, bool)> hook);
