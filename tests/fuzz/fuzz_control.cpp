// Control channel lines of arbitrary bytes: every line is either a command
// whose fields hold what its verb promises, or refused with a reason.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "host/control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ControlCommand command;
    char error[CONTROL_LINE_MAX];
    if (!controlParse((const char *)data, size, &command, error, sizeof error)) {
        if (!memchr(error, 0, sizeof error) || !error[0])
            abort(); // every refusal says why
        return 0;
    }
    if (command.verb < CONTROL_STATUS || command.verb > CONTROL_RELOAD)
        abort();
    for (double n : command.numbers) {
        if (!std::isfinite(n))
            abort();
    }
    if (command.verb == CONTROL_SEEK && command.numbers[0] < 0.0)
        abort();
    if (command.verb == CONTROL_LOOP && !(command.numbers[1] > command.numbers[0] && command.numbers[0] >= 0.0))
        abort();
    if (command.valueCount < 0 || command.valueCount > CONTROL_VALUES_MAX)
        abort();
    if (!memchr(command.name, 0, sizeof command.name) || !memchr(command.file, 0, sizeof command.file))
        abort();
    return 0;
}
