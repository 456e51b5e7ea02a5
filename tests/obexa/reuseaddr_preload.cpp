// Preloaded into obex_tcp by the tests: obex_tcp binds port 650 without SO_REUSEADDR, and the
// connection it just closed lingers in TIME_WAIT for a minute, so the next instance could not
// listen. Setting the option before bind changes nothing else about the receiver.

#include <dlfcn.h>
#include <sys/socket.h>

extern "C" int bind(int socket, const sockaddr* address, socklen_t length) {
    using BindFunction = int (*)(int, const sockaddr*, socklen_t);
    static const auto realBind = reinterpret_cast<BindFunction>(::dlsym(RTLD_NEXT, "bind"));
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return realBind(socket, address, length);
}
