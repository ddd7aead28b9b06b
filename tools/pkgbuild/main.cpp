// qdxpkg: builds the setup package.
//
//   qdxpkg -o OUTPUT.exe PROGRAM.exe FILE1 ...     (files in the program's table order)
//   qdxpkg -o OUTPUT.exe --dir DIR PROGRAM.exe     (the table's files, by name, from DIR)
//   qdxpkg --load-config MAP SYMBOL PROGRAM.exe    (after the link: points the load
//                                                   configuration directory at SYMBOL)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/package.h"
#include "pkgbuild.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: qdxpkg -o OUTPUT.exe PROGRAM.exe");
    for (std::size_t i = 1; i < kSetupFileCount; ++i) std::fprintf(stderr, " %s", SetupFileTable[i].fileName);
    std::fprintf(stderr, "\n       qdxpkg -o OUTPUT.exe --dir DIR PROGRAM.exe\n");
    std::fprintf(stderr, "       qdxpkg --load-config MAP SYMBOL PROGRAM.exe\n");
    return 2;
}

int SetLoadConfig(const char* mapPath, const char* symbol, const char* programPath) {
    pkgbuild::Bytes map, program;
    std::string reason;
    if (!pkgbuild::ReadFile(mapPath, map, &reason) || !pkgbuild::ReadFile(programPath, program, &reason)) {
        std::fprintf(stderr, "qdxpkg: error: cannot read the map or the program: %s\n", reason.c_str());
        return 1;
    }
    if (!pkgbuild::SetLoadConfigDirectory(program, std::string(map.begin(), map.end()), symbol, reason)) {
        std::fprintf(stderr, "%s: error: %s\n", programPath, reason.c_str());
        return 1;
    }
    if (!pkgbuild::WriteFile(programPath, program)) {
        std::fprintf(stderr, "%s: error: cannot write the program\n", programPath);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--load-config") == 0)
        return argc == 5 ? SetLoadConfig(argv[2], argv[3], argv[4]) : Usage();
    std::string output, dir;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            output = argv[++i];
        else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            dir = argv[++i];
        else
            inputs.push_back(argv[i]);
    }
    if (output.empty() || inputs.empty()) return Usage();
    // The table names the files and their order, so a build cannot pack one
    // page under another's name.
    if (!dir.empty()) {
        if (inputs.size() != 1) return Usage();
        for (std::size_t i = 1; i < kSetupFileCount; ++i) inputs.push_back(dir + "/" + SetupFileTable[i].fileName);
    }

    std::vector<pkgbuild::Bytes> files(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::string reason;
        if (!pkgbuild::ReadFile(inputs[i], files[i], &reason)) {
            std::fprintf(stderr, "%s: error: cannot read the file: %s\n", inputs[i].c_str(), reason.c_str());
            return 1;
        }
    }
    pkgbuild::Bytes package;
    std::string error;
    if (!pkgbuild::BuildPackage(files, package, error)) {
        std::fprintf(stderr, "qdxpkg: error: %s\n", error.c_str());
        return 1;
    }
    if (!pkgbuild::WriteFile(output, package)) {
        std::fprintf(stderr, "%s: error: cannot write the package\n", output.c_str());
        return 1;
    }
    return 0;
}
