// Timings the unit tests used to assert: how long refusing hostile input takes.
//  - a PNG header that claims 100000 x 100000 pixels (refused before any allocation);
//  - one Send towards a peer that never reads (must never wait for the peer), until the
//    send cap breaks the connection.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx.h"
#include "platform/socket.h"

namespace {

void BM_RefuseAbsurdPngHeader(benchmark::State& state) {
  // Signature, then an IHDR chunk for 100000 x 100000 RGB; the CRC is not checked before the size.
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0, 8, 2, 0, 0, 0, 0, 0, 0, 0};
  const std::string path = "/tmp/bg-bench-huge-" + std::to_string(getpid()) + ".png";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(png.data(), 1, png.size(), f);
  std::fclose(f);
  for (auto _ : state) benchmark::DoNotOptimize(bg::LoadImage(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_RefuseAbsurdPngHeader)->Unit(benchmark::kMicrosecond);

void BM_SendToAPeerThatNeverReads(benchmark::State& state) {
  constexpr uint32_t kLoopback = 0x7F000001;
  const std::vector<uint8_t> chunk(16 * 1024, 0x55);
  for (auto _ : state) {
    state.PauseTiming();
    bg::TSocket listener, client;
    listener.CreateTCP();
    listener.Bind(0, kLoopback);
    listener.Listen(1);
    client.Connect(kLoopback, listener.LocalPort(), 2000);
    std::optional<bg::TSocket> server;
    while (!(server = listener.Accept())) usleep(100);
    client.SetSendCap(64 * 1024);
    state.ResumeTiming();
    size_t sent = 0;
    while (client.Send(chunk) && sent < (256u << 20)) sent += chunk.size();  // until the cap breaks it
    state.counters["bytes_before_break"] = double(sent);
  }
}
BENCHMARK(BM_SendToAPeerThatNeverReads)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
