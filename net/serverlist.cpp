#include "net/serverlist.h"

namespace bg {
std::array<std::string, 2> TServerList::IPs{"localhost", "localhost"};
std::array<int32_t, 2> TServerList::Ports{8201, 8201};
int32_t TServerList::lists = 2;
}  // namespace bg
