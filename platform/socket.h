// A local socket for the edit mode's control channel: a Unix-domain socket
// at a path, never a network port, and non-blocking everywhere, so that the
// frame loop can poll it once per frame without ever waiting.
#pragma once

#include <cstddef>

// Listens at path, created with owner-only permissions. A leftover socket
// that nobody answers on is replaced; a live one, or any other file, is left
// alone. The listening socket, or -1 with the reason in why.
int socketListen(const char *path, char *why, size_t whySize);
// A waiting client, or -1 when none waits.
int socketAccept(int listener);
// Bytes received (> 0), 0 when none are waiting, -1 when the client is gone.
long socketReceive(int client, char *buffer, size_t size);
// Bytes sent (>= 0; fewer than asked when the client's queue is full), -1 when
// the client is gone.
long socketSend(int client, const char *data, size_t size);
void socketClose(int socket);
// Closes the listener and removes its path.
void socketStopListening(int listener, const char *path);
