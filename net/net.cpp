#include "net/net.h"

namespace bg {
uint8_t TNet::NetStatus = 0;
}  // namespace bg
