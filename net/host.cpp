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

void Refill(TNetClient* c, int32_t now) {
  const double dt = std::max(0, now - c->lastRefill) / 1000.0;
  c->lastRefill = now;
  c->clickTokens = std::min(kClickBurst, c->clickTokens + dt * kClicksPerSecond);
  c->chatTokens = std::min(kChatBurst, c->chatTokens + dt * kChatsPerSecond);
}

void ClickMessage(const Move& m) { WriteMessage(TNet::Message, ClickToPlayer{m.block, m.button, m.player}); }

void GameMessage(const GameSetup& s, float time) {
  WriteMessage(TNet::Message, GameSetupMsg{s.width, s.height, s.mines, s.wrap, s.lethal, s.seed, time});
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

  GameMessage(s, 0.0f);
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
  WriteMessage(TNet::Message, LeftMsg{p->id});
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
  WriteMessage(TNet::Message, PlayerMsg{unique, col, uint8_t(id)});
  for (const auto& other : TNet::Clients)
    if (other.get() != c && FindByClient(other.get())) TNet::MSend(other->tcpsock);
  TNet::MClear();

  // The game's history in the order it happened: every player appears where
  // they joined and leaves where they left, so at each click the joiner has
  // exactly the players everybody else had.
  GameMessage(record.setup, GameTime());
  for (const RecordEvent& e : record.events) {
    switch (e.kind) {
      case RecordEvent::MOVE: ClickMessage(record.MoveOf(e)); break;
      case RecordEvent::JOIN: WriteMessage(TNet::Message, PlayerMsg{record.names[e.name], e.colour, e.player}); break;
      case RecordEvent::LEAVE: WriteMessage(TNet::Message, LeftMsg{e.player}); break;
      case RecordEvent::COLOUR: WriteMessage(TNet::Message, ColourToPlayer{e.player, e.colour}); break;
    }
  }
  // The history the joiner asked for, however long: only what is queued after it is capped.
  if (TNet::NetStatus != NET_OFF) c->tcpsock.SendBatch(TNet::Message.Bytes());
  TNet::MClear();

  players.push_back({unique, col, uint8_t(id), c, false});
  record.AddJoin(unique, col, uint8_t(id), GameTime());
  // The joiner's own record comes after the history it replays: it was not in the game then.
  WriteMessage(TNet::Message, IdentityMsg{unique, col, uint8_t(id)});
  TNet::MSend(c->tcpsock);
  TNet::MClear();
}

void HostSession::Receive(TNetClient* c, std::span<const uint8_t> bytes) {
  c->reader.Feed(bytes, [this, c](uint16_t id, FieldReader& r) {
    return ReadGameMessage<Dir::ToHost>(id, r, Overloaded{
      [&](const JoinMsg& m) { Join(c, m.name, m.colour); },
      [&](const ChatToHost& m) {
        HostPlayer* p = FindByClient(c);
        if (!p || c->chatTokens < 1) return;
        c->chatTokens -= 1;
        // Cut, not dropped: a reader refuses a longer line and would leave the game.
        WriteMessage(TNet::Message, ChatToPlayer{CutText(p->name + ": " + m.text, kMaxLineChars)});
        TNet::MClientSendTCP(nullptr);
        TNet::MClear();
      },
      [&](const ClickToHost& m) {
        // Only clicks on this game's field are relayed and recorded: every late joiner replays them.
        HostPlayer* p = FindByClient(c);
        if (!p || int64_t(m.block) >= int64_t(record.setup.width) * record.setup.height || c->clickTokens < 1) return;
        c->clickTokens -= 1;
        const Move move{m.block, m.button, p->id};
        ClickMessage(move);
        TNet::MClientSendTCP(nullptr);
        TNet::MClear();
        record.AddMove(move, GameTime());
      },
      [&](const ColourToHost& m) {
        HostPlayer* p = FindByClient(c);
        if (!p) return;
        p->col = m.colour;
        record.AddColour(p->id, m.colour, GameTime());
        WriteMessage(TNet::Message, ColourToPlayer{p->id, m.colour});
        TNet::MClientSendTCP(nullptr);
        TNet::MClear();
      },
    });
  });
}

TNetClient* HostSession::Adopt(TSocket s) {
  if (TNet::Clients.size() >= TNet::kMaxClients) {
    s.Close();
    return nullptr;
  }
  s.SetTCPNoDelay(true);
  TNetClient* c = TNetClient::CreateClient(std::move(s));
  c->accepted = c->lastRefill = MilliSecs();
  c->clickTokens = kClickBurst;
  c->chatTokens = kChatBurst;
  return c;
}

void HostSession::Poll() {
  for (int n = 0; n < TNet::kAcceptsPerPoll; ++n) {
    std::optional<TSocket> s = TNet::Serversock.Accept();
    if (!s) break;
    Adopt(std::move(*s));
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
    WriteMessage(TNet::Message, KickedMsg{});
    TNet::MSend(p->client->tcpsock);
    // A kick cannot be ignored: the connection ends here and the player leaves as any lost one.
    p->client->tcpsock.Close();
  }
  TNet::MClear();
}

}  // namespace bg
