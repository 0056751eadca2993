#include "platform/connector.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/clock.h"

namespace bg {

namespace {
// MilliSecs wraps: times are compared by their difference, taken without overflow.
int32_t Since(int32_t now, int32_t then) { return int32_t(uint32_t(now) - uint32_t(then)); }
int32_t Plus(int32_t t, int32_t ms) { return int32_t(uint32_t(t) + uint32_t(ms)); }
// Lookups still running. A resolver that hangs keeps its thread until the
// system gives up; a player pressing Connect again and again must not pile
// them up, so past this many a new name fails at once.
constexpr int kMaxLookups = 8;
std::atomic<int> gLookups{0};
}  // namespace

// The answers of the lookups, shared with their threads, which may outlive
// the attempt.
struct Connector::Lookups {
  std::mutex m;
  std::vector<std::optional<std::vector<SockAddr>>> answers;
};

void Connector::Start(std::vector<Target> targets, int timeoutMs, bool noDelay, Lookup lookup) {
  Cancel();
  targets_ = std::move(targets);
  noDelay_ = noDelay;
  lookups_ = std::make_shared<Lookups>();
  lookups_->answers.resize(targets_.size());
  for (size_t i = 0; i < targets_.size(); ++i) {
    if (auto literal = SockAddr::Parse(targets_[i].name)) {
      lookups_->answers[i] = std::vector<SockAddr>{*literal};
      continue;
    }
    if (gLookups.fetch_add(1) >= kMaxLookups) {
      gLookups.fetch_sub(1);
      lookups_->answers[i] = std::vector<SockAddr>{};
      continue;
    }
    try {
      std::thread([answers = lookups_, i, name = targets_[i].name, lookup] {
        std::vector<SockAddr> found = lookup(name);
        {
          std::lock_guard<std::mutex> lock(answers->m);
          answers->answers[i] = std::move(found);
        }
        gLookups.fetch_sub(1);
      }).detach();
    } catch (const std::system_error&) {
      gLookups.fetch_sub(1);
      lookups_->answers[i] = std::vector<SockAddr>{};
    }
  }
  state_ = State::Pending;
  const int32_t now = MilliSecs();
  deadline_ = Plus(now, std::max(0, timeoutMs));
  target_ = 0;
  resolved_ = false;
  attempting_ = false;
  targetDeadline_ = targets_.empty() ? now : Plus(now, Since(deadline_, now) / int32_t(targets_.size()));
}

void Connector::NextTarget(int32_t now) {
  ++target_;
  resolved_ = false;
  const size_t left = targets_.size() - std::min(target_, targets_.size());
  targetDeadline_ = left == 0 ? now : Plus(now, Since(deadline_, now) / int32_t(left));
}

Connector::State Connector::Fail() {
  Cancel();
  state_ = State::Failed;
  return state_;
}

Connector::State Connector::Poll() {
  if (state_ != State::Pending) return state_;
  const int32_t now = MilliSecs();
  const auto past = [now](int32_t t) { return Since(now, t) >= 0; };
  for (;;) {
    if (attempting_) {
      const TSocket::Progress p = sock_.ConnectProgress();
      if (p == TSocket::Progress::Done) {
        state_ = State::Connected;
        return state_;
      }
      if (p == TSocket::Progress::Pending && !past(attemptDeadline_)) return state_;
      attempting_ = false;
      sock_ = TSocket();
      ++addr_;
    }
    if (past(deadline_) || target_ >= targets_.size()) return Fail();
    if (!resolved_) {
      std::lock_guard<std::mutex> lock(lookups_->m);
      if (auto& answer = lookups_->answers[target_]) {
        addrs_ = std::move(*answer);
        addr_ = 0;
        resolved_ = true;
      }
    }
    if (!resolved_) {
      if (!past(targetDeadline_)) return state_;
      NextTarget(now);
      continue;
    }
    if (addr_ >= addrs_.size() || past(targetDeadline_)) {
      NextTarget(now);
      continue;
    }
    SockAddr to = addrs_[addr_];
    to.port = targets_[target_].port;
    attemptDeadline_ = Plus(now, Since(targetDeadline_, now) / int32_t(addrs_.size() - addr_));
    if (sock_.CreateTCP(to.v6)) sock_.SetTCPNoDelay(noDelay_);
    attempting_ = sock_.BeginConnect(to) != TSocket::Progress::Failed;
    if (!attempting_) ++addr_;
  }
}

TSocket Connector::Take() {
  TSocket s = state_ == State::Connected ? std::move(sock_) : TSocket();
  Cancel();
  return s;
}

void Connector::Cancel() {
  state_ = State::Idle;
  sock_ = TSocket();
  attempting_ = false;
  lookups_.reset();
  addrs_.clear();
}

}  // namespace bg
