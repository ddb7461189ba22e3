#include <sys/socket.h>

#include "serve/listen_socket.h"

namespace tovrane {

// SO_REUSEADDR alone only allows a restart while old connections linger;
// SO_REUSEPORT (httplib's default) would let a second server share a port
// that is taken.
void setListenOptions(std::intptr_t socket) {
  int yes = 1;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace tovrane
