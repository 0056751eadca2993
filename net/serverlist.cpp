#include "net/serverlist.h"

#include <utility>

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
bool TServerList::Announced = false;
FrameReader TServerList::RelayReader{kMaxHeldListFrameBytes};
std::vector<TServerList::Callback> TServerList::Calls;

namespace {

// A fresh list-server connection knows nothing of the relay yet.
void ForgetRelay() {
  TServerList::Relay = TServerList::RELAY_NONE;
  TServerList::Announced = false;
  TServerList::RelayReader.Reset();
  TServerList::Calls.clear();
}

void WriteRelayHello(MessageWriter& w) {
  w.MNew(kMsgRelayHello);
  w.MByte(kRelayVersion);
  w.MByte(TServerList::WantRelay ? kRelayAsk : 0);
}

// A game list or a text line, the replies every list server sends.
Parse ReadReply(uint16_t id, FieldReader& r) {
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
    TServerList::Gamelist.clear();
    for (const Entry& e : entries) TGame::AddGame(TServerList::Gamelist, e.name, e.ip, e.port);
    TServerList::Notice = count == 0 ? "No games available" : "";
    Events().ServerListChanged();
    return Parse::Done;
  }
  if (id == MSG_CHAT) {
    if (const std::optional<ChatToPlayer> m = ReadMessage<ChatToPlayer>(r)) Events().ConsoleLine(m->text);
    return Parse::Done;
  }
  return Parse::Unknown;
}

// The frames the relay reader passes over before the welcome: read whole, acted on by the first-frame reader alone.
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
Connector TServerList::Connecting;
std::optional<std::pair<std::string, int32_t>> TServerList::WaitingAnnouncement;

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
  Connecting.Cancel();
  WaitingAnnouncement.reset();
  if (Sock) Sock->Close();
  Sock.reset();
  ForgetRelay();
}

uint8_t TServerList::Connected() {
  return Sock && Sock->RemotePort() != 0 && Sock->Connected() ? 1 : 0;
}

void TServerList::Connect() {
  // All list servers share one connect time: one that never answers leaves the next its share.
  std::vector<Connector::Target> targets;
  for (int i = 0; i < lists && i < 2; ++i) {
    const int32_t port = Ports[size_t(i)];
    targets.push_back({IPs[size_t(i)], uint16_t(port >= 1 && port <= 65535 ? port : 0)});
  }
  Connecting.Start(std::move(targets), TSocket::kDefaultConnectTimeoutMs, false);
}

void TServerList::PollConnect() {
  const Connector::State state = Connecting.Poll();
  if (state == Connector::State::Pending) return;
  const auto announcement = std::exchange(WaitingAnnouncement, std::nullopt);
  if (state != Connector::State::Connected) {
    Connecting.Cancel();
    Gamelist.clear();
    Notice = "Failed to connect to server list";
    Events().ServerListChanged();
    return;
  }
  Sock = std::make_unique<TSocket>(Connecting.Take());
  Sock->SetTCPNoDelay(false);
  Reader.Reset();
  ForgetRelay();
  // The introduction and the list request leave in one send, as from a connection made at once.
  TNet::MNew(kMsgHello);
  TNet::MByte(kKindIntroduce);
  TNet::MNew(kMsgListRequest);
  TNet::MSend(*Sock);
  TNet::MClear();
  if (announcement) Host(announcement->first, announcement->second);
}

void TServerList::Refresh() {
  if (Connecting.Pending()) return;
  if (!Connected()) return Connect();
  TNet::MNew(kMsgListRequest);
  TNet::MSend(*Sock);
  TNet::MClear();
}

uint8_t TServerList::Host(const std::string& name, int32_t port) {
  if (Connecting.Pending()) {
    WaitingAnnouncement.emplace(name, port);
    return 1;
  }
  if (!Connected()) return 0;
  TNet::MNew(kMsgHello);
  TNet::MByte(kKindAnnounce);
  TNet::MLine(CutText(name, kMaxNameChars));
  TNet::MInt(port);
  // Only to a server that has welcomed us, and behind the announcement, so its probe counts the hello.
  if (Relay != RELAY_NONE) {
    WriteRelayHello(TNet::Message);
    Relay = RELAY_AGREED;
  }
  Announced = true;
  TNet::MSend(*Sock);
  TNet::MClear();
  return 1;
}

void TServerList::NetRecv() {
  if (Connecting.Pending()) PollConnect();
  if (!Sock) return;
  Sock->Flush();
  // The relay goes with the connection: its calls would lead nowhere.
  if (!Connected()) return Calls.clear();
  std::vector<uint8_t> block;
  Sock->RecvAvail(block, 1 << 20);
  if (!block.empty()) Receive(block);
  // Before the welcome, a block's later frames are not the server's business.
  if (Relay == RELAY_NONE && RelayReader.Broken()) RelayReader.Reset();
  if (Reader.Broken() || RelayReader.Broken()) return CloseSock();
  PollCalls();
}

void TServerList::PollCalls() {
  if (TNet::NetStatus != NET_HOSTING) Calls.clear();
  const int32_t now = MilliSecs();
  for (size_t i = 0; i < Calls.size();) {
    Callback& c = Calls[i];
    const TSocket::Progress state = c.sock.ConnectProgress();
    if (state == TSocket::Progress::Pending && int32_t(uint32_t(now) - uint32_t(c.started)) < kCallTimeoutMs) {
      ++i;
      continue;
    }
    if (state == TSocket::Progress::Done) {
      MessageWriter w;
      w.MNew(kMsgRelayAnswer);
      w.MBytes(c.token);
      if (c.sock.Send(w.Bytes())) Hosting().Adopt(std::move(c.sock));
    }
    Calls.erase(Calls.begin() + std::ptrdiff_t(i));
  }
}

void TServerList::Receive(std::span<const uint8_t> bytes) {
  // Until the welcome, blocks are read as they always were (first frame only),
  // and every frame only to find the welcome, which rides behind a list. Once
  // welcomed, every frame counts: a call may come before a list in a block.
  if (Relay == RELAY_NONE) Reader.Feed(bytes, ReadReply);
  RelayReader.Feed(bytes, [](uint16_t id, FieldReader& r) {
    if (id == kMsgRelayWelcome) {
      r.ReadByte();
      if (!r.Ok() || Relay != RELAY_NONE) return r.Ok() ? Parse::Done : Parse::NeedMore;
      Relay = RELAY_WELCOMED;
      Reader.Reset();
      // A game announced before the welcome is offered the relay now.
      if (Announced && TNet::NetStatus == NET_HOSTING && Sock) {
        MessageWriter w;
        WriteRelayHello(w);
        if (Sock->Send(w.Bytes())) Relay = RELAY_AGREED;
      }
      return Parse::Done;
    }
    if (Relay == RELAY_NONE) return SkipListFrame(id, r);
    if (id == kMsgRelayCall) {
      const std::vector<uint8_t> token = r.ReadBytes(kRelayTokenBytes);
      const int32_t port = r.ReadInt();
      if (!r.Ok()) return Parse::NeedMore;
      if (Relay != RELAY_AGREED || TNet::NetStatus != NET_HOSTING || Calls.size() >= kMaxCalls || port < 1 ||
          port > 65535 || !Sock)
        return Parse::Done;
      Callback c;
      c.token = token;
      c.started = MilliSecs();
      // Back to the address this connection reached: the player waits there.
      SockAddr to = Sock->Remote();
      to.port = uint16_t(port);
      if (c.sock.BeginConnect(to) != TSocket::Progress::Failed) Calls.push_back(std::move(c));
      return Parse::Done;
    }
    return ReadReply(id, r);
  });
}

}  // namespace bg
