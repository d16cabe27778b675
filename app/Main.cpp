// The program's entry point: the arguments after the program name are the command line.
#include "app/Application.h"
#include "app/CommandLine.h"

int main(int argc, char** argv) {
    return demoMain(joinArguments(argc, argv));
}
