#include "net/host.h"

#include <algorithm>

#include "net/net.h"
#include "net/protocol.h"
#include "platform/clock.h"
#include "platform/latin1.h"
#include "platform/random.h"

namespace bg {

// A fast player clicks a few times a second; these leave room for bursts.
constexpr double kClickBurst = 60, kClicksPerSecond = 30;
constexpr double kChatBurst = 10, kChatsPerSecond = 2;

namespace {

RGB ReadColour(FieldReader& r) {
  const uint8_t red = r.ReadByte(), green = r.ReadByte(), blue = r.ReadByte();
  return RGB{red, green, blue};
}

void Refill(TNetClient* c, int32_t now) {
  const double dt = std::max(0, now - c->lastRefill) / 1000.0;
  c->lastRefill = now;
  c->clickTokens = std::min(kClickBurst, c->clickTokens + dt * kClicksPerSecond);
  c->chatTokens = std::min(kChatBurst, c->chatTokens + dt * kChatsPerSecond);
}

void PlayerMessage(uint16_t id, const std::string& name, const RGB& col, uint8_t pid) {
  TNet::MNew(id);
  TNet::MLine(name);
  MColour(col);
  TNet::MByte(pid);
}

void ClickMessage(const Move& m) {
  TNet::MNew(MSG_CLICK);
  TNet::MInt(m.block);
  TNet::MByte(m.button);
  TNet::MByte(m.player);
}

}  // namespace

HostSession& Hosting() {
  static HostSession session;
  return session;
}

HostPlayer* HostSession::FindByClient(const TNetClient* c) {
  for (HostPlayer& p : players)
    if (p.client == c) return &p;
  return nullptr;
}

HostPlayer* HostSession::FindByID(uint8_t id) {
  for (HostPlayer& p : players)
    if (p.id == id) return &p;
  return nullptr;
}

float HostSession::GameTime() const {
  if (endTime_ >= 0.0f) return endTime_;
  return float(std::max(0, MilliSecs() - started_)) * 0.001f;
}

void HostSession::GameOver(float gameTime) { endTime_ = gameTime; }

void HostSession::Reset() {
  players.clear();
  record.Clear(GameSetup{});
  endTime_ = -1.0f;
}

bool HostSession::StartGame(const GameSetup& setup) {
  // The same rule as the players' StartGame, so the record is never reset for a game nobody starts.
  if (TNet::NetStatus != NET_HOSTING || !GameSetupValid(setup.width, setup.height, setup.mines)) return false;
  GameSetup s = setup;
  s.seed = MilliSecs();
  // -1 would tell every player to use their own clock, and so other mines.
  if (s.seed == -1) s.seed = 0;
  std::erase_if(players, [](const HostPlayer& p) { return p.Left; });
  record.Clear(s);
  started_ = MilliSecs();
  endTime_ = -1.0f;
  // Who is in the game from its start, so a late joiner's history begins with them.
  for (const HostPlayer& p : players) record.AddJoin(p.name, p.col, p.id, 0.0f);

  TNet::MNew(MSG_GAME);
  TNet::MInt(s.width);
  TNet::MInt(s.height);
  TNet::MInt(s.mines);
  TNet::MByte(s.wrap);
  TNet::MByte(s.lethal);
  TNet::MInt(s.seed);
  TNet::MFloat(0.0f);
  const Move first{Rand(0, s.width * s.height - 1), CLICK_UNCOVER, kNoPlayer};
  ClickMessage(first);
  TNet::MClientSendTCP(nullptr);
  TNet::MClear();
  TNet::FlushClients();
  record.AddMove(first, 0.0f);
  return true;
}

void HostSession::Lose(TNetClient* c) {
  // A connection that is gone, broken or hostile leaves the game like any lost player.
  HostPlayer* p = FindByClient(c);
  c->remove();
  if (!p) return;
  p->client = nullptr;
  p->Left = true;
  record.AddLeave(p->id, GameTime());
  TNet::MNew(MSG_LEFT);
  TNet::MByte(p->id);
  TNet::MClientSendTCP(nullptr);
  TNet::MClear();
}

void HostSession::Join(TNetClient* c, const std::string& name, const RGB& col) {
  if (FindByClient(c)) return;
  // Cut before numbering, so the numbered name still fits every reader's line.
  const std::string asked = CutText(name, kMaxNameChars);
  std::string unique = asked;
  auto taken = [this](const std::string& n) {
    return std::any_of(players.begin(), players.end(), [&n](const HostPlayer& p) { return p.name == n; });
  };
  for (int n = 1; taken(unique); ++n) unique = asked + std::to_string(n);
  // The lowest free id; a duplicate would merge two players' clicks.
  int32_t id = 0;
  while (id < 255 && FindByID(uint8_t(id))) ++id;
  if (id == 255) {
    c->tcpsock.Close();
    return;
  }

  // Only players hear of the newcomer: a connection that has not joined yet
  // gets every player in its own history, and would list this one twice.
  PlayerMessage(MSG_PLAYER, unique, col, uint8_t(id));
  for (const auto& other : TNet::Clients)
    if (other.get() != c && FindByClient(other.get())) TNet::MSend(other->tcpsock);
  TNet::MClear();

  // The game's history in the order it happened: every player appears where
  // they joined and leaves where they left, so at each click the joiner has
  // exactly the players everybody else had.
  const GameSetup& s = record.setup;
  TNet::MNew(MSG_GAME);
  TNet::MInt(s.width);
  TNet::MInt(s.height);
  TNet::MInt(s.mines);
  TNet::MByte(s.wrap);
  TNet::MByte(s.lethal);
  TNet::MInt(s.seed);
  TNet::MFloat(GameTime());
  for (const RecordEvent& e : record.events) {
    switch (e.kind) {
      case RecordEvent::MOVE: ClickMessage(record.MoveOf(e)); break;
      case RecordEvent::JOIN: PlayerMessage(MSG_PLAYER, record.names[e.name], e.colour, e.player); break;
      case RecordEvent::LEAVE:
        TNet::MNew(MSG_LEFT);
        TNet::MByte(e.player);
        break;
      case RecordEvent::COLOUR:
        TNet::MNew(MSG_COLOUR);
        TNet::MByte(e.player);
        MColour(e.colour);
        break;
    }
  }
  // The history the joiner asked for, however long: only what is queued after it is capped.
  if (TNet::NetStatus != NET_OFF) c->tcpsock.SendBatch(TNet::Message.Bytes());
  TNet::MClear();

  players.push_back({unique, col, uint8_t(id), c, false});
  record.AddJoin(unique, col, uint8_t(id), GameTime());
  // The joiner's own record comes after the history it replays: it was not in the game then.
  PlayerMessage(MSG_IDENTITY, unique, col, uint8_t(id));
  TNet::MSend(c->tcpsock);
  TNet::MClear();
}

void HostSession::Receive(TNetClient* c, std::span<const uint8_t> bytes) {
  c->reader.Feed(bytes, [this, c](uint16_t id, FieldReader& r) {
    switch (id) {
      case MSG_JOIN: {
        const std::string name = r.ReadLine();
        const RGB col = ReadColour(r);
        if (!r.Ok()) return Parse::NeedMore;
        Join(c, name, col);
        return Parse::Done;
      }
      case MSG_CHAT: {
        const std::string text = r.ReadLine();
        if (!r.Ok()) return Parse::NeedMore;
        HostPlayer* p = FindByClient(c);
        if (p && c->chatTokens >= 1) {
          c->chatTokens -= 1;
          TNet::MNew(MSG_CHAT);
          // Cut, not dropped: a reader refuses a longer line and would leave the game.
          TNet::MLine(CutText(p->name + ": " + text, kMaxLineChars));
          TNet::MClientSendTCP(nullptr);
          TNet::MClear();
        }
        return Parse::Done;
      }
      case MSG_CLICK: {
        const int32_t block = r.ReadInt();
        const uint8_t button = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        HostPlayer* p = FindByClient(c);
        const GameSetup& s = record.setup;
        // Only clicks on this game's field are relayed and recorded: every late joiner replays them.
        const bool valid = (button == CLICK_UNCOVER || button == CLICK_FLAG) && block >= 0 &&
                           int64_t(block) < int64_t(s.width) * int64_t(s.height);
        if (p && valid && c->clickTokens >= 1) {
          c->clickTokens -= 1;
          const Move m{block, button, p->id};
          ClickMessage(m);
          TNet::MClientSendTCP(nullptr);
          TNet::MClear();
          record.AddMove(m, GameTime());
        }
        return Parse::Done;
      }
      case MSG_COLOUR: {
        const RGB col = ReadColour(r);
        if (!r.Ok()) return Parse::NeedMore;
        if (HostPlayer* p = FindByClient(c)) {
          p->col = col;
          record.AddColour(p->id, col, GameTime());
          TNet::MNew(MSG_COLOUR);
          TNet::MByte(p->id);
          MColour(col);
          TNet::MClientSendTCP(nullptr);
          TNet::MClear();
        }
        return Parse::Done;
      }
      default:
        return Parse::Unknown;
    }
  });
}

void HostSession::Poll() {
  for (int n = 0; n < TNet::kAcceptsPerPoll; ++n) {
    std::optional<TSocket> s = TNet::Serversock.Accept();
    if (!s) break;
    if (TNet::Clients.size() >= TNet::kMaxClients) {
      s->Close();
      continue;
    }
    TNetClient* c = TNetClient::CreateClient(std::move(*s));
    c->accepted = c->lastRefill = MilliSecs();
    c->clickTokens = kClickBurst;
    c->chatTokens = kChatBurst;
  }
  const int32_t now = MilliSecs();
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < TNet::Clients.size();) {
    TNetClient* c = TNet::Clients[i].get();
    c->tcpsock.Flush();
    const bool silent = !FindByClient(c) && now - c->accepted > TNet::kJoinTimeoutMs;
    if (silent || !c->tcpsock.Connected() || c->tcpsock.Broken() || c->reader.Broken()) {
      Lose(c);
      continue;  // the record is gone; the next one moved to index i
    }
    Refill(c, now);
    bytes.clear();
    // Bytes that came before the peer closed still count (its last message, say).
    c->tcpsock.RecvAvail(bytes, 1 << 20);
    if (!bytes.empty()) {
      Receive(c, bytes);
      if (c->reader.Broken()) {
        Lose(c);
        continue;
      }
    }
    if (i < TNet::Clients.size() && TNet::Clients[i].get() == c) ++i;
  }
  TNet::FlushClients();
}

void HostSession::Kick(uint8_t id) {
  if (HostPlayer* p = FindByID(id); p && p->client) {
    TNet::MNew(MSG_KICKED);
    TNet::MSend(p->client->tcpsock);
    // A kick cannot be ignored: the connection ends here and the player leaves as any lost one.
    p->client->tcpsock.Close();
  }
  TNet::MClear();
}

}  // namespace bg
