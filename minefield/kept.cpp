#include "minefield/kept.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bg {

const char* OutcomeText(Outcome o) {
  switch (o) {
    case Outcome::WON: return "won";
    case Outcome::LOST: return "lost";
    case Outcome::ENDED: return "ended by others";
    case Outcome::ABANDONED: return "abandoned";
  }
  return "";
}

int32_t Bbbv(const Game& g) {
  if (g.revealed == 0 || int64_t(g.Blocks.size()) != int64_t(g.Count())) return 0;
  // 1: part of an opening or its border, counted with the opening.
  std::vector<uint8_t> done(g.Blocks.size(), 0);
  std::vector<int32_t> stack;
  int32_t count = 0;
  for (int32_t id = 0; id < g.Count(); ++id) {
    if (g.Blocks[size_t(id)].Value != 0 || done[size_t(id)]) continue;
    ++count;
    done[size_t(id)] = 1;
    stack.push_back(id);
    while (!stack.empty()) {
      const int32_t at = stack.back();
      stack.pop_back();
      for (const int32_t n : g.Around(at)) {
        if (done[size_t(n)]) continue;
        done[size_t(n)] = 1;
        if (g.Blocks[size_t(n)].Value == 0) stack.push_back(n);
      }
    }
  }
  for (int32_t id = 0; id < g.Count(); ++id)
    if (g.Blocks[size_t(id)].Value > 0 && !done[size_t(id)]) ++count;
  return count;
}

namespace {

constexpr uint8_t kMagic[8] = {'B', 'G', 'R', 'E', 'P', 'L', 'A', 'Y'};
constexpr size_t kHead = sizeof kMagic + 2 + 4;  // magic, version, body length
constexpr size_t kMaxText = 4096;

class Writer {
 public:
  std::vector<uint8_t> out;
  void U8(uint8_t v) { out.push_back(v); }
  void Le(uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
  }
  void Var(uint64_t v) {
    for (; v >= 0x80; v >>= 7) out.push_back(uint8_t(v | 0x80));
    out.push_back(uint8_t(v));
  }
  void Text(const std::string& s) {
    const size_t n = std::min(s.size(), kMaxText);
    Var(n);
    out.insert(out.end(), s.begin(), s.begin() + std::ptrdiff_t(n));
  }
  void Colour(const RGB& c) { out.insert(out.end(), c.begin(), c.end()); }
};

// Every read past the end or of a value out of range sets the sticky flag;
// later reads give zeros.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> b) : b_(b) {}
  bool ok = true;
  size_t Left() const { return b_.size() - at_; }
  uint64_t Le(int bytes) {
    if (!ok || Left() < size_t(bytes)) return Fail();
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(b_[at_++]) << (8 * i);
    return v;
  }
  uint8_t U8() { return uint8_t(Le(1)); }
  uint64_t Var(uint64_t max) {
    uint64_t v = 0;
    for (int shift = 0; ok; shift += 7) {
      if (shift > 63 || Left() == 0) return Fail();
      const uint8_t byte = b_[at_++];
      v |= uint64_t(byte & 0x7f) << shift;
      if (!(byte & 0x80)) break;
    }
    return v <= max ? v : Fail();
  }
  std::string Text() {
    const size_t n = size_t(Var(kMaxText));
    if (!ok || Left() < n) return Fail(), std::string();
    std::string s(reinterpret_cast<const char*>(b_.data() + at_), n);
    at_ += n;
    return s;
  }
  RGB Colour() { return {U8(), U8(), U8()}; }
  uint64_t Fail() {
    ok = false;
    return 0;
  }

 private:
  std::span<const uint8_t> b_;
  size_t at_ = 0;
};

uint64_t Zigzag(int64_t v) { return (uint64_t(v) << 1) ^ uint64_t(v >> 63); }
int64_t Unzigzag(uint64_t v) { return int64_t(v >> 1) ^ -int64_t(v & 1); }

// Event times are kept in hundredths of a second: a click rarely needs more than one byte.
int64_t Centis(float t) { return std::isfinite(t) && t > 0.0f ? std::min<int64_t>(std::llround(double(t) * 100.0), INT32_MAX) : 0; }

// An event: a head (kind, whether the player is the last event's, button), the
// player if not, the time since the last event, then what the kind needs.
void PutEvents(Writer& w, const GameRecord& r) {
  w.Var(r.events.size());
  uint8_t player = kNoPlayer;
  int64_t time = 0;
  int32_t block = 0;
  for (const RecordEvent& e : r.events) {
    const bool same = e.player == player;
    const uint8_t button = e.kind == RecordEvent::MOVE ? e.button : 0;
    w.Var(uint64_t(e.kind) | uint64_t(same) << 2 | uint64_t(button) << 3);
    if (!same) w.U8(e.player);
    player = e.player;
    const int64_t t = std::max(time, Centis(e.time));
    w.Var(uint64_t(t - time));
    time = t;
    switch (e.kind) {
      case RecordEvent::MOVE:
        w.Var(Zigzag(int64_t(e.block) - block));
        block = e.block;
        break;
      case RecordEvent::JOIN:
        w.Text(e.name < r.names.size() ? r.names[e.name] : std::string());
        w.Colour(e.colour);
        break;
      case RecordEvent::COLOUR: w.Colour(e.colour); break;
      case RecordEvent::LEAVE: break;
    }
  }
}

bool GetEvents(Reader& rd, GameRecord& r) {
  r.events.clear();
  r.names.clear();
  const uint64_t count = rd.Var(kMaxReplayEvents);
  // Each event takes at least two bytes: a hostile count allocates nothing.
  if (!rd.ok || count > rd.Left() / 2) return false;
  r.events.reserve(size_t(count));
  uint8_t player = kNoPlayer;
  int64_t time = 0;
  int64_t block = 0;
  for (uint64_t i = 0; i < count && rd.ok; ++i) {
    const uint64_t head = rd.Var(255 << 3 | 7);
    RecordEvent e;
    e.kind = RecordEvent::Kind(head & 3);
    e.button = uint8_t(head >> 3);
    if (e.kind != RecordEvent::MOVE && e.button != 0) return false;
    if (!(head & 4)) player = rd.U8();
    e.player = player;
    time += int64_t(rd.Var(INT32_MAX));
    if (time > INT32_MAX) return false;
    e.time = float(double(time) / 100.0);
    switch (e.kind) {
      case RecordEvent::MOVE:
        // A step between two blocks of the field: a larger one would overflow the sum.
        block += Unzigzag(rd.Var(2 * uint64_t(kMaxBlocks)));
        if (block < 0 || block >= kMaxBlocks) return false;
        e.block = int32_t(block);
        break;
      case RecordEvent::JOIN:
        if (r.names.size() >= kMaxReplayJoins) return false;
        r.names.push_back(rd.Text());
        e.name = uint32_t(r.names.size() - 1);
        e.colour = rd.Colour();
        break;
      case RecordEvent::COLOUR: e.colour = rd.Colour(); break;
      case RecordEvent::LEAVE: break;
    }
    r.events.push_back(e);
  }
  return rd.ok;
}

uint32_t Crc(std::span<const uint8_t> b) { return uint32_t(crc32(0L, b.data(), uInt(b.size()))); }

ReplayRead Damaged() { return {std::nullopt, kDamagedReplay}; }

}  // namespace

std::vector<uint8_t> EncodeEvents(const GameRecord& record) {
  Writer w;
  PutEvents(w, record);
  return std::move(w.out);
}

bool DecodeEvents(std::span<const uint8_t> bytes, GameRecord& out) {
  Reader rd(bytes);
  if (GetEvents(rd, out) && rd.Left() == 0) return true;
  out.events.clear();
  out.names.clear();
  return false;
}

std::vector<uint8_t> EncodeReplay(const KeptGame& k) {
  Writer w;
  w.out.assign(std::begin(kMagic), std::end(kMagic));
  w.Le(kReplayVersion, 2);
  w.Le(0, 4);  // the body's length, once known
  const GameSetup& s = k.record.setup;
  w.Le(uint32_t(s.width), 4);
  w.Le(uint32_t(s.height), 4);
  w.Le(uint32_t(s.mines), 4);
  w.U8(s.wrap);
  w.U8(s.lethal);
  w.Le(uint32_t(s.seed), 4);
  w.Le(uint64_t(k.date), 8);
  w.Text(k.player);
  w.U8(k.networked ? 1 : 0);
  w.U8(uint8_t(k.outcome));
  w.Le(uint32_t(std::max(0, k.millis)), 4);
  w.Le(uint32_t(std::max(0, k.clicks)), 4);
  w.Le(uint32_t(std::max(0, k.bbbv)), 4);
  const size_t players = std::min<size_t>(k.players.size(), 256);
  w.Var(players);
  for (size_t i = 0; i < players; ++i) {
    const KeptPlayer& p = k.players[i];
    w.U8(p.id);
    w.Text(p.name);
    w.Colour(p.colour);
    w.Le(uint32_t(p.score), 4);
  }
  PutEvents(w, k.record);
  const size_t body = w.out.size() - kHead;
  for (int i = 0; i < 4; ++i) w.out[sizeof kMagic + 2 + size_t(i)] = uint8_t(body >> (8 * i));
  w.Le(Crc(w.out), 4);
  return std::move(w.out);
}

ReplayRead DecodeReplay(std::span<const uint8_t> bytes) {
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return {std::nullopt, kNotAReplay};
  Reader head(bytes.subspan(sizeof kMagic));
  const uint64_t version = head.Le(2);
  const uint64_t body = head.Le(4);
  if (head.ok && version > kReplayVersion) return {std::nullopt, kNewerReplay};
  if (!head.ok || version == 0 || bytes.size() < kHead + 4 || bytes.size() > kMaxReplayBytes ||
      body != bytes.size() - kHead - 4)
    return Damaged();
  const auto signed_ = bytes.first(bytes.size() - 4);
  if (Reader(bytes.last(4)).Le(4) != Crc(signed_)) return Damaged();

  Reader rd(signed_.subspan(kHead));
  KeptGame k;
  GameSetup& s = k.record.setup;
  s.width = int32_t(rd.Le(4));
  s.height = int32_t(rd.Le(4));
  s.mines = int32_t(rd.Le(4));
  s.wrap = rd.U8();
  s.lethal = rd.U8();
  s.seed = int32_t(rd.Le(4));
  k.date = int64_t(rd.Le(8));
  k.player = rd.Text();
  const uint8_t networked = rd.U8();
  const uint8_t outcome = rd.U8();
  k.millis = int32_t(rd.Le(4));
  k.clicks = int32_t(rd.Le(4));
  k.bbbv = int32_t(rd.Le(4));
  if (!rd.ok || !GameSetupValid(s.width, s.height, s.mines) || s.wrap > 1 || s.lethal > 1 || networked > 1 ||
      outcome > uint8_t(Outcome::ABANDONED) || k.millis < 0 || k.clicks < 0 || k.bbbv < 0)
    return Damaged();
  k.networked = networked == 1;
  k.outcome = Outcome(outcome);
  const size_t players = size_t(rd.Var(256));
  for (size_t i = 0; i < players && rd.ok; ++i) {
    KeptPlayer p;
    p.id = rd.U8();
    p.name = rd.Text();
    p.colour = rd.Colour();
    p.score = int32_t(rd.Le(4));
    k.players.push_back(std::move(p));
  }
  if (!rd.ok || !GetEvents(rd, k.record) || rd.Left() != 0) return Damaged();
  const int64_t blocks = int64_t(s.width) * s.height;
  for (const RecordEvent& e : k.record.events)
    if (e.kind == RecordEvent::MOVE && e.block >= blocks) return Damaged();
  return {std::move(k), std::string()};
}

}  // namespace bg
