#include "net/net.h"

#include <algorithm>

#include "net/host.h"
#include "net/events.h"
#include "net/serverlist.h"

namespace bg {

MessageWriter TNet::Message;
std::vector<std::unique_ptr<TNetClient>> TNet::Clients;
TSocket TNet::Clientsock;
TSocket TNet::Serversock;
Connector TNet::Joining;
FrameReader TNet::ClientReader;
uint8_t TNet::NetStatus = 0;
int32_t TNet::MyId = -1;

TNetClient* TNetClient::CreateClient(TSocket socket) {
  auto c = std::make_unique<TNetClient>();
  c->tcpsock = std::move(socket);
  TNet::Clients.push_back(std::move(c));
  return TNet::Clients.back().get();
}

void TNetClient::remove() {
  tcpsock.Close();
  auto& list = TNet::Clients;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& c) { return c.get() == this; }), list.end());
}

void TNet::MSend(TSocket& socket) {
  if (NetStatus == NET_OFF && &socket != TServerList::SockPtr()) return;
  if (Message.Empty() || !socket.IsOpen()) return;
  socket.Send(Message.Bytes());
}

void TNet::MClientSendTCP(const TNetClient* except) {
  if (NetStatus == NET_OFF || Message.Empty()) return;
  for (const auto& c : Clients)
    if (c.get() != except && c->tcpsock.IsOpen()) c->tcpsock.Enqueue(Message.Bytes());
}

void TNet::FlushClients() {
  for (const auto& c : Clients) c->tcpsock.Flush();
}

uint8_t TNet::Connect(const SockAddr& to, int timeoutMs) {
  Clientsock = TSocket();
  if (!Clientsock.CreateTCP(to.v6)) return 0;
  Clientsock.SetTCPNoDelay(true);
  ClientReader.Reset();
  return Clientsock.Connect(to, timeoutMs) ? 1 : 0;
}

void TNet::StartConnect(const std::string& host, int32_t port, Lookup lookup) {
  // Ports outside 1-65535 would reach another port.
  const bool valid = port >= 1 && port <= 65535;
  Joining.Start({{host, uint16_t(valid ? port : 0)}}, TSocket::kDefaultConnectTimeoutMs, true, std::move(lookup));
}

Connector::State TNet::PollConnect() {
  const Connector::State s = Joining.Poll();
  if (s == Connector::State::Connected) {
    Clientsock = Joining.Take();
    ClientReader.Reset();
  } else if (s == Connector::State::Failed) {
    Joining.Cancel();
  }
  return s;
}

bool TNet::Listen(int32_t port) {
  if (port < 1 || port > 65535) return false;
  for (const bool v6 : {true, false}) {
    TSocket server;
    if (!server.CreateTCP(v6)) continue;
    server.SetTCPNoDelay(true);
    if (!server.Bind(uint16_t(port)) || !server.Listen(16)) continue;
    Serversock = std::move(server);
    NetStatus = NET_HOSTING;
    return true;
  }
  return false;
}

uint8_t TNet::Host(int32_t port) {
  if (!Listen(port)) return 0;
  // IPv4 loopback reaches both kinds of listener, also where IPv6 has no
  // loopback address, and needs no lookup.
  Connect(SockAddr::V4(0x7F000001, uint16_t(port)));
  NetStatus = NET_HOSTING;
  return 1;
}

void TNet::Disconnect() {
  Joining.Cancel();
  for (const auto& c : Clients) c->tcpsock.Close();
  Hosting().Reset();
  MyId = -1;
  Clients.clear();
  Clientsock.Close();
  Clientsock = TSocket();
  Serversock.Close();
  Serversock = TSocket();
  NetStatus = NET_OFF;
}

void TNet::Reset() {
  MClear();
  Disconnect();
}

}  // namespace bg
