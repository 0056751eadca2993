#include "net/events.h"

namespace bg {

namespace {
SessionEvents gNoEvents;
SessionEvents* gEvents = &gNoEvents;
}  // namespace

SessionEvents& Events() { return *gEvents; }
void SetSessionEvents(SessionEvents* events) { gEvents = events ? events : &gNoEvents; }

}  // namespace bg
