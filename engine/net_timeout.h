// The time-out of the provider connections: 60 s, or TRAWLEX_NET_TIMEOUT_MS (tests shorten it
// so that a provider that never answers ends a cycle quickly).
#pragma once

void applyNetTimeoutSetting();
