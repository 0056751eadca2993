#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace bg {

// Connects to the first of a list of hosts that answers, each given by name
// or address, trying every address of each in turn, within one time limit
// on the MilliSecs clock. Nothing waits: names are looked up on threads of
// their own (started at once, so a hung lookup costs only its share of the
// time), connects are non-blocking, and Poll moves the attempt on.
class Connector {
 public:
  struct Target {
    std::string name;
    uint16_t port = 0;
  };
  enum class State { Idle, Pending, Connected, Failed };

  // A new attempt (a running one is dropped). Each host has an equal share
  // of the time left when its turn comes, and each of its addresses an
  // equal share of that, so a host or address that never answers cannot
  // use up the time of the ones after it.
  void Start(std::vector<Target> targets, int timeoutMs, bool noDelay, Lookup lookup = Resolve);
  State Poll();
  bool Pending() const { return state_ == State::Pending; }
  // The connected socket; the connector is then idle again.
  TSocket Take();
  // Drops the attempt; a lookup still running finishes unheard.
  void Cancel();

 private:
  struct Lookups;
  void NextTarget(int32_t now);
  State Fail();
  State state_ = State::Idle;
  std::vector<Target> targets_;
  std::shared_ptr<Lookups> lookups_;
  std::vector<SockAddr> addrs_;
  bool resolved_ = false;
  size_t target_ = 0, addr_ = 0;
  int32_t deadline_ = 0, targetDeadline_ = 0, attemptDeadline_ = 0;
  bool noDelay_ = false;
  bool attempting_ = false;
  TSocket sock_;
};

}  // namespace bg
