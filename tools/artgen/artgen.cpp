#include "art.h"

#include <cstdio>

namespace artgen {

std::vector<ArtFile> MakeAllArt() {
    std::vector<ArtFile> files;
    struct {
        const char* name;
        LampColour colour;
    } lamps[] = {{"lamp_orange.ico", LampColour::Orange}, {"lamp_grey.ico", LampColour::Grey}, {"lamp_red.ico", LampColour::Red}};
    for (const auto& lamp : lamps) {
        Canvas big = DrawLamp(lamp.colour, 32);
        Canvas small = DrawLamp(lamp.colour, 16);
        files.push_back(ArtFile{lamp.name, MakeIcoFile({&big, &small})});
    }
    files.push_back(ArtFile{"ldb_green.bmp", MakeBmp4(kMeterBitmapWidth, kMeterBitmapHeight, MeterSegmentIndices(false))});
    files.push_back(ArtFile{"ldb_red.bmp", MakeBmp4(kMeterBitmapWidth, kMeterBitmapHeight, MeterSegmentIndices(true))});
    std::vector<PaletteEntry> palette;
    std::vector<uint8_t> indices;
    Quantize(DrawAboutPicture(), palette, indices);
    files.push_back(ArtFile{"about.bmp", MakeBmp8(kAboutWidth, kAboutHeight, palette, indices)});
    return files;
}

bool WriteAllArt(const std::string& folder, std::string& error) {
    for (const ArtFile& f : MakeAllArt()) {
        const std::string path = folder + "/" + f.name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
        const size_t written = std::fwrite(f.bytes.data(), 1, f.bytes.size(), out);
        const bool closed = std::fclose(out) == 0;
        if (!closed || written != f.bytes.size()) {
            error = "write failed: " + path;
            return false;
        }
    }
    return true;
}

}  // namespace artgen
