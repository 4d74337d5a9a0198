// Unix-domain sockets through Winsock (Windows 10 1803 and later have them):
// the same path-named, non-blocking channel as on Linux. Where they are
// missing (older systems, Wine) the channel listens on the loopback
// interface at a port the system picks, and the file at the path names it in
// one line, "tcp 127.0.0.1:PORT KEY", for the clients to connect to. Any
// program of any user on the machine can reach a loopback port, so a client
// is heard only after it has sent the key, which only those who can read the
// file know, as its first line.
#define _CRT_RAND_S // Required for: rand_s()
#include "platform/socket.h"

#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>
#include <afunix.h> // Required for: sockaddr_un

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static const char kPortLine[] = "tcp 127.0.0.1:";
enum { SOCKET_KEY_LENGTH = 32, SOCKET_KEY_LINE_MAX = 80 };

// The loopback listener's key, and its clients that have not yet sent it.
static SOCKET socketKeyedListener = INVALID_SOCKET;
static char socketKey[SOCKET_KEY_LENGTH + 1];
struct SocketUnheard {
    SOCKET socket;
    std::string received; // the first line so far
};
static std::vector<SocketUnheard> socketUnheard;

static std::vector<SocketUnheard>::iterator socketFindUnheard(int client)
{
    return std::find_if(socketUnheard.begin(), socketUnheard.end(),
                        [client](const SocketUnheard &u) { return u.socket == (SOCKET)client; });
}

static bool socketStarted;

// Winsock needs one start per process before any socket call.
static bool socketStartup(void)
{
    if (!socketStarted) {
        WSADATA data;
        socketStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    return socketStarted;
}

static bool socketNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
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

// Winsock's last error in words.
static void socketReason(char *why, size_t whySize)
{
    int code = WSAGetLastError();
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, (DWORD)code, 0, text,
                   sizeof text, nullptr);
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.'))
        text[--length] = 0;
    snprintf(why, whySize, "%s (Winsock error %d)", length ? text : "unknown error", code);
}

// Somebody answers at the path.
static bool socketAnswered(const sockaddr_un *address)
{
    SOCKET probe = socket(AF_UNIX, SOCK_STREAM, 0);
    if (probe == INVALID_SOCKET)
        return false;
    bool answered = connect(probe, (const sockaddr *)address, sizeof *address) == 0;
    closesocket(probe);
    return answered;
}

// A socket's file is a reparse point; anything else at the path is not ours.
static bool socketIsSocketFile(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The port a port file at the path names, or -1 when it is no such file.
static int socketPortOf(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return -1;
    char line[SOCKET_KEY_LINE_MAX] = "";
    size_t got = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[got] = 0;
    int port = -1;
    char end = 0;
    if (strncmp(line, kPortLine, sizeof kPortLine - 1) != 0 ||
        sscanf(line + sizeof kPortLine - 1, "%d%c", &port, &end) != 2 || (end != ' ' && end != '\n') ||
        port <= 0 || port > 65535) // (a file without a key: left by an older program)
        return -1;
    return port;
}

// A fresh key from the system's cryptographic generator.
static bool socketMakeKey(void)
{
    for (int i = 0; i < SOCKET_KEY_LENGTH; i += 8) {
        unsigned int word;
        if (rand_s(&word) != 0)
            return false;
        snprintf(socketKey + i, 9, "%08x", word);
    }
    return true;
}

static sockaddr_in socketLoopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((u_short)port);
    return address;
}

static bool socketPortAnswered(int port)
{
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe == INVALID_SOCKET)
        return false;
    sockaddr_in address = socketLoopback(port);
    bool answered = connect(probe, (const sockaddr *)&address, sizeof address) == 0;
    closesocket(probe);
    return answered;
}

// The loopback listener and the port file that names it.
static int socketListenLoopback(const char *path, char *why, size_t whySize)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET) {
        socketReason(why, whySize);
        return -1;
    }
    sockaddr_in address = socketLoopback(0);
    int length = sizeof address;
    if (bind(listener, (const sockaddr *)&address, sizeof address) != 0 || listen(listener, 4) != 0 ||
        getsockname(listener, (sockaddr *)&address, &length) != 0 || !socketNonBlocking(listener)) {
        socketReason(why, whySize);
        closesocket(listener);
        return -1;
    }
    if (!socketMakeKey()) {
        snprintf(why, whySize, "no random key for the loopback port");
        closesocket(listener);
        return -1;
    }
    FILE *file = fopen(path, "wb");
    bool written = file && fprintf(file, "%s%d %s\n", kPortLine, (int)ntohs(address.sin_port), socketKey) > 0;
    written = file && fclose(file) == 0 && written;
    if (!written) {
        snprintf(why, whySize, "cannot write %s: %s", path, strerror(errno));
        closesocket(listener);
        DeleteFileA(path);
        return -1;
    }
    socketKeyedListener = listener;
    return (int)listener;
}

int socketListen(const char *path, char *why, size_t whySize)
{
    sockaddr_un address;
    if (!socketAddress(path, &address)) {
        snprintf(why, whySize, "the path is empty or longer than %zu bytes", sizeof address.sun_path - 1);
        return -1;
    }
    if (!socketStartup()) {
        snprintf(why, whySize, "Winsock did not start");
        return -1;
    }
    DWORD attributes = GetFileAttributesA(path);
    int port = socketPortOf(path);
    if (port > 0) {
        if (socketPortAnswered(port)) {
            snprintf(why, whySize, "another program listens at %s", path);
            return -1;
        }
        DeleteFileA(path); // left over from a run that did not end normally
    } else if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!socketIsSocketFile(attributes)) {
            snprintf(why, whySize, "%s exists and is not a socket", path);
            return -1;
        }
        if (socketAnswered(&address)) {
            snprintf(why, whySize, "another program listens at %s", path);
            return -1;
        }
        DeleteFileA(path); // left over from a run that did not end normally
    }
    SOCKET listener = socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET && WSAGetLastError() == WSAEAFNOSUPPORT)
        return socketListenLoopback(path, why, whySize);
    if (listener == INVALID_SOCKET) {
        socketReason(why, whySize);
        return -1;
    }
    int bound = bind(listener, (const sockaddr *)&address, sizeof address);
    if (bound != 0 || listen(listener, 4) != 0 || !socketNonBlocking(listener)) {
        socketReason(why, whySize);
        closesocket(listener);
        if (bound == 0)
            DeleteFileA(path);
        return -1;
    }
    // The channel's handles fit an int (Windows keeps them below 2^24).
    return (int)listener;
}

int socketAccept(int listener)
{
    if (listener < 0)
        return -1;
    SOCKET client = accept((SOCKET)listener, nullptr, nullptr);
    if (client == INVALID_SOCKET)
        return -1;
    if (!socketNonBlocking(client)) {
        closesocket(client);
        return -1;
    }
    if ((SOCKET)listener == socketKeyedListener)
        socketUnheard.push_back({client, std::string()});
    return (int)client;
}

static long socketReceiveRaw(SOCKET client, char *buffer, size_t size)
{
    int got = recv(client, buffer, size > INT32_MAX ? INT32_MAX : (int)size, 0);
    if (got > 0)
        return got;
    if (got < 0 && (WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEINTR))
        return 0;
    return -1; // closed by the client, or broken
}

long socketReceive(int client, char *buffer, size_t size)
{
    auto unheard = socketFindUnheard(client);
    if (unheard == socketUnheard.end())
        return socketReceiveRaw((SOCKET)client, buffer, size);
    // Not yet heard: its first line must be the key; whatever follows it in
    // the same read is the client's first words.
    char chunk[SOCKET_KEY_LINE_MAX];
    long got = socketReceiveRaw((SOCKET)client, chunk, sizeof chunk);
    if (got <= 0)
        return got;
    unheard->received.append(chunk, (size_t)got);
    size_t end = unheard->received.find('\n');
    if (end == std::string::npos)
        return unheard->received.size() < SOCKET_KEY_LINE_MAX ? 0 : -1;
    std::string line = unheard->received.substr(0, end), rest = unheard->received.substr(end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    socketUnheard.erase(unheard);
    if (line != socketKey || rest.size() > size)
        return -1; // a stranger: dropped before a word of it is read
    memcpy(buffer, rest.data(), rest.size());
    return (long)rest.size();
}

long socketSend(int client, const char *data, size_t size)
{
    int sent = send((SOCKET)client, data, size > INT32_MAX ? INT32_MAX : (int)size, 0);
    if (sent >= 0)
        return sent;
    if (WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEINTR)
        return 0;
    return -1;
}

void socketClose(int socket)
{
    if (socket < 0)
        return;
    auto unheard = socketFindUnheard(socket);
    if (unheard != socketUnheard.end())
        socketUnheard.erase(unheard);
    closesocket((SOCKET)socket);
}

void socketStopListening(int listener, const char *path)
{
    if (listener < 0)
        return;
    closesocket((SOCKET)listener);
    if ((SOCKET)listener == socketKeyedListener)
        socketKeyedListener = INVALID_SOCKET;
    if (path && (socketIsSocketFile(GetFileAttributesA(path)) || socketPortOf(path) > 0))
        DeleteFileA(path);
}
