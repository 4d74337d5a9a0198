// Unix-domain sockets through the POSIX calls.
#include "platform/socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

static int socketNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

static bool socketAddress(const char *path, sockaddr_un *address)
{
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (!path || !*path || strlen(path) >= sizeof address->sun_path)
        return false;
    strcpy(address->sun_path, path);
    return true;
}

// Somebody answers at the path.
static bool socketAnswered(const sockaddr_un *address)
{
    int probe = socket(AF_UNIX, SOCK_STREAM, 0);
    if (probe < 0)
        return false;
    bool answered = connect(probe, (const sockaddr *)address, sizeof *address) == 0;
    close(probe);
    return answered;
}

int socketListen(const char *path, char *why, size_t whySize)
{
    // A client that goes away while a reply is sent must not end the program.
    signal(SIGPIPE, SIG_IGN);
    sockaddr_un address;
    if (!socketAddress(path, &address)) {
        snprintf(why, whySize, "the path is empty or longer than %zu bytes", sizeof address.sun_path - 1);
        return -1;
    }
    struct stat info;
    if (lstat(path, &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            snprintf(why, whySize, "%s exists and is not a socket", path);
            return -1;
        }
        if (socketAnswered(&address)) {
            snprintf(why, whySize, "another program listens at %s", path);
            return -1;
        }
        unlink(path); // left over from a run that did not end normally
    }
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener < 0) {
        snprintf(why, whySize, "%s", strerror(errno));
        return -1;
    }
    // Owner-only from the moment it exists.
    mode_t mask = umask(0177);
    int bound = bind(listener, (const sockaddr *)&address, sizeof address);
    umask(mask);
    if (bound != 0 || listen(listener, 4) != 0 || !socketNonBlocking(listener)) {
        snprintf(why, whySize, "%s", strerror(errno));
        close(listener);
        if (bound == 0)
            unlink(path);
        return -1;
    }
    return listener;
}

int socketAccept(int listener)
{
    if (listener < 0)
        return -1;
    int client = accept(listener, nullptr, nullptr);
    if (client < 0)
        return -1;
    if (!socketNonBlocking(client)) {
        close(client);
        return -1;
    }
    return client;
}

long socketReceive(int client, char *buffer, size_t size)
{
    ssize_t got = recv(client, buffer, size, 0);
    if (got > 0)
        return (long)got;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return 0;
    return -1; // closed by the client, or broken
}

long socketSend(int client, const char *data, size_t size)
{
    ssize_t sent = send(client, data, size, MSG_NOSIGNAL);
    if (sent >= 0)
        return (long)sent;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    return -1;
}

void socketClose(int socket)
{
    if (socket >= 0)
        close(socket);
}

void socketStopListening(int listener, const char *path)
{
    if (listener < 0)
        return;
    close(listener);
    struct stat info;
    if (path && lstat(path, &info) == 0 && S_ISSOCK(info.st_mode))
        unlink(path);
}
