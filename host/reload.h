// Hot reload for the edit mode: the files of the asset tree that the show
// reads while it runs (the track files and the variable files) are watched,
// and a complete new version takes effect at once. A file caught half
// written, truncated or unreadable changes nothing: the old data stays until
// a whole file is there.
#pragma once

#include <cstddef>

struct SyncDevice;

// Remembers how every track file of the device and every queued variable
// file stands now.
void reloadWatch(SyncDevice *device);
// Reads again what changed since (everything when force is set) and takes
// what is whole. Each reload is reported as one line on standard output (a
// forced pass as one line for all); the last one is also left in said.
// Returns the files taken.
int reloadPoll(int force, char *said, size_t saidSize);
