#include "net/protocol.h"

#include <chrono>

#include "minefield/record.h"
#include "net/events.h"
#include "net/net.h"
#include "net/serverlist.h"
#include "platform/latin1.h"

namespace bg {

namespace {

void Status(const char* text) { Events().StatusText(text); }

RGB ReadColour(FieldReader& r) {
  const uint8_t red = r.ReadByte(), green = r.ReadByte(), blue = r.ReadByte();
  return RGB{red, green, blue};
}

// Out of the network game: the players go from the list, their marks stay on the board.
void Leave(Game& g) {
  TNet::Disconnect();
  g.Players.clear();
  Events().PlayersChanged();
}

}  // namespace

void ClientReceive(Game& g, std::span<const uint8_t> bytes) {
  TNet::ClientReader.Feed(bytes, [&g](uint16_t id, FieldReader& r) {
    switch (id) {
      case MSG_PLAYER:
      case MSG_IDENTITY: {
        const std::string name = r.ReadLine();
        const RGB col = ReadColour(r);
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        AddPlayer(g, name, col, pid);
        if (id == MSG_IDENTITY)
          TNet::MyId = pid;
        else
          Events().ConsoleLine(name + " has joined the game.");
        Events().PlayersChanged();
        return Parse::Done;
      }
      case MSG_CLICK: {
        const int32_t block = r.ReadInt();
        const uint8_t button = r.ReadByte();
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        if (g.FromID(block) && (pid == kNoPlayer || g.FindByID(pid)))
          Events().ClickApplied(Apply(g, Move{block, button, pid}));
        return Parse::Done;
      }
      case MSG_SEED: {
        const int32_t seed = r.ReadInt();
        if (!r.Ok()) return Parse::NeedMore;
        g.rseed = seed;
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
        const StartOutcome started = StartGame(g, w, h, m, wrap, time, lethal, seed);
        if (started.started) Events().FieldStarted(started);
        return Parse::Done;
      }
      case MSG_LEFT: {
        const uint8_t pid = r.ReadByte();
        if (!r.Ok()) return Parse::NeedMore;
        if (TPlayer* p = g.FindByID(pid); p && !p->Left) {
          Events().ConsoleLine(p->name + " has left the game.");
          PlayerLeaves(g, pid);
          Events().PlayersChanged();
        }
        return Parse::Done;
      }
      case MSG_KICKED:
        Leave(g);
        Events().ConsoleLine("You have been kicked from the game!");
        return Parse::Done;
      case MSG_COLOUR: {
        const uint8_t pid = r.ReadByte();
        const RGB col = ReadColour(r);
        if (!r.Ok()) return Parse::NeedMore;
        SetColour(g, pid, col);
        return Parse::Done;
      }
      default:
        return Parse::Unknown;
    }
  });
}

void NetClient(Game& g) {
  TNet::Clientsock.Flush();
  if (!TNet::Clientsock.IsOpen() || !TNet::Clientsock.Connected() || TNet::Clientsock.Broken() ||
      TNet::ClientReader.Broken()) {
    TNet::MClear();
    Leave(g);
    Events().ConsoleLine("Disconnected");
    Status("Disconnected");
    return;
  }
  // Bytes that came before the host closed still count (a kick, say).
  std::vector<uint8_t> bytes;
  TNet::Clientsock.RecvAvail(bytes, 1 << 20);
  if (!bytes.empty()) ClientReceive(g, bytes);
}

void ServerListPoll() { TServerList::NetRecv(); }

bool Host(Game& g, bool broadcast, int32_t port, const GameSetup& setup, const Identity& me) {
  Leave(g);
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
  SendGame(setup);
  SendConnect(me);
  if (broadcast) {
    TServerList::Refresh();
    TServerList::Host(me.name, port);
  }
  TNet::NetStatus = NET_HOSTING;
  return true;
}

bool Connect(Game& g, uint32_t ip, int32_t port, const Identity& me, int timeoutMs) {
  Leave(g);
  Status("Connecting...");
  if (!TNet::Connect(ip, port, timeoutMs)) {
    Status("Failed to connect");
    return false;
  }
  Status("Connected to game");
  TNet::NetStatus = NET_JOINED;
  SendConnect(me);
  return true;
}

bool ConnectTo(Game& g, const std::string& host, int32_t port, const Identity& me) {
  const auto start = std::chrono::steady_clock::now();
  const uint32_t ip = HostIpWithin(host, TSocket::kDefaultConnectTimeoutMs);
  return Connect(g, ip, port, me, MsLeft(start, TSocket::kDefaultConnectTimeoutMs));
}

void SendConnect(const Identity& me) {
  TNet::MNew(MSG_JOIN);
  TNet::MLine(CutText(me.name, kMaxNameChars));
  MColour(me.colour);
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendClick(const Game& g, int32_t block, uint8_t button) {
  const TBlock* b = g.FromID(block);
  if (!b) return;
  if (button != CLICK_UNCOVER && !(button == CLICK_FLAG && b->Revealed == 0)) return;
  TNet::MNew(MSG_CLICK);
  TNet::MInt(block);
  TNet::MByte(button);
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendGame(const GameSetup& setup) { Hosting().StartGame(setup); }

void MColour(const RGB& c) {
  TNet::MByte(c[0]);
  TNet::MByte(c[1]);
  TNet::MByte(c[2]);
}

void SendChat(const std::string& text) {
  TNet::MNew(MSG_CHAT);
  TNet::MLine(CutText(text, kMaxChatChars));
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendColour(const RGB& colour) {
  TNet::MNew(MSG_COLOUR);
  MColour(colour);
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void DisconnectAll(Game& g) {
  Leave(g);
  TServerList::ClearList();
  TServerList::CloseSock();
  Status("Not connected");
}

void ServerListRefresh() { TServerList::Refresh(); }

bool JoinListedGame(Game& g, const ObjectRef& extra, const Identity& me) {
  if (auto game = std::dynamic_pointer_cast<TGame>(extra)) return ConnectTo(g, game->ip, game->PORT, me);
  return false;
}

}  // namespace bg
