// Placeholder until the part lands.
#include "build.h"

bool buildVariables(const BuildContext &, std::string *)
{
    return true;
}
