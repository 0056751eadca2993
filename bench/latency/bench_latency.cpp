// How long a click takes to reach every board: one host and eight players,
// each a real instance in its own process ticking at 70 Hz, on loopback.
//
// Each instance times the tick in which a watched block changed (the
// headless driver's `watch`, CLOCK_MONOTONIC, which every process on the
// machine shares); the click's start is taken here just before the `click`
// command is written, so the figure slightly overstates the true latency.
// Latency of one click = the slowest board's change time - the start, in
// ticks of 1000/70 ms.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "tools/headless/instance.h"

namespace {

using bg::multi::Instance;
using bg::multi::State;
using Micros = long long;

constexpr double kTickUs = 1e6 / 70.0;
constexpr int kPlayers = 8;
constexpr int kWidth = 40, kHeight = 40, kMines = 300;
// A click not seen everywhere by then counts as lost.
constexpr int kLostMs = 2000;

Micros MonoUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A port the system just handed out and took back: free unless raced.
int FreePort() {
  bg::TSocket probe;
  if (!probe.CreateTCP() || !probe.Bind(0, bg::HostIp("127.0.0.1"))) return 0;
  return probe.LocalPort();
}

bool WaitFor(const std::function<bool()>& cond, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    SleepMs(50);
  }
}

// Every instance knows all players, and all boards are the same.
bool Together(const std::vector<Instance*>& all, State* ref) {
  std::string board;
  for (Instance* i : all) {
    const State s = i->Dump();
    if (!s.ok || s.parsed.size() != all.size() || s.MyName().empty() || s.board.empty()) return false;
    if (board.empty()) {
      board = s.board;
      if (ref) *ref = s;
    } else if (s.board != board) {
      return false;
    }
  }
  return true;
}

double Pct(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// "seen ID:US ID:US ..." -> the time of ID's change, if reported.
bool SeenTime(const std::string& answer, long id, Micros& us) {
  std::istringstream in(answer);
  std::string word;
  in >> word;
  if (word != "seen") return false;
  while (in >> word) {
    const size_t colon = word.find(':');
    if (colon != std::string::npos && std::stol(word.substr(0, colon)) == id) {
      us = std::stoll(word.substr(colon + 1));
      return true;
    }
  }
  return false;
}

// Second argument 1: the game is announced on a list server that relays it,
// and the players join by the list, each through the relay.
void BM_ClickLatency8Players(benchmark::State& state) {
  signal(SIGPIPE, SIG_IGN);
  const int clicks = int(state.range(0));
  const bool relayed = state.range(1) != 0;
  char tmpl[] = "/tmp/bg-latency-XXXXXX";
  if (!mkdtemp(tmpl)) return state.SkipWithError("no temporary directory");
  const std::string dir = tmpl;
  std::unique_ptr<bg::multi::ListServer> list;
  std::string config;
  if (relayed) {
    const int lo = 30000 + getpid() % 20000;
    list = std::make_unique<bg::multi::ListServer>(
        dir, std::vector<std::string>{"--bind", "127.0.0.1", "--relay-all", "--relay-ports",
                                      std::to_string(lo) + "-" + std::to_string(lo + 9)});
    config = "[network]\nServerListIP=127.0.0.1\nServerListPort=" + std::to_string(list->Port()) + "\n";
  }
  std::vector<std::unique_ptr<Instance>> owned;
  owned.push_back(std::make_unique<Instance>("host", dir + "/host", config));
  for (int k = 1; k <= kPlayers; ++k) {
    std::string label = "p";
    label += std::to_string(k);
    owned.push_back(std::make_unique<Instance>(label, dir + "/" + label, config));
  }
  std::vector<Instance*> all;
  for (auto& i : owned) all.push_back(i.get());
  Instance& host = *all[0];
  const auto cleanup = [&] {
    owned.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  };
  for (Instance* i : all)
    if (!i->Ready() || i->Cmd("set name " + i->Label()) != "OK") return cleanup(), state.SkipWithError("start-up failed");

  // The options apply to the game that hosting starts.
  int port = 0;
  if (host.Cmd("lethal 0") != "OK" ||
      host.Cmd("options " + std::to_string(kWidth) + " " + std::to_string(kHeight) + " " + std::to_string(kMines)) !=
          "OK")
    return cleanup(), state.SkipWithError("options refused");
  for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
    const int p = FreePort();
    host.Cmd("set port " + std::to_string(p));
    host.Cmd(relayed ? "hostb" : "host");
    if (host.Dump().net == 2) port = p;
  }
  if (port == 0) return cleanup(), state.SkipWithError("hosting failed");
  for (size_t k = 1; k < all.size(); ++k) {
    if (relayed) {
      WaitFor([&] {
        all[k]->Cmd("refresh");
        all[k]->Cmd("run 200");
        return !all[k]->Dump().list.empty() && all[k]->Dump().list[0] == "host";
      }, 5000);
      all[k]->Cmd("join 0");
      continue;
    }
    all[k]->Cmd("set ip 127.0.0.1");
    all[k]->Cmd("set port " + std::to_string(port));
    all[k]->Cmd("connect");
  }
  State ref;
  if (!WaitFor([&] { return Together(all, &ref); }, 15000)) return cleanup(), state.SkipWithError("players did not join");

  std::mt19937 rng(20240611);
  std::vector<double> worst;              // per click: the slowest board
  std::vector<double> each;               // per click and board
  std::vector<double> hostOnly;           // per click: the host's board
  std::map<std::string, double> perBoard; // summed, for the mean per instance
  int lost = 0, flags = 0, reveals = 0;

  // A finished or used-up field takes no more clicks: start another, wait for all to have it.
  const auto newField = [&] {
    host.Cmd("newgame");
    State s;
    const bool ok = WaitFor([&] { return Together(all, &s) && s.game == 0 && s.seed != ref.seed; }, 5000);
    ref = s;
    return ok;
  };
  int fields = 0;
  for (auto _ : state) {
    for (int k = 0; k < clicks; ++k) {
      State s = host.Dump();
      if (s.game == 2 && (++fields > 20 || !newField())) break;
      if (s.game == 2) s = host.Dump();
      // Alternately flag a covered block and reveal a covered safe one: one block
      // changes per flag, a reveal may open more.
      const bool flag = k % 2 == 0;
      std::vector<int> choice;
      const std::vector<int> mines = host.Mines();
      std::vector<bool> mine(s.board.size(), false);
      for (int id : mines) mine[size_t(id)] = true;
      for (int id = 0; id < int(s.board.size()); ++id)
        if (s.board[size_t(id)] == '.' && (flag || !mine[size_t(id)])) choice.push_back(id);
      if (choice.empty()) {
        if (++fields > 20 || !newField()) break;
        --k;  // the same click again, on the new field
        continue;
      }
      const int block = choice[rng() % choice.size()];
      Instance& clicker = *all[1 + rng() % kPlayers];
      for (Instance* i : all) i->Cmd("watch " + std::to_string(block));
      SleepMs(int(rng() % 15));  // a different tick phase each time
      const Micros t0 = MonoUs();
      if (clicker.Cmd("click " + std::to_string(block) + (flag ? " 2" : " 1")) != "OK") {
        ++lost;
        continue;
      }
      flag ? ++flags : ++reveals;
      SleepMs(35);  // about two and a half ticks: most boards have it by then
      std::vector<Micros> seen(all.size(), -1);
      const Micros giveUp = t0 + kLostMs * 1000LL;
      for (;;) {
        bool missing = false;
        for (size_t i = 0; i < all.size(); ++i) {
          if (seen[i] >= 0) continue;
          Micros us = 0;
          if (SeenTime(all[i]->Cmd("watch"), block, us))
            seen[i] = us;
          else
            missing = true;
        }
        if (!missing || MonoUs() > giveUp) break;
        SleepMs(5);
      }
      if (std::count(seen.begin(), seen.end(), -1) > 0) {
        ++lost;
        continue;
      }
      double slowest = 0;
      for (size_t i = 0; i < all.size(); ++i) {
        const double ticks = double(seen[i] - t0) / kTickUs;
        slowest = std::max(slowest, ticks);
        each.push_back(ticks);
        perBoard[all[i]->Label()] += ticks;
      }
      worst.push_back(slowest);
      hostOnly.push_back(double(seen[0] - t0) / kTickUs);
    }
  }

  // The field must still be one everywhere after all those clicks.
  const bool same = WaitFor([&] { return Together(all, nullptr); }, 5000);
  state.counters["clicks"] = double(worst.size());
  state.counters["new_fields"] = fields;
  state.counters["flags"] = flags;
  state.counters["reveals"] = reveals;
  state.counters["lost"] = lost;
  state.counters["p50_ticks"] = Pct(worst, 0.50);
  state.counters["p99_ticks"] = Pct(worst, 0.99);
  state.counters["max_ticks"] = worst.empty() ? 0 : *std::max_element(worst.begin(), worst.end());
  state.counters["board_p50_ticks"] = Pct(each, 0.50);
  state.counters["host_p50_ticks"] = Pct(hostOnly, 0.50);
  state.counters["boards_same"] = same ? 1 : 0;
  if (list) {  // every player's connection went through the relay
    const std::string log = list->LogText();
    long n = 0;
    for (size_t at = 0; (at = log.find("relays a player", at)) != std::string::npos; ++at) ++n;
    state.counters["relayed_players"] = double(n);
  }
  state.counters["p99_within_2"] = Pct(worst, 0.99) <= 2.0 && lost == 0 ? 1 : 0;
  std::fprintf(stderr, "mean ticks per board:");
  for (const auto& [label, sum] : perBoard) std::fprintf(stderr, " %s=%.2f", label.c_str(), sum / double(worst.size()));
  std::fprintf(stderr, "\n");
  if (!same) state.SkipWithError("boards differ after the run");
  cleanup();
}
BENCHMARK(BM_ClickLatency8Players)->Args({200, 0})->Args({200, 1})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
