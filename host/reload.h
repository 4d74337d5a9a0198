// Hot reload for the edit mode: the files of the asset tree that the show
// reads while it runs (the track files, the variable files and the pictures
// its effects keep) are watched, and a complete new version takes effect at
// once. A file caught half written, truncated or unreadable changes nothing:
// the old data stays until a whole file is there. A whole picture of another
// size is refused with a line on standard error.
#pragma once

#include <cstddef>

struct SyncDevice;

// Remembers how every track file of the device, every queued variable file
// and every kept picture stands now.
void reloadWatch(SyncDevice *device);
// Reads again what changed since (everything when force is set) and takes
// what is whole. Each reload is reported as one line on standard output (a
// forced pass as one line for all); the last one, or the last refusal, is
// also left in said (empty when there was nothing to say).
// Returns the files taken.
int reloadPoll(int force, char *said, size_t saidSize);
