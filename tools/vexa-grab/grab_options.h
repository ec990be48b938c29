// vexa-grab's command line.
#pragma once

#include <string>

struct Options {
    int camera = 1;
    bool detect = true;
    int mode = 0;
    bool regionGiven = false;
    int region[4] = {0, 0, 0, 0};
    int gain = -1; // -1: leave the library's
    int shutterDelay = -1;
    int shutterWidth = -1;
    bool horizontalFlip = false;
    bool verticalFlip = false;
    int frames = 5;
    bool raw = false;
    bool single = false;
    bool still = false;
    int measureSeconds = 2;
    std::string directory = "vexa-frames";
};

// Prints the usage to stderr; returns the exit code for bad usage.
int Usage();
// False (with a message on stderr) on an unknown option or a bad value.
bool ParseOptions(int argc, char **argv, Options &options);
