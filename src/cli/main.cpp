// The command-line program's entry point.
#include "Cli.h"

int main(int argc, char* argv[])
{
    return corvelle::cli::run(argc, argv);
}
