#pragma once
#include <array>
#include <cassert>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>

#include "net/message.h"

// The game's messages, each declared once: id, the side that reads it, and its
// fields in wire order with their ranges. Writers and readers come from the
// declarations, so the two can never disagree about a layout.
namespace bg {

enum : uint16_t {
  MSG_JOIN = 1, MSG_PLAYER = 2, MSG_LEFT = 3, MSG_IDENTITY = 4, MSG_CHAT = 5, MSG_KICKED = 7,
  MSG_COLOUR = 9, MSG_GAME = 41, MSG_SEED = 45, MSG_CLICK = 50,
};

// The side that reads a message. Chat, colour and click carry other fields each way.
enum class Dir : uint8_t { ToHost, ToPlayer };

// Red, green, blue: three bytes on the wire.
using ColourBytes = std::array<uint8_t, 3>;

// One field: a member, and for numbers the values it may hold (both ends
// included). A field without a range takes whatever its type holds; text
// is bounded by the line reader alone.
template <class M, class T>
struct Field {
  T M::*member;
  int64_t lo = 0, hi = 0;
  bool limited = false;
  constexpr Field(T M::*m) : member(m) {}
  constexpr Field(T M::*m, int64_t l, int64_t h)
    requires std::integral<T>
      : member(m), lo(l), hi(h), limited(true) {}
};

// A player id the host hands out; 255 stands for no player and names nobody.
inline constexpr int64_t kMaxPlayerId = 254;

struct JoinMsg {
  std::string name;
  ColourBytes colour{};
  static constexpr uint16_t kId = MSG_JOIN;
  static constexpr Dir kDir = Dir::ToHost;
  static constexpr auto Fields() { return std::tuple{Field{&JoinMsg::name}, Field{&JoinMsg::colour}}; }
};

// A player in the game; the joining player gets its own record with the other id.
template <uint16_t Id>
struct PlayerRecordMsg {
  std::string name;
  ColourBytes colour{};
  uint8_t id = 0;
  static constexpr uint16_t kId = Id;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() {
    using M = PlayerRecordMsg;
    return std::tuple{Field{&M::name}, Field{&M::colour}, Field{&M::id, 0, kMaxPlayerId}};
  }
};
using PlayerMsg = PlayerRecordMsg<MSG_PLAYER>;
using IdentityMsg = PlayerRecordMsg<MSG_IDENTITY>;

struct LeftMsg {
  uint8_t id = 0;
  static constexpr uint16_t kId = MSG_LEFT;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() { return std::tuple{Field{&LeftMsg::id, 0, kMaxPlayerId}}; }
};

struct ChatToHost {
  std::string text;
  static constexpr uint16_t kId = MSG_CHAT;
  static constexpr Dir kDir = Dir::ToHost;
  static constexpr auto Fields() { return std::tuple{Field{&ChatToHost::text}}; }
};

// The sender's name, ": " and the text, as one line.
struct ChatToPlayer {
  std::string text;
  static constexpr uint16_t kId = MSG_CHAT;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() { return std::tuple{Field{&ChatToPlayer::text}}; }
};

struct KickedMsg {
  static constexpr uint16_t kId = MSG_KICKED;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() { return std::tuple{}; }
};

struct ColourToHost {
  ColourBytes colour{};
  static constexpr uint16_t kId = MSG_COLOUR;
  static constexpr Dir kDir = Dir::ToHost;
  static constexpr auto Fields() { return std::tuple{Field{&ColourToHost::colour}}; }
};

struct ColourToPlayer {
  uint8_t id = 0;
  ColourBytes colour{};
  static constexpr uint16_t kId = MSG_COLOUR;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() {
    return std::tuple{Field{&ColourToPlayer::id, 0, kMaxPlayerId}, Field{&ColourToPlayer::colour}};
  }
};

// No ranges: a host sends its settings as they are, and whether they make a
// field is the game's rule, not the codec's.
struct GameSetupMsg {
  int32_t width = 0, height = 0, mines = 0;
  uint8_t wrap = 0, lethal = 0;
  int32_t seed = 0;
  float time = 0;
  static constexpr uint16_t kId = MSG_GAME;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() {
    using M = GameSetupMsg;
    return std::tuple{Field{&M::width}, Field{&M::height}, Field{&M::mines}, Field{&M::wrap},
                      Field{&M::lethal}, Field{&M::seed}, Field{&M::time}};
  }
};

struct SeedMsg {
  int32_t seed = 0;
  static constexpr uint16_t kId = MSG_SEED;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() { return std::tuple{Field{&SeedMsg::seed}}; }
};

// A player sends only clicks on a block it sees, with button 1 (reveal) or 2 (flag).
struct ClickToHost {
  int32_t block = 0;
  uint8_t button = 0;
  static constexpr uint16_t kId = MSG_CLICK;
  static constexpr Dir kDir = Dir::ToHost;
  static constexpr auto Fields() {
    return std::tuple{Field{&ClickToHost::block, 0, std::numeric_limits<int32_t>::max()},
                      Field{&ClickToHost::button, 1, 2}};
  }
};

// No ranges: not every host checks the clicks it relays, and a player applies
// whatever its host relays (a block or player it does not know, nothing).
struct ClickToPlayer {
  int32_t block = 0;
  uint8_t button = 0;
  uint8_t player = 0;
  static constexpr uint16_t kId = MSG_CLICK;
  static constexpr Dir kDir = Dir::ToPlayer;
  static constexpr auto Fields() {
    return std::tuple{Field{&ClickToPlayer::block}, Field{&ClickToPlayer::button}, Field{&ClickToPlayer::player}};
  }
};

// Every game message; a message added here gets its fuzz seeds too.
using GameMessages = std::tuple<JoinMsg, PlayerMsg, IdentityMsg, LeftMsg, ChatToHost, ChatToPlayer, KickedMsg,
                                ColourToHost, ColourToPlayer, GameSetupMsg, SeedMsg, ClickToHost, ClickToPlayer>;

// Calls f(static_cast<M*>(nullptr)) for each message type M, in table order.
template <class F>
constexpr void ForEachGameMessage(F&& f) {
  [&]<class... M>(std::tuple<M...>*) { (f(static_cast<M*>(nullptr)), ...); }(static_cast<GameMessages*>(nullptr));
}

namespace wire {
// The field kinds of the game; any other type is refused, not converted.
template <class T>
void Put(MessageWriter&, const T&) = delete;
inline void Put(MessageWriter& w, uint8_t v) { w.MByte(v); }
inline void Put(MessageWriter& w, int32_t v) { w.MInt(v); }
inline void Put(MessageWriter& w, float v) { w.MFloat(v); }
inline void Put(MessageWriter& w, const std::string& v) { w.MLine(v); }
inline void Put(MessageWriter& w, const ColourBytes& v) {
  for (uint8_t c : v) w.MByte(c);
}
inline void Get(FieldReader& r, uint8_t& v) { v = r.ReadByte(); }
inline void Get(FieldReader& r, int32_t& v) { v = r.ReadInt(); }
inline void Get(FieldReader& r, float& v) { v = r.ReadFloat(); }
inline void Get(FieldReader& r, std::string& v) { v = r.ReadLine(); }
inline void Get(FieldReader& r, ColourBytes& v) {
  for (uint8_t& c : v) c = r.ReadByte();
}
template <class M, class T>
constexpr bool InRange(const Field<M, T>& f, const T& v) {
  if constexpr (std::integral<T>) return !f.limited || (v >= f.lo && v <= f.hi);
  return true;
}

// One pair of (id, side) per message: a reader could not tell two apart.
template <class... M>
constexpr bool Distinct(std::tuple<M...>*) {
  const std::array<int, sizeof...(M)> keys{(M::kId * 2 + int(M::kDir))...};
  for (size_t i = 0; i < keys.size(); ++i)
    for (size_t j = i + 1; j < keys.size(); ++j)
      if (keys[i] == keys[j]) return false;
  return true;
}
static_assert(Distinct(static_cast<GameMessages*>(nullptr)));
}  // namespace wire

// Appends the message as one frame. A value outside its field's range is a
// bug of the sender: the far side would drop the message.
template <class M>
void WriteMessage(MessageWriter& w, const M& m) {
  w.MNew(M::kId);
  std::apply(
      [&](const auto&... f) {
        ((assert(wire::InRange(f, m.*f.member)), wire::Put(w, m.*f.member)), ...);
      },
      M::Fields());
}

// Reads the fields after the id. Nothing when the frame is incomplete or
// hostile (the reader's NeedMore or Failed says which), or when a field is out
// of its range: then the reader stays Ok and the whole frame is consumed, so
// it is passed over and the next frame still counts.
template <class M>
std::optional<M> ReadMessage(FieldReader& r) {
  M m{};
  bool inRange = true;
  std::apply(
      [&](const auto&... f) { ((wire::Get(r, m.*f.member), inRange = inRange && wire::InRange(f, m.*f.member)), ...); },
      M::Fields());
  if (!r.Ok() || !inRange) return std::nullopt;
  return m;
}

// Handlers by message type, for ReadGameMessage: Overloaded{[](const ClickToHost&) {...}, ...}.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
// Spelled out: not every compiler deduces an aggregate's arguments yet.
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// Reads the frame with this id as the message that side receives, and hands it
// to on(message) if it is complete and in range. Unknown when that side has no
// such message; otherwise Done, as the reader's flags decide what an
// incomplete or hostile frame means. Every message of that side needs a handler:
//   reader.Feed(bytes, [&](uint16_t id, FieldReader& r) {
//     return ReadGameMessage<Dir::ToHost>(id, r, Overloaded{[&](const JoinMsg& m) {...}, ...});
//   });
template <Dir D, class F>
Parse ReadGameMessage(uint16_t id, FieldReader& r, F&& on) {
  Parse res = Parse::Unknown;
  const auto one = [&]<class M>(M*) {
    if constexpr (M::kDir == D) {
      if (res != Parse::Unknown || id != M::kId) return;
      res = Parse::Done;
      if (std::optional<M> m = ReadMessage<M>(r)) on(*m);
    }
  };
  ForEachGameMessage(one);
  return res;
}

}  // namespace bg
