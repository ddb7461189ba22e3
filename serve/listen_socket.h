#pragma once
// The options of the server's listening socket, which differ between the
// systems' socket libraries: a port that another server holds must be
// refused, one that a stopped server's closed connections still linger on
// must not. listen_socket_posix.cpp and listen_socket_windows.cpp hold them.

#include <cstdint>

namespace tovrane {

// Sets them on socket (a descriptor, or a Windows SOCKET) before it binds.
void setListenOptions(std::intptr_t socket);

}  // namespace tovrane
