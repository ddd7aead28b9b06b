// qdxartgen <folder>: writes the program's icons and bitmaps into <folder>.
#include <cstdio>
#include <string>

#include "art.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qdxartgen <output folder>\n");
        return 2;
    }
    std::string error;
    if (!artgen::WriteAllArt(argv[1], error)) {
        std::fprintf(stderr, "qdxartgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
