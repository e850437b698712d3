// Writes the four sample update files into the folder given (default: here).
#include <cstdio>

#include "simulator/Samples.h"

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : ".";
    if (!samples::WriteAll(folder)) {
        std::fprintf(stderr, "could not write the sample update files into %s\n", folder.c_str());
        return 1;
    }
    std::printf("sample update files written to %s\n", folder.c_str());
    return 0;
}
