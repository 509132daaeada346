#include "link/engine_link.h"

const char* linkNoticeName(int code) {
    switch (code) {
    case CYCLE_STARTED: return "CYCLE_STARTED";
    case CYCLE_CONNECTED: return "CYCLE_CONNECTED";
    case CYCLE_DIAL_FAILED: return "CYCLE_DIAL_FAILED";
    case CYCLE_SENDING: return "CYCLE_SENDING";
    case CYCLE_CHECKING: return "CYCLE_CHECKING";
    case CYCLE_NEW_ITEM: return "CYCLE_NEW_ITEM";
    case CYCLE_FINISHED: return "CYCLE_FINISHED";
    case NEW_OUTGOING_MAIL: return "NEW_OUTGOING_MAIL";
    case MAILBOX_CHANGED: return "MAILBOX_CHANGED";
    case CYCLE_FAILURE: return "CYCLE_FAILURE";
    default: return nullptr;
    }
}

const char* copyDataName(int dwData) {
    switch (dwData) {
    case COPYDATA_NEW_ITEM: return "COPYDATA_NEW_ITEM";
    case COPYDATA_DELIVERY_FAILURE: return "COPYDATA_DELIVERY_FAILURE";
    default: return nullptr;
    }
}
