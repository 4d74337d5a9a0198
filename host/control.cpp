// The control channel: the command parser and the clients of the socket.
#include "host/control.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/socket.h"

// ---------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------

enum {
    STEP_FRAMES_MAX = 36000, // ten minutes of frames either way
};

static bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The line cut into words at blanks; false when it holds a character no
// command has (control characters, bytes outside ASCII).
static bool splitWords(const char *line, size_t length, std::vector<std::string> *words)
{
    std::string word;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)line[i];
        if (isBlank((char)c)) {
            if (!word.empty())
                words->push_back(word);
            word.clear();
            continue;
        }
        if (c < 0x20 || c > 0x7E)
            return false;
        word += (char)c;
    }
    if (!word.empty())
        words->push_back(word);
    return true;
}

// A finite number that fills the whole word.
static bool readNumber(const std::string &word, double *out)
{
    char *end = nullptr;
    errno = 0;
    double v = strtod(word.c_str(), &end);
    if (end == word.c_str() || *end || !std::isfinite(v) || errno == ERANGE)
        return false;
    *out = v;
    return true;
}

int controlParse(const char *line, size_t length, ControlCommand *command, char *error, size_t errorSize)
{
    *command = ControlCommand();
    auto fail = [&](const char *format, const char *what) {
        snprintf(error, errorSize, format, what);
        return 0;
    };
    if (!line)
        return fail("%s", "empty line");
    if (length > 0 && line[length - 1] == '\r')
        length--;
    if (length > CONTROL_LINE_MAX)
        return fail("line longer than %s characters", "1024");
    std::vector<std::string> words;
    if (!splitWords(line, length, &words))
        return fail("%s", "the line holds characters no command has");
    if (words.empty())
        return fail("%s", "empty line");
    const std::string &verb = words[0];
    const size_t args = words.size() - 1;

    auto noArguments = [&](ControlVerb v) {
        if (args)
            return fail("%s takes nothing after it", verb.c_str());
        command->verb = v;
        return 1;
    };
    if (verb == "status")
        return noArguments(CONTROL_STATUS);
    if (verb == "pause")
        return noArguments(CONTROL_PAUSE);
    if (verb == "play")
        return noArguments(CONTROL_PLAY);
    if (verb == "quit")
        return noArguments(CONTROL_QUIT);
    if (verb == "reload")
        return noArguments(CONTROL_RELOAD);

    if (verb == "seek") {
        if (args != 1 || !readNumber(words[1], &command->numbers[0]))
            return fail("%s", "seek takes one number of seconds");
        if (command->numbers[0] < 0.0)
            return fail("%s", "seek cannot go before 0");
        command->verb = CONTROL_SEEK;
        return 1;
    }
    if (verb == "step") {
        double frames;
        if (args != 1 || !readNumber(words[1], &frames) || frames != std::floor(frames))
            return fail("%s", "step takes a whole number of frames");
        if (std::fabs(frames) > STEP_FRAMES_MAX)
            return fail("%s", "step takes at most 36000 frames either way");
        command->verb = CONTROL_STEP;
        command->numbers[0] = frames;
        return 1;
    }
    if (verb == "loop") {
        if (args == 1 && words[1] == "off") {
            command->verb = CONTROL_LOOP_OFF;
            return 1;
        }
        if (args != 2 || !readNumber(words[1], &command->numbers[0]) || !readNumber(words[2], &command->numbers[1]))
            return fail("%s", "loop takes two numbers of seconds, or off");
        if (command->numbers[0] < 0.0 || command->numbers[1] <= command->numbers[0])
            return fail("%s", "a loop runs from 0 or later to a later time");
        command->verb = CONTROL_LOOP;
        return 1;
    }
    if (verb == "get" || verb == "set") {
        if (args < 1)
            return fail("%s needs a variable name", verb.c_str());
        if (words[1].size() >= CONTROL_NAME_MAX)
            return fail("%s", "no variable has so long a name");
        strcpy(command->name, words[1].c_str());
        if (verb == "get") {
            if (args != 1)
                return fail("%s", "get takes one variable name");
            command->verb = CONTROL_GET;
            return 1;
        }
        if (args < 2 || args - 1 > CONTROL_VALUES_MAX)
            return fail("%s", "set takes a name and one to four numbers");
        for (size_t i = 2; i < words.size(); i++) {
            double v;
            if (!readNumber(words[i], &v) || std::fabs(v) > 3.4e38)
                return fail("not a number: %s", words[i].c_str());
            command->values[command->valueCount++] = (float)v;
        }
        command->verb = CONTROL_SET;
        return 1;
    }
    if (verb == "screenshot") {
        // The file name is the rest of the line, blanks inside it kept.
        size_t at = 0;
        while (at < length && isBlank(line[at]))
            at++;
        at += verb.size();
        const char *rest = line + at;
        size_t restLength = length - at;
        while (restLength && isBlank(*rest))
            rest++, restLength--;
        while (restLength && isBlank(rest[restLength - 1]))
            restLength--;
        if (!restLength)
            return fail("%s", "screenshot needs a file name");
        memcpy(command->file, rest, restLength);
        command->file[restLength] = '\0';
        command->verb = CONTROL_SCREENSHOT;
        return 1;
    }
    return fail("unknown command %s", verb.size() > 40 ? "(too long to repeat)" : verb.c_str());
}

// ---------------------------------------------------------------------------
// Clients
// ---------------------------------------------------------------------------

enum {
    CLIENTS_MAX = 8,
    READ_PER_POLL = 4096,       // bytes taken from a client per frame
    PENDING_MAX = 64 << 10,     // unanswered input a client may have queued
    COMMANDS_PER_POLL = 32,     // lines carried out per client per frame
    REPLIES_MAX = 64 << 10,     // replies a client may leave unread before it is dropped
};

struct ControlClient {
    int socket;
    std::string input;  // bytes received, not yet a whole line
    std::string output; // replies not yet sent
    bool skipping;      // the rest of a line that was too long
};

static int controlListener = -1;
static std::string controlPath;
static std::vector<ControlClient> controlClients;

int controlOpen(const char *path)
{
    char why[256] = "";
    controlListener = socketListen(path, why, sizeof why);
    if (controlListener < 0) {
        fprintf(stderr, "No control channel at %s: %s.\n", path, why);
        return 0;
    }
    controlPath = path;
    return 1;
}

void controlClose(void)
{
    for (ControlClient &client : controlClients)
        socketClose(client.socket);
    controlClients.clear();
    socketStopListening(controlListener, controlPath.c_str());
    controlListener = -1;
}

// Carries out the whole lines waiting in the client's input.
static void controlRun(ControlClient *client, void (*execute)(const ControlCommand *, char *, size_t))
{
    for (int done = 0; done < COMMANDS_PER_POLL;) {
        size_t end = client->input.find('\n');
        if (end == std::string::npos) {
            // A line too long to be a command is answered once and dropped
            // as it comes, up to its end.
            if (client->input.size() > CONTROL_LINE_MAX + 1) {
                if (!client->skipping)
                    client->output += "error line longer than 1024 characters\n";
                client->input.clear();
                client->skipping = true;
            }
            return;
        }
        std::string line = client->input.substr(0, end);
        client->input.erase(0, end + 1);
        if (client->skipping) { // the end of the line already answered
            client->skipping = false;
            continue;
        }
        ControlCommand command;
        char reply[CONTROL_LINE_MAX + 64];
        char error[CONTROL_LINE_MAX];
        if (controlParse(line.data(), line.size(), &command, error, sizeof error))
            execute(&command, reply, sizeof reply);
        else
            snprintf(reply, sizeof reply, "error %s", error);
        client->output += reply;
        client->output += '\n';
        done++;
    }
}

void controlPoll(void (*execute)(const ControlCommand *command, char *reply, size_t replySize))
{
    if (controlListener < 0)
        return;
    for (int client; (client = socketAccept(controlListener)) >= 0;) {
        if (controlClients.size() >= CLIENTS_MAX) {
            const char full[] = "error too many clients\n";
            socketSend(client, full, sizeof full - 1);
            socketClose(client);
            continue;
        }
        controlClients.push_back({client, {}, {}, false});
    }
    for (size_t i = 0; i < controlClients.size();) {
        ControlClient &c = controlClients[i];
        bool gone = false;
        if (c.input.size() < PENDING_MAX) {
            char buffer[READ_PER_POLL];
            long got = socketReceive(c.socket, buffer, sizeof buffer);
            if (got < 0)
                gone = true; // a line it had begun goes with it
            else
                c.input.append(buffer, (size_t)got);
        }
        if (!gone)
            controlRun(&c, execute);
        if (!gone && !c.output.empty()) {
            long sent = socketSend(c.socket, c.output.data(), c.output.size());
            if (sent < 0)
                gone = true;
            else
                c.output.erase(0, (size_t)sent);
        }
        if (gone || c.output.size() > REPLIES_MAX || c.input.size() >= PENDING_MAX + READ_PER_POLL) {
            socketClose(c.socket);
            controlClients.erase(controlClients.begin() + (long)i);
            continue;
        }
        i++;
    }
}
