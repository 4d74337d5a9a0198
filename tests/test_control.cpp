// The control channel's command lines: what each command takes, and what
// is refused with an error reply instead of reaching the show.
#include "testutil.h"

#include "host/control.h"

static int parse(const std::string &line, ControlCommand *c, std::string *error = nullptr)
{
    char why[CONTROL_LINE_MAX] = "";
    int ok = controlParse(line.data(), line.size(), c, why, sizeof why);
    if (error)
        *error = why;
    return ok;
}

TEST(ControlLine, CommandsAndTheirArguments)
{
    ControlCommand c;
    const struct { const char *line; int verb; double a, b; } commands[] = {
        {"status", CONTROL_STATUS, 0, 0},      {"  pause\r", CONTROL_PAUSE, 0, 0}, {"play", CONTROL_PLAY, 0, 0},
        {"quit", CONTROL_QUIT, 0, 0},          {"seek 65.5", CONTROL_SEEK, 65.5, 0}, {"seek\t0", CONTROL_SEEK, 0, 0},
        {"step -3", CONTROL_STEP, -3, 0},      {"step 1e2", CONTROL_STEP, 100, 0},  {"loop 10 12.5", CONTROL_LOOP, 10, 12.5},
        {"loop off", CONTROL_LOOP_OFF, 0, 0}};
    for (const auto &k : commands) {
        ASSERT_EQ(parse(k.line, &c), 1) << k.line;
        EXPECT_EQ(c.verb, k.verb) << k.line;
        EXPECT_EQ(c.numbers[0], k.a) << k.line;
        EXPECT_EQ(c.numbers[1], k.b) << k.line;
    }
    ASSERT_EQ(parse("set intro_diffuse 0.9 0.95 1 1", &c), 1);
    EXPECT_EQ(c.verb, CONTROL_SET);
    EXPECT_STREQ(c.name, "intro_diffuse");
    EXPECT_EQ(std::vector<float>(c.values, c.values + c.valueCount), (std::vector<float>{0.9f, 0.95f, 1, 1}));
    ASSERT_EQ(parse("get fx_idx", &c), 1);
    EXPECT_EQ(c.verb, CONTROL_GET);
    EXPECT_STREQ(c.name, "fx_idx");
    // A file name is the rest of the line, blanks inside it kept.
    ASSERT_EQ(parse("screenshot  /tmp/a b.png  ", &c), 1);
    EXPECT_EQ(c.verb, CONTROL_SCREENSHOT);
    EXPECT_STREQ(c.file, "/tmp/a b.png");
}

TEST(ControlLine, MalformedLinesAreRefusedWithAReason)
{
    const std::string longest(CONTROL_LINE_MAX, 'x');
    const struct { std::string line; const char *reason; } refused[] = {
        {"", "empty line"}, {"   \t ", "empty line"}, {"dance", "unknown command dance"},
        {"STATUS", "unknown command STATUS"}, {"status now", "status takes nothing after it"},
        {"seek", "seek takes one number of seconds"}, {"seek nan", "seek takes one number of seconds"},
        {"seek inf", "seek takes one number of seconds"}, {"seek 1e400", "seek takes one number of seconds"},
        {"seek 5s", "seek takes one number of seconds"}, {"seek 1 2", "seek takes one number of seconds"},
        {"seek -0.5", "seek cannot go before 0"}, {"step 1.5", "step takes a whole number of frames"},
        {"step 99999999", "step takes at most 36000 frames either way"},
        {"loop 5", "loop takes two numbers of seconds, or off"}, {"loop 5 5", "a loop runs from 0 or later to a later time"},
        {"loop -1 3", "a loop runs from 0 or later to a later time"}, {"get", "get needs a variable name"},
        {"get a b", "get takes one variable name"}, {"get " + std::string(64, 'n'), "no variable has so long a name"},
        {"set fx_idx", "set takes a name and one to four numbers"},
        {"set c 1 2 3 4 5", "set takes a name and one to four numbers"}, {"set c 1e39", "not a number: 1e39"},
        {"set c NaN", "not a number: NaN"}, {"screenshot", "screenshot needs a file name"},
        {std::string("status\0", 7), "the line holds characters no command has"},
        {"seek \x80\xff", "the line holds characters no command has"},
        {longest + "x", "line longer than 1024 characters"}};
    for (const auto &r : refused) {
        ControlCommand c;
        std::string error;
        EXPECT_EQ(parse(r.line, &c, &error), 0) << r.line;
        EXPECT_EQ(error, r.reason) << r.line;
    }
    // An unknown word too long to repeat is not echoed.
    std::string error;
    ControlCommand c;
    EXPECT_EQ(parse(std::string(500, 'q'), &c, &error), 0);
    EXPECT_EQ(error, "unknown command (too long to repeat)");
}
