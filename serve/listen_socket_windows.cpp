#include <winsock2.h>

#include "serve/listen_socket.h"

namespace tovrane {

// Winsock's SO_REUSEADDR (httplib's default) would let a second server take
// over a port that is in use. Without it a lingering connection does not
// block a restart; SO_EXCLUSIVEADDRUSE also keeps other programs off the port.
void setListenOptions(std::intptr_t socket) {
  BOOL yes = TRUE;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
             sizeof yes);
}

}  // namespace tovrane
