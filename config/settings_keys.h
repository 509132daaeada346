// Registry key paths shared by both programs.
#pragma once

inline constexpr char kSettingsKey[] = "SOFTWARE\\Orrindale Systems\\Tarnwick";
inline constexpr char kAccountsKey[] = "SOFTWARE\\Orrindale Systems\\Tarnwick\\Accounts";
