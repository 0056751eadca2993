#include "net/protocol.h"

#include <algorithm>
#include <chrono>

#include "minefield/game.h"
#include "minefield/players.h"
#include "net/events.h"
#include "net/net.h"
#include "net/serverlist.h"
#include "platform/clock.h"
#include "platform/latin1.h"
#include "platform/random.h"

namespace bg {

namespace {

void Status(const char* text) { Events().StatusText(text); }

// Players are kept in id order, as the player list shows them.
void PlayersChanged() {
  SortPlayersById(Players);
  Events().PlayersChanged();
}

RGB ReadColour(FieldReader& r) {
  const uint8_t red = r.ReadByte(), green = r.ReadByte(), blue = r.ReadByte();
  return RGB{red, green, blue};
}

// A connection that is gone, broken or hostile leaves the game like any lost player.
void LoseClient(TNetClient* c) {
  TPlayer* p = TPlayer::SFindByClient(c);
  c->remove();
  if (!p) return;
  p->client = nullptr;
  p->Left = true;
  for (const PlayerRef& sp : SPlayers)
    if (sp.get() == p) SLeavingPlayers.push_back(sp);
  TNet::MNew(MSG_LEFT);
  TNet::MByte(p->id);
  TNet::MClientSendTCP(nullptr);
  TNet::MClear();
}

void HandleJoin(TNetClient* c, const std::string& name, const RGB& col) {
  if (TPlayer::SFindByClient(c)) return;
  SortPlayersById(SPlayers);
  // Cut before numbering, so the numbered name still fits every reader's line.
  const std::string asked = CutText(name, kMaxNameChars);
  std::string unique = asked;
  for (int n = 1; TPlayer::SFindByName(unique); ++n) unique = asked + std::to_string(n);
  const std::optional<uint8_t> id = TPlayer::NID();
  if (!id) {
    // Every id is taken: a duplicate would merge two players' clicks.
    c->tcpsock.Close();
    return;
  }
  const PlayerRef p = TPlayer::Create(unique, col, *id, c, 1);

  // Only players hear of the newcomer: a connection that has not joined yet
  // gets every player in its own answer, and would list this one twice.
  TNet::MNew(MSG_PLAYER);
  TNet::MLine(unique);
  MColour(*p->col);
  TNet::MByte(*id);
  for (const auto& other : TNet::Clients)
    if (other.get() != c && TPlayer::SFindByClient(other.get())) TNet::MSend(other->tcpsock);
  TNet::MClear();

  TNet::MNew(MSG_GAME);
  TNet::MInt(BlockAW);
  TNet::MInt(BlockAH);
  TNet::MInt(Mines);
  TNet::MByte(uint8_t(Wrapping));
  TNet::MByte(BombLose);
  TNet::MInt(rseed);
  TNet::MFloat(GameTime);
  for (const PlayerRef& q : SPlayers) {
    if (q == p) continue;
    TNet::MNew(MSG_PLAYER);
    TNet::MLine(q->name);
    MColour(*q->col);
    TNet::MByte(q->id);
    if (q->Left) {
      TNet::MNew(MSG_LEFT);
      TNet::MByte(q->id);
    }
  }
  for (const TAction& a : Actions) {
    TNet::MNew(a.atype);
    TNet::MInt(int32_t(a.adata));
    TNet::MByte(a.amod);
    TNet::MByte(a.aplayer);
  }
  // The history the joiner asked for, however long: only what is queued after it is capped.
  if (TNet::NetStatus != 0) c->tcpsock.SendBatch(TNet::Message.Bytes());
  TNet::MClear();

  // The joiner's own record comes after the history it replays: it was not in the game then,
  // and counted as a player still in, it would keep a game alive that lethal mines had ended.
  TNet::MNew(MSG_IDENTITY);
  TNet::MLine(unique);
  MColour(*p->col);
  TNet::MByte(*id);
  TNet::MSend(c->tcpsock);
  TNet::MClear();
}

}  // namespace

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

bool ValidClick(int32_t id, uint8_t button) {
  return (button == 1 || button == 2) && id >= 0 && int64_t(id) < int64_t(BlockAW) * int64_t(BlockAH);
}

}  // namespace

void HostReceive(TNetClient* c, std::span<const uint8_t> bytes) {
  c->reader.Feed(bytes, [c](uint16_t id, FieldReader& r) {
    switch (id) {
      case MSG_JOIN: {
        const std::string name = r.ReadLine();
        const RGB col = ReadColour(r);
        if (!r.Ok()) return Parse::NeedMore;
        HandleJoin(c, name, col);
        return Parse::Done;
      }
      case MSG_CHAT: {
        const std::string text = r.ReadLine();
        if (!r.Ok()) return Parse::NeedMore;
        TPlayer* p = TPlayer::SFindByClient(c);
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
        TPlayer* p = TPlayer::SFindByClient(c);
        // Only clicks on this field are relayed and logged: the log is replayed to every late joiner.
        if (p && ValidClick(block, button) && c->clickTokens >= 1) {
          c->clickTokens -= 1;
          TNet::MNew(MSG_CLICK);
          TNet::MInt(block);
          TNet::MByte(button);
          TNet::MByte(p->id);
          TNet::MClientSendTCP(nullptr);
          TNet::MClear();
          TAction::Add(TAction::ACT_CLICK, button, float(block), p->id);
        }
        return Parse::Done;
      }
      case MSG_COLOUR: {
        const RGB col = ReadColour(r);
        if (!r.Ok()) return Parse::NeedMore;
        if (TPlayer* p = TPlayer::SFindByClient(c)) {
          *p->col = col;
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

void NetServer() {
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
  std::vector<uint8_t> block;
  for (size_t i = 0; i < TNet::Clients.size();) {
    TNetClient* c = TNet::Clients[i].get();
    c->tcpsock.Flush();
    const bool silent = !TPlayer::SFindByClient(c) && now - c->accepted > TNet::kJoinTimeoutMs;
    if (silent || !c->tcpsock.Connected() || c->tcpsock.Broken() || c->reader.Broken()) {
      LoseClient(c);
      continue;  // the record is gone; the next one moved to index i
    }
    Refill(c, now);
    block.clear();
    // Bytes that came before the peer closed still count (its last message, say).
    c->tcpsock.RecvAvail(block, 1 << 20);
    if (!block.empty()) {
      HostReceive(c, block);
      if (c->reader.Broken()) {
        LoseClient(c);
        continue;
      }
    }
    if (i < TNet::Clients.size() && TNet::Clients[i].get() == c) ++i;
  }
  TNet::FlushClients();
}

void ClientReceive(std::span<const uint8_t> bytes) {
  TNet::ClientReader.Feed(bytes, [](uint16_t id, FieldReader& r) {
    switch (id) {
      case MSG_PLAYER: {
        const std::string name = r.ReadLine();
        const RGB col = ReadColour(r);
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        TPlayer::Create(name, col, pid, nullptr, 0);
        Events().ConsoleLine(name + " has joined the game.");
        PlayersChanged();
        return Parse::Done;
      }
      case MSG_IDENTITY: {
        const std::string name = r.ReadLine();
        const RGB col = ReadColour(r);
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        MPlayer = TPlayer::Create(name, col, pid, nullptr, 0);
        PlayersChanged();
        return Parse::Done;
      }
      case MSG_CLICK: {
        const int32_t block = r.ReadInt();
        const uint8_t button = r.ReadByte();
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        TBlock* b = TBlock::FromID(block);
        TPlayer* p = TPlayer::FindByID(pid);
        const int32_t seed = TNet::NetStatus != NET_OFF ? rseed : -1;
        if (b && p)
          Events().ClickApplied(ClickBlock(b, button, p, seed));
        else if (b && pid == 255)
          Events().ClickApplied(ClickBlock(b, button, nullptr, seed));
        return Parse::Done;
      }
      case MSG_SEED: {
        const int32_t seed = r.ReadInt();
        if (!r.Ok()) return Parse::NeedMore;
        SeedRnd(seed);
        rseed = seed;
        return Parse::Done;
      }
      case MSG_CHAT: {
        const std::string text = r.ReadLine();
        if (!r.Ok()) return Parse::NeedMore;
        Events().ConsoleLine(text);
        return Parse::Done;
      }
      case MSG_GAME: {
        const int32_t w = r.ReadInt(), h = r.ReadInt(), m = r.ReadInt();
        const uint8_t wrap = r.ReadByte(), lethal = r.ReadByte();
        const int32_t seed = r.ReadInt();
        float time = r.ReadFloat();
        if (!r.Ok()) return Parse::NeedMore;
        // The clock shows whole seconds of it: a time no clock can show starts at 0.
        if (!(time >= 0.0f && time < 1e9f)) time = 0.0f;
        // A setup no StartGame would accept changes nothing, the seed included.
        const StartOutcome started = StartGame(w, h, m, wrap, time, lethal);
        if (started.started) {
          rseed = seed;
          Events().FieldStarted(started);
        }
        return Parse::Done;
      }
      case MSG_LEFT: {
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        if (TPlayer* p = TPlayer::FindByID(pid)) {
          Events().ConsoleLine(p->name + " has left the game.");
          p->name += " [left]";
          p->Left = true;
          for (const PlayerRef& q : Players)
            if (q.get() == p) LeavingPlayers.push_back(q);
          PlayersChanged();
        }
        return Parse::Done;
      }
      case MSG_KICKED:
        TNet::Disconnect();
        Events().ConsoleLine("You have been kicked from the game!");
        return Parse::Done;
      case MSG_COLOUR: {
        const uint8_t pid = r.ReadByte();
        const RGB col = ReadColour(r);
        if (!r.Ok()) return Parse::NeedMore;
        if (TPlayer* p = TPlayer::FindByID(pid)) *p->col = col;
        return Parse::Done;
      }
      default:
        return Parse::Unknown;
    }
  });
}

void NetClient() {
  TNet::Clientsock.Flush();
  if (!TNet::Clientsock.IsOpen() || !TNet::Clientsock.Connected() || TNet::Clientsock.Broken() ||
      TNet::ClientReader.Broken()) {
    TNet::Disconnect();
    TNet::Reset();
    Events().ConsoleLine("Disconnected");
    Status("Disconnected");
    return;
  }
  // Bytes that came before the host closed still count (a kick, say).
  std::vector<uint8_t> block;
  TNet::Clientsock.RecvAvail(block, 1 << 20);
  if (!block.empty()) ClientReceive(block);
}

void ServerListPoll() { TServerList::NetRecv(); }

bool Host(bool broadcast, int32_t port, const GameOptions& game, const std::string& name) {
  TNet::Disconnect();
  if (!broadcast) {
    TServerList::ClearList();
    TServerList::CloseSock();
  }
  Status("Attempting to host...");
  if (!TNet::Host(port)) {
    Status("Failed to host");
    return false;
  }
  Status("Hosting");
  SendGame(game);
  SendConnect(name);
  if (broadcast) {
    TServerList::Refresh();
    TServerList::Host(name, port);
  }
  TNet::NetStatus = NET_HOSTING;
  return true;
}

bool Connect(uint32_t ip, int32_t port, const std::string& name, int timeoutMs) {
  TNet::Disconnect();
  Status("Connecting...");
  if (!TNet::Connect(ip, port, timeoutMs)) {
    Status("Failed to connect");
    return false;
  }
  Status("Connected to game");
  TNet::NetStatus = NET_JOINED;
  SendConnect(name);
  return true;
}

bool ConnectTo(const std::string& host, int32_t port, const std::string& name) {
  const auto start = std::chrono::steady_clock::now();
  const uint32_t ip = HostIpWithin(host, TSocket::kDefaultConnectTimeoutMs);
  return Connect(ip, port, name, MsLeft(start, TSocket::kDefaultConnectTimeoutMs));
}

void SendConnect(const std::string& name) {
  TNet::MNew(MSG_JOIN);
  TNet::MLine(CutText(name, kMaxNameChars));
  MColour(color);
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendClick(TBlock* block, uint8_t button) {
  if (!block) return;
  if (button != 1 && !(button == 2 && block->Revealed == 0)) return;
  TNet::MNew(MSG_CLICK);
  TNet::MInt(block->id);
  TNet::MByte(button);
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

uint8_t SendGame(const GameOptions& game) {
  const int32_t width = game.width, height = game.height, mines = game.mines;
  // The same rule as StartGame, so the log is never reset for a game nobody starts.
  if (TNet::NetStatus != NET_HOSTING || !GameSetupValid(width, height, mines)) return 0;
  rseed = MilliSecs();
  // -1 would tell every player to use their own clock, and so other mines.
  if (rseed == -1) rseed = 0;
  TNet::MNew(MSG_GAME);
  TNet::MInt(width);
  TNet::MInt(height);
  TNet::MInt(mines);
  TNet::MByte(game.wrap);
  TNet::MByte(game.bomblose);
  TNet::MInt(rseed);
  TNet::MFloat(0.0f);
  const int32_t r = Rand(0, width * height - 1);
  TNet::MNew(MSG_CLICK);
  TNet::MInt(r);
  TNet::MByte(1);
  TNet::MByte(255);
  TNet::MClientSendTCP(nullptr);
  TNet::MClear();
  TNet::FlushClients();
  Actions.clear();
  TAction::Add(TAction::ACT_CLICK, 1, float(r), 255);
  return 0;
}

void MColour(const RGB& c) {
  TNet::MByte(c[0]);
  TNet::MByte(c[1]);
  TNet::MByte(c[2]);
}

void KickID(uint8_t id) {
  if (TPlayer* p = TPlayer::SFindByID(id); p && p->client) {
    TNet::MNew(MSG_KICKED);
    TNet::MSend(p->client->tcpsock);
    // A kick cannot be ignored: the connection ends here and the player leaves as any lost one.
    p->client->tcpsock.Close();
  }
  TNet::MClear();
}

void SendChat(const std::string& text) {
  TNet::MNew(MSG_CHAT);
  TNet::MLine(CutText(text, kMaxChatChars));
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendColour() {
  TNet::MNew(MSG_COLOUR);
  MColour(color);
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void DisconnectAll() {
  TNet::Disconnect();
  TServerList::ClearList();
  TServerList::CloseSock();
  Status("Not connected");
}

void ServerListRefresh() { TServerList::Refresh(); }

bool JoinListedGame(const ObjectRef& extra, const std::string& name) {
  if (auto game = std::dynamic_pointer_cast<TGame>(extra)) return ConnectTo(game->ip, game->PORT, name);
  return false;
}

}  // namespace bg
