// Playing a WAV file from the file system. Missing files, unreadable ones and a machine
// without audio change nothing but the answer.
#pragma once

#include <functional>
#include <string>

// Plays file; with wait, returns once the sound has ended (at most kSoundWaitMs later).
// False when nothing could be played.
bool playSoundFile(const std::string& file, bool wait);
constexpr int kSoundWaitMs = 10000;

// A test's replacement (file, wait); an empty function restores the real player.
void setSoundHook(std::function<bool(const std::string&, bool)> hook);
