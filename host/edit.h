// The edit mode (--edit, development runs only): the show plays in its
// window as always, with a transport on the keyboard and the control
// channel. Every seek lands on the 60 fps frame grid of a run from the start
// and shows exactly that frame (host/preroll); the music follows to the
// sample. A status line over the window (never in the picture) tells where
// the show stands.
#pragma once

struct Screen;

enum { EDIT_FPS = 60 };

struct EditOptions {
    double start;            // where to begin, in seconds
    const char *controlPath; // the control channel's socket
};

// The frame loop of the edit mode, after start-up; returns the frames drawn.
// Ends on a close request or the channel's quit.
int editRun(Screen *screen, const EditOptions *options);
