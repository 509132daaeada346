// Owning pointer for a libevent event.
#pragma once

#include <event2/event.h>

#include <memory>

namespace plat {

struct EventDeleter {
    void operator()(event* e) const { event_free(e); }
};
using EventPtr = std::unique_ptr<event, EventDeleter>;

}  // namespace plat
