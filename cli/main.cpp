// velpin-cli: the window's view of a movie, and its Delete Tag and Save As, without a display;
// and the same for whole collections of movies, compressed ones included.
#include "cli/command_line.h"

int main(int argc, char** argv) {
    velpin::CommandLine commandLine;
    return commandLine.Run(argc, argv);
}
