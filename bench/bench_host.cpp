// A host with 100 connected players, each clicking ten times a second, on
// loopback: the host's whole tick (paint, network, update) at 70 Hz.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "net/message.h"
#include "net/net.h"
#include "net/host.h"
#include "platform/gui_memory.h"
#include "platform/random.h"
#include "platform/socket.h"
#include "platform/sound.h"

using namespace bg;
using Clock = std::chrono::steady_clock;

namespace {

void BM_HostTick100Players(benchmark::State& state) {
  const int players = int(state.range(0));
  char tmpl[] = "/tmp/blastgrid-bench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  if (chdir(dir.c_str()) != 0) return;
  MemoryGui gui;
  MemoryAudio audio;
  SetGui(&gui);
  SetAudio(&audio);
  {
    std::FILE* f = std::fopen("config.ini", "wb");
    std::fputs("[minefield]\r\nWidth=100\r\nHeight=100\r\nMines=1200\r\n", f);
    std::fclose(f);
  }
  std::string error;
  Initialise(error, false);
  TSocket probe;
  probe.CreateTCP();
  probe.Bind(0, HostIp("127.0.0.1"));
  const uint16_t port = probe.LocalPort();
  probe.Close();
  gui.SetText(gDirectPort, std::to_string(port));
  Event ev;
  ev.id = EVENT_GADGETACTION;
  ev.source = gDirectHost;
  Hook(ev);

  Event tick;
  tick.id = EVENT_TIMERTICK;
  std::vector<TSocket> peers(static_cast<size_t>(players));
  for (int i = 0; i < players; ++i) {
    peers[size_t(i)].CreateTCP();
    peers[size_t(i)].Connect(HostIp("127.0.0.1"), port);
    MessageWriter w;
    w.MNew(1);
    w.MLine("p" + std::to_string(i));
    w.MByte(1);
    w.MByte(2);
    w.MByte(3);
    peers[size_t(i)].Send(w.Bytes());
    Hook(tick);  // one connection is accepted per tick
  }
  for (int i = 0; i < 20; ++i) Hook(tick);

  std::vector<double> ticks;
  std::vector<uint8_t> sink;
  SeedRnd(5);
  for (auto _ : state) {
    ticks.clear();
    const auto start = Clock::now();
    auto next = start;
    int frame = 0;
    while (Clock::now() - start < std::chrono::seconds(5)) {
      // Each player clicks about ten times a second (every 7th frame at 70 Hz).
      for (int i = 0; i < players; ++i) {
        if ((frame + i) % 7 != 0) continue;
        MessageWriter w;
        w.MNew(50);
        w.MInt(Rand(0, 100 * 100 - 1));
        w.MByte(uint8_t(Rand(1, 2)));
        peers[size_t(i)].Send(w.Bytes());
      }
      const auto t0 = Clock::now();
      Hook(tick);
      ticks.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      for (TSocket& p : peers) {
        sink.clear();
        p.RecvAvail(sink, 1 << 20);
      }
      ++frame;
      next += std::chrono::microseconds(1000000 / 70);
      std::this_thread::sleep_until(next);
    }
  }
  std::sort(ticks.begin(), ticks.end());
  state.counters["tick_p50_ms"] = ticks[ticks.size() / 2];
  state.counters["tick_p99_ms"] = ticks[ticks.size() * 99 / 100];
  state.counters["clicks_logged"] = double(Hosting().record.events.size());
  state.counters["connected"] = double(TNet::Clients.size());
  TNet::Reset();
  SetGui(nullptr);
  SetAudio(nullptr);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_HostTick100Players)->Arg(100)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
