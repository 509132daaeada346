// The time limits of the engine's connections: the inactivity time-out (60 s, or
// TRAWLEX_NET_TIMEOUT_MS) and the longest life of any connection, to the provider or from a
// local e-mail program (30 minutes, or TRAWLEX_CONNECTION_LIMIT_S). Tests shorten both so that
// a provider that never answers, or one that trickles, ends a cycle quickly.
#pragma once

void applyNetTimeoutSetting();
