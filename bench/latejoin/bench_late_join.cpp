// A player who joins a long game late: the host (this process) has logged
// 300,000 clicks on a 1000 x 1000 field; the joiner is a real instance in its
// own process, both ticking at 70 Hz on loopback. Catch-up time runs from the
// `connect` command to the tick in which the joiner applied the last logged
// click (the headless driver's `watch`, CLOCK_MONOTONIC, shared by every
// process on the machine); then the joiner's whole board must equal the host's.
// first_click_ms is the part until the opening reveal was applied: the game
// setup, a new field of a million blocks and its mines, before any replay.
// joiner_cpu_ms is the CPU time the joiner spent meanwhile: on a busy machine
// the wall-clock time is mostly waiting for a core.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "net/net.h"
#include "minefield/record.h"
#include "minefield/text.h"
#include "net/host.h"
#include "platform/gui_memory.h"
#include "platform/random.h"
#include "platform/socket.h"
#include "platform/sound.h"
#include "tools/headless/instance.h"

using namespace bg;

namespace {

constexpr int kSide = 1000, kMines = 150000, kClicks = 300000;
const std::string kConfig = "[settings]\nBombkill=0\n[minefield]\nWidth=1000\nHeight=1000\nMines=150000\n";

long long MonoUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

// CPU milliseconds (user + system) of this process's child of that name, or -1.
double ChildCpuMs(const std::string& comm) {
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    std::FILE* f = std::fopen((e.path() / "stat").c_str(), "r");
    if (!f) continue;
    char name[64] = "";
    int pid = 0, ppid = 0;
    char st = 0;
    unsigned long utime = 0, stime = 0;
    const int got = std::fscanf(f, "%d (%63[^)]) %c %d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &pid, name, &st,
                                &ppid, &utime, &stime);
    std::fclose(f);
    if (got == 6 && ppid == getpid() && comm.rfind(name, 0) == 0)
      return double(utime + stime) * 1000.0 / double(sysconf(_SC_CLK_TCK));
  }
  return -1;
}

void Tick() {
  Event tick;
  tick.id = EVENT_TIMERTICK;
  Hook(tick);
}

// Hosts a 1000 x 1000 game and logs kClicks clicks of its own player, applied
// to its board as relayed clicks are. Returns the block of the last click.
int HostLongGame(MemoryGui& gui, int& port) {
  {
    std::FILE* f = std::fopen("config.ini", "wb");
    std::fputs(kConfig.c_str(), f);
    std::fclose(f);
  }
  std::string error;
  if (!Initialise(error, false)) return -1;
  TSocket probe;
  probe.CreateTCP();
  probe.Bind(0, HostIp("127.0.0.1"));
  port = probe.LocalPort();
  probe.Close();
  gui.SetText(gDirectPort, std::to_string(port));
  Event ev;
  ev.id = EVENT_GADGETACTION;
  ev.source = gDirectHost;
  Hook(ev);
  for (int i = 0; i < 200 && (TNet::MyId < 0 || gGame.revealed == 0); ++i) {
    Tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (TNet::MyId < 0 || gGame.BlockAW != kSide || gGame.Mines != kMines) return -1;
  // Flags toggled all over the field, with some reveals among them.
  GameRecord& record = Hosting().record;
  const uint8_t me = uint8_t(TNet::MyId);
  Rng rng(77);
  auto click = [&](const Move& m) {
    Apply(gGame, m);
    record.AddMove(m, 0.0f);
  };
  while (record.events.size() < size_t(kClicks)) {
    const int id = rng.Rand(0, kSide * kSide - 1);
    click({id, uint8_t(rng.Rand(0, 9) == 0 ? 1 : 2), me});
  }
  // The last click flags a covered block that no click touched before.
  int last = 0;
  while (gGame.Blocks[size_t(last)].Revealed || gGame.Blocks[size_t(last)].flag) ++last;
  click({last, 2, me});
  return last;
}

void BM_LateJoinerTo300kClicks(benchmark::State& state) {
  signal(SIGPIPE, SIG_IGN);
  char tmpl[] = "/tmp/bg-latejoin-XXXXXX";
  if (!mkdtemp(tmpl)) return state.SkipWithError("no temporary directory");
  const std::string dir = tmpl;
  std::filesystem::create_directories(dir + "/host");
  if (chdir((dir + "/host").c_str()) != 0) return state.SkipWithError("no host directory");
  MemoryGui gui;
  MemoryAudio audio;
  SetGui(&gui);
  SetAudio(&audio);
  int port = 0;
  const int last = HostLongGame(gui, port);
  const size_t logged = Hosting().record.events.size();
  const std::string hostBoard = BoardText(gGame);

  std::vector<double> catchUp, firstClick, cpu;
  int round = 0;
  for (auto _ : state) {
    if (last < 0) {
      state.SkipWithError("hosting the long game failed");
      break;
    }
    multi::Instance joiner("late", dir + "/late" + std::to_string(round++), kConfig);
    const long first = long(Hosting().record.events[0].block);
    if (!joiner.Ready() || joiner.Cmd("watch " + std::to_string(first)) != "OK" ||
        joiner.Cmd("watch " + std::to_string(last)) != "OK" ||
        joiner.Cmd("set ip 127.0.0.1") != "OK" || joiner.Cmd("set port " + std::to_string(port)) != "OK") {
      state.SkipWithError("the joiner did not start");
      break;
    }
    // The host ticks at 70 Hz on its own thread; this one only talks to the joiner.
    std::atomic<bool> stop{false};
    std::thread host([&] {
      auto next = std::chrono::steady_clock::now();
      while (!stop) {
        Tick();
        next += std::chrono::microseconds(1000000 / 70);
        std::this_thread::sleep_until(next);
      }
    });
    const double cpuBefore = ChildCpuMs("blastgrid-headless");
    const long long start = MonoUs();
    joiner.Cmd("connect");
    long long seenUs = -1, firstUs = -1;
    for (int poll = 0; poll < 1000 && seenUs < 0; ++poll) {
      std::istringstream in(joiner.Cmd("watch"));
      std::string word;
      in >> word;
      while (in >> word) {
        const long long us = std::stoll(word.substr(word.find(':') + 1));
        if (word.rfind(std::to_string(last) + ":", 0) == 0) seenUs = us;
        if (word.rfind(std::to_string(first) + ":", 0) == 0) firstUs = us;
      }
      if (seenUs < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    cpu.push_back(ChildCpuMs("blastgrid-headless") - cpuBefore);
    const multi::State s = joiner.Dump(20000);
    stop = true;
    host.join();
    if (seenUs < 0) {
      state.SkipWithError("the joiner never applied the last click");
      break;
    }
    if (s.board != hostBoard) {
      state.SkipWithError("the joiner's board differs from the host's");
      break;
    }
    catchUp.push_back(double(seenUs - start) / 1000.0);
    firstClick.push_back(double(firstUs - start) / 1000.0);
    state.SetIterationTime(double(seenUs - start) / 1e6);
    joiner.Quit();
  }
  if (!catchUp.empty()) {
    std::sort(catchUp.begin(), catchUp.end());
    state.counters["catch_up_ms_min"] = catchUp.front();
    state.counters["catch_up_ms_max"] = catchUp.back();
    state.counters["first_click_ms_max"] = *std::max_element(firstClick.begin(), firstClick.end());
    state.counters["joiner_cpu_ms_max"] = *std::max_element(cpu.begin(), cpu.end());
  }
  state.counters["clicks_logged"] = double(logged);
  state.counters["batch_MB"] = double(logged) * 16 / 1e6;
  TNet::Reset();
  SetGui(nullptr);
  SetAudio(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_LateJoinerTo300kClicks)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
