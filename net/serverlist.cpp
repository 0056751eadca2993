#include "net/serverlist.h"

#include <chrono>

#include "net/events.h"
#include "net/message_table.h"
#include "net/net.h"
#include "net/protocol.h"
#include "platform/latin1.h"

namespace bg {

std::unique_ptr<TSocket> TServerList::Sock;
std::array<std::string, 2> TServerList::IPs{"localhost", "localhost"};
std::array<int32_t, 2> TServerList::Ports{8201, 8201};
int32_t TServerList::lists = 2;
std::vector<std::shared_ptr<TGame>> TServerList::Gamelist;
std::string TServerList::Notice;
FirstFrameReader TServerList::Reader;

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
  if (Reader.Broken()) CloseSock();
}

void TServerList::Receive(std::span<const uint8_t> bytes) {
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
