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

uint8_t TNet::Connect(uint32_t ip, int32_t port, int timeoutMs) {
  // Address 0 would reach this machine, and ports outside 1-65535 another port.
  if (ip == 0 || port < 1 || port > 65535) return 0;
  Clientsock = TSocket();
  if (!Clientsock.CreateTCP()) return 0;
  Clientsock.SetTCPNoDelay(true);
  ClientReader.Reset();
  return Clientsock.Connect(ip, uint16_t(port), timeoutMs) ? 1 : 0;
}

bool TNet::Listen(int32_t port) {
  if (port < 1 || port > 65535) return false;
  TSocket server;
  if (!server.CreateTCP()) return false;
  server.SetTCPNoDelay(true);
  if (!server.Bind(uint16_t(port)) || !server.Listen(16)) return false;
  Serversock = std::move(server);
  NetStatus = NET_HOSTING;
  return true;
}

uint8_t TNet::Host(int32_t port) {
  if (!Listen(port)) return 0;
  Connect(HostIpWithin("localhost", TSocket::kDefaultConnectTimeoutMs), port);
  NetStatus = NET_HOSTING;
  return 1;
}

void TNet::Disconnect() {
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
