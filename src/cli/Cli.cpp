#include "Cli.h"

#include <cstdio>

namespace corvelle::cli {

int run(int /*argc*/, char* /*argv*/[])
{
    std::fputs("corvelle-cli: not built yet\n", stderr);
    return 2;
}

} // namespace corvelle::cli
