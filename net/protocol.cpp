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

// Out of the network game: the players go from the list, their marks stay on the board.
void Leave(Game& g) {
  TNet::Disconnect();
  g.Players.clear();
  Events().PlayersChanged();
}

}  // namespace

void ClientReceive(Game& g, std::span<const uint8_t> bytes) {
  TNet::ClientReader.Feed(bytes, [&g](uint16_t id, FieldReader& r) {
    const auto happened = [&g](RecordEvent::Kind kind, uint8_t player, const RGB& colour, int32_t block,
                               uint8_t button, const std::string& name) {
      Events().Happened(RecordEvent{g.GameTime, kind, player, button, colour, block, 0}, name);
    };
    const auto joined = [&](const std::string& name, const RGB& colour, uint8_t pid) {
      happened(RecordEvent::JOIN, pid, colour, 0, 0, name);
      AddPlayer(g, name, colour, pid);
      Events().PlayersChanged();
    };
    return ReadGameMessage<Dir::ToPlayer>(id, r, Overloaded{
      [&](const PlayerMsg& m) {
        Events().ConsoleLine(m.name + " has joined the game.");
        joined(m.name, m.colour, m.id);
      },
      [&](const IdentityMsg& m) {
        TNet::MyId = m.id;
        joined(m.name, m.colour, m.id);
      },
      [&](const ClickToPlayer& m) {
        if (g.FromID(m.block) && (m.player == kNoPlayer || g.FindByID(m.player))) {
          happened(RecordEvent::MOVE, m.player, {}, m.block, m.button, {});
          Events().ClickApplied(Apply(g, Move{m.block, m.button, m.player}));
        }
      },
      [&](const SeedMsg& m) { g.rseed = m.seed; },
      [&](const ChatToPlayer& m) { Events().ConsoleLine(m.text); },
      [&](const GameSetupMsg& m) {
        // The clock shows whole seconds of it: a time no clock can show starts at 0.
        const float time = m.time >= 0.0f && m.time < 1e9f ? m.time : 0.0f;
        // A setup no StartGame would accept changes nothing, the seed included.
        const StartOutcome started = StartGame(g, m.width, m.height, m.mines, m.wrap, time, m.lethal, m.seed);
        if (started.started) Events().FieldStarted(started);
      },
      [&](const LeftMsg& m) {
        if (TPlayer* p = g.FindByID(m.id); p && !p->Left) {
          Events().ConsoleLine(p->name + " has left the game.");
          happened(RecordEvent::LEAVE, m.id, {}, 0, 0, {});
          PlayerLeaves(g, m.id);
          Events().PlayersChanged();
        }
      },
      [&](const KickedMsg&) {
        Leave(g);
        Events().ConsoleLine("You have been kicked from the game!");
      },
      [&](const ColourToPlayer& m) {
        if (g.FindByID(m.id)) happened(RecordEvent::COLOUR, m.id, m.colour, 0, 0, {});
        SetColour(g, m.id, m.colour);
      },
    });
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
  WriteMessage(TNet::Message, JoinMsg{CutText(me.name, kMaxNameChars), me.colour});
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendClick(const Game& g, int32_t block, uint8_t button) {
  const TBlock* b = g.FromID(block);
  if (!b) return;
  if (button != CLICK_UNCOVER && !(button == CLICK_FLAG && b->Revealed == 0)) return;
  WriteMessage(TNet::Message, ClickToHost{block, button});
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendGame(const GameSetup& setup) { Hosting().StartGame(setup); }

void SendChat(const std::string& text) {
  WriteMessage(TNet::Message, ChatToHost{CutText(text, kMaxChatChars)});
  TNet::MSend(TNet::Clientsock);
  TNet::MClear();
}

void SendColour(const RGB& colour) {
  WriteMessage(TNet::Message, ColourToHost{colour});
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
