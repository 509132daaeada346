// Day logs that do not pile up: the files "%Y%m%d.log" of the working directory are removed
// once their day lies more than "LogKeepDays" days (30 unless set; 0 keeps all) before today.
// Only names of exactly eight digits forming a real date, plus ".log", count as day logs.
#pragma once

#include <ctime>
#include <string>

// Removes from dir ("" is the working directory) the day logs dated more than keepDays days
// before the local day of now. keepDays 0 removes nothing; a log dated after today stays.
// Answers how many files were removed; each removal, and each that fails, is logged.
int removeOldDayLogs(const std::string& dir, std::time_t now, unsigned keepDays);

// The engine's schedule for that: at start-up, then at the first cycle of each local day.
// The number of days is read from the settings key each time.
class DayLogKeeper {
public:
    explicit DayLogKeeper(std::string dir = "") : dir_(std::move(dir)) {}
    void atStartup(std::time_t now);
    // Prunes only when the local day has changed since the last pruning.
    void atCycleStart(std::time_t now);

private:
    void prune(long today);
    std::string dir_;
    long lastDay_ = -1;  // days since 1970-01-01 of the last pruning, local calendar
};
