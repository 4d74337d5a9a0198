// The production's music: renders the score and writes it as "music.mp3".
#include "build.h"

#include <vector>

#include "mp3encode.h"
#include "score.h"
#include "synth.h"

bool buildMusic(const BuildContext &ctx, std::string *error)
{
    SynSong song;
    if (!scoreBuild(&song, error))
        return false;
    std::vector<float> left, right;
    synRender(song, 0, song.length, &left, &right);
    std::string bytes;
    if (!mp3Encode(left, right, &bytes, error))
        return false;
    return buildWrite(ctx, "music.mp3", bytes, error);
}
