// The edit mode's control channel: tools and tests drive a running show
// through a local socket with one-line commands, and get one reply line for
// each. The socket is polled once per frame and never waited on; a client
// that sends nonsense gets an error line, one that floods or stops reading is
// dropped, and none of them can stall the frame loop.
//
//   status                 ok time T row R fx N NAME paused 0|1 loop A B on|off   (or "loop off")
//   seek SECONDS           ok time T        (on the 60 fps frame grid)
//   pause | play           ok paused | ok playing
//   step N                 ok time T        (N frames of 1/60 s, back when negative; pauses)
//   loop A B | loop off    ok loop A B on | ok loop off
//   get NAME               ok NAME VALUE...
//   set NAME VALUE...      ok NAME VALUE...
//   screenshot FILE        ok FILE          (the 320 x 180 picture as PNG)
//   quit                   ok quit          (ends the run as a close request does)
//   reload                 ok reloaded N    (every watched file read again; the whole ones taken)
//   anything else          error WHY
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    CONTROL_LINE_MAX = 1024, // longer lines are refused
    CONTROL_VALUES_MAX = 4,  // set: a colour's r g b a at most
    CONTROL_NAME_MAX = 64,   // a variable's name
};

enum ControlVerb {
    CONTROL_STATUS,
    CONTROL_SEEK,
    CONTROL_PAUSE,
    CONTROL_PLAY,
    CONTROL_STEP,
    CONTROL_LOOP,
    CONTROL_LOOP_OFF,
    CONTROL_GET,
    CONTROL_SET,
    CONTROL_SCREENSHOT,
    CONTROL_QUIT,
    CONTROL_RELOAD,
};

struct ControlCommand {
    int32_t verb;                       // ControlVerb
    double numbers[2];                  // seek: seconds; step: frames; loop: its start and end
    char name[CONTROL_NAME_MAX];        // get, set: the variable
    float values[CONTROL_VALUES_MAX];   // set: the values, in order
    int32_t valueCount;
    char file[CONTROL_LINE_MAX];        // screenshot: the file
};

// Reads one line (without its line end; a final carriage return is
// ignored). 1 with the command filled in; 0 with the reason in error (the
// text of the reply after "error ").
int controlParse(const char *line, size_t length, ControlCommand *command, char *error, size_t errorSize);

// Listens at path (see platform/socket.h): 1, or 0 after saying why on
// standard error; the edit mode then goes on without the channel.
int controlOpen(const char *path);
// Once per frame: takes new clients, reads what they sent and carries out
// each whole line through execute, which writes the reply (without "ok"/
// "error" decided here: execute's reply is sent as it is, with a line end).
void controlPoll(void (*execute)(const ControlCommand *command, char *reply, size_t replySize));
// Closes every client and the socket and removes its path.
void controlClose(void);
