#include "net/serverlist.h"

#include <chrono>

#include "net/events.h"
#include "net/host.h"
#include "net/message_table.h"
#include "net/net.h"
#include "net/protocol.h"
#include "platform/clock.h"
#include "platform/latin1.h"

namespace bg {

std::unique_ptr<TSocket> TServerList::Sock;
std::array<std::string, 2> TServerList::IPs{"localhost", "localhost"};
std::array<int32_t, 2> TServerList::Ports{8201, 8201};
int32_t TServerList::lists = 2;
std::vector<std::shared_ptr<TGame>> TServerList::Gamelist;
std::string TServerList::Notice;
FirstFrameReader TServerList::Reader;
bool TServerList::WantRelay = false;
uint8_t TServerList::Relay = TServerList::RELAY_NONE;
FrameReader TServerList::RelayReader{kMaxHeldListFrameBytes};
std::vector<TServerList::Callback> TServerList::Calls;

namespace {

// A fresh list-server connection knows nothing of the relay yet.
void ForgetRelay() {
  TServerList::Relay = TServerList::RELAY_NONE;
  TServerList::RelayReader.Reset();
  TServerList::Calls.clear();
}

// The frames the relay reader passes over: read whole, acted on by the first-frame reader alone.
Parse SkipListFrame(uint16_t id, FieldReader& r) {
  if (id == kMsgList) {
    const uint16_t count = r.ReadShort();
    for (int i = 0; i < count && r.Ok(); ++i) {
      r.ReadLine();
      r.ReadInt();
      r.ReadShort();
      r.ReadLine();
    }
    return Parse::Done;
  }
  if (id == MSG_CHAT) {
    r.ReadLine();
    return Parse::Done;
  }
  return Parse::Unknown;
}

}  // namespace

std::shared_ptr<TGame> TGame::AddGame(std::vector<std::shared_ptr<TGame>>& list, const std::string& name,
                                      const std::string& ip, int32_t port) {
  auto g = std::make_shared<TGame>();
  g->name = name;
  g->ip = ip;
  g->PORT = port;
  list.push_back(g);
  return g;
}

void TServerList::ClearList() {
  Gamelist.clear();
  Notice.clear();
  Events().ServerListChanged();
}

void TServerList::CloseSock() {
  if (Sock) Sock->Close();
  Sock.reset();
  ForgetRelay();
}

uint8_t TServerList::Connected() {
  return Sock && Sock->RemoteIp() != 0 && Sock->Connected() ? 1 : 0;
}

uint8_t TServerList::Connect() {
  for (int i = 0; i < lists && i < 2; ++i) {
    // Lookup and connect together within the connect timeout, so a slow resolver cannot freeze the window.
    const auto start = std::chrono::steady_clock::now();
    const uint32_t ip = HostIpWithin(IPs[size_t(i)], TSocket::kDefaultConnectTimeoutMs);
    const int32_t port = Ports[size_t(i)];
    if (ip == 0 || port < 1 || port > 65535) continue;
    auto s = std::make_unique<TSocket>();
    if (!s->CreateTCP() || !s->Connect(ip, uint16_t(port), MsLeft(start, TSocket::kDefaultConnectTimeoutMs)))
      continue;
    s->SetTCPNoDelay(false);
    Sock = std::move(s);
    Reader.Reset();
    ForgetRelay();
    // The introduction leaves with the next send on this socket: the list request.
    TNet::MNew(kMsgHello);
    TNet::MByte(kKindIntroduce);
    return 1;
  }
  return 0;
}

void TServerList::Refresh() {
  if (!Connected() && !Connect()) {
    Gamelist.clear();
    Notice = "Failed to connect to server list";
    Events().ServerListChanged();
    return;
  }
  TNet::MNew(kMsgListRequest);
  TNet::MSend(*Sock);
  TNet::MClear();
}

uint8_t TServerList::Host(const std::string& name, int32_t port) {
  if (!Connected()) return 0;
  TNet::MNew(kMsgHello);
  TNet::MByte(kKindAnnounce);
  TNet::MLine(CutText(name, kMaxNameChars));
  TNet::MInt(port);
  // Behind the announcement, so that a server which reads only the first frame still lists the game.
  TNet::MNew(kMsgRelayHello);
  TNet::MByte(kRelayVersion);
  TNet::MByte(WantRelay ? kRelayAsk : 0);
  if (Relay == RELAY_NONE) Relay = RELAY_OFFERED;
  TNet::MSend(*Sock);
  TNet::MClear();
  return 1;
}

void TServerList::NetRecv() {
  if (!Sock) return;
  Sock->Flush();
  if (!Connected()) return;
  std::vector<uint8_t> block;
  Sock->RecvAvail(block, 1 << 20);
  if (!block.empty()) Receive(block);
  if (Reader.Broken() || RelayReader.Broken()) CloseSock();
  PollCalls();
}

void TServerList::PollCalls() {
  if (TNet::NetStatus != NET_HOSTING) Calls.clear();
  const int32_t now = MilliSecs();
  for (size_t i = 0; i < Calls.size();) {
    Callback& c = Calls[i];
    const int state = c.sock.ConnectDone();
    if (state == 0 && now - c.started < kCallTimeoutMs) {
      ++i;
      continue;
    }
    if (state == 1) {
      MessageWriter w;
      w.MNew(kMsgRelayAnswer);
      w.MBytes(c.token);
      if (c.sock.Send(w.Bytes())) Hosting().Adopt(std::move(c.sock));
    }
    Calls.erase(Calls.begin() + std::ptrdiff_t(i));
  }
}

void TServerList::Receive(std::span<const uint8_t> bytes) {
  // The relay messages may share a block with a list; a server that never
  // heard the hello sends none, and its blocks are read as they always were.
  if (Relay != RELAY_NONE) {
    RelayReader.Feed(bytes, [](uint16_t id, FieldReader& r) {
      if (id == kMsgRelayWelcome) {
        r.ReadByte();
        if (r.Ok()) Relay = RELAY_AGREED;
        return Parse::Done;
      }
      if (id == kMsgRelayCall) {
        const std::vector<uint8_t> token = r.ReadBytes(kRelayTokenBytes);
        const int32_t port = r.ReadInt();
        if (!r.Ok() || Relay != RELAY_AGREED || TNet::NetStatus != NET_HOSTING || Calls.size() >= kMaxCalls ||
            port < 1 || port > 65535 || !Sock)
          return Parse::Done;
        Callback c;
        c.token = token;
        c.started = MilliSecs();
        // Back to the address this connection reached: the player waits there.
        if (c.sock.ConnectStart(Sock->RemoteIp(), uint16_t(port))) Calls.push_back(std::move(c));
        return Parse::Done;
      }
      return SkipListFrame(id, r);
    });
  }
  Reader.Feed(bytes, [](uint16_t id, FieldReader& r) {
    if (id == kMsgList) {
      const uint16_t count = r.ReadShort();
      struct Entry {
        std::string ip, name;
        int32_t port;
      };
      std::vector<Entry> entries;
      for (int i = 0; i < count && r.Ok(); ++i) {
        Entry e;
        e.ip = r.ReadLine();
        e.port = r.ReadInt();
        r.ReadShort();
        e.name = r.ReadLine();
        entries.push_back(std::move(e));
      }
      if (!r.Ok()) return Parse::NeedMore;
      Gamelist.clear();
      for (const Entry& e : entries) TGame::AddGame(Gamelist, e.name, e.ip, e.port);
      Notice = count == 0 ? "No games available" : "";
      Events().ServerListChanged();
      return Parse::Done;
    }
    if (id == MSG_CHAT) {
      if (const std::optional<ChatToPlayer> m = ReadMessage<ChatToPlayer>(r)) Events().ConsoleLine(m->text);
      return Parse::Done;
    }
    return Parse::Unknown;
  });
}

}  // namespace bg
