#pragma once

// Reads pixels of the X root window as a screenshot shows them (ImageMagick's
// import, by full path: a stand-in may come first on PATH).

#include <string>

#include "RunTool.h"

// "RRGGBB" of each point, in the order given, from one screenshot.
inline std::vector<std::string> RootPixels(const std::string& folder,
                                           const std::vector<std::pair<int, int>>& points) {
    const std::string shot = folder + "/shot.png";
    if (RunTool({"/usr/bin/import", "-window", "root", shot}).exitCode != 0) {
        return {};
    }
    std::string format;
    for (const auto& [x, y] : points) {
        format += "%[hex:p{" + std::to_string(x) + "," + std::to_string(y) + "}] ";
    }
    const TToolResult r = RunTool({"/usr/bin/convert", shot, "-format", format, "info:"});
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < r.out.size()) {
        const std::size_t space = r.out.find(' ', pos);
        if (space == std::string::npos) {
            break;
        }
        std::string hex = r.out.substr(pos, space - pos);
        out.push_back(hex.substr(0, 6));
        pos = space + 1;
    }
    return out;
}

// Writes a picture with ImageMagick; `format` ("BMP3:") forces the file format.
inline bool MakePicture(const std::string& path, const std::vector<std::string>& convertArgs,
                        const std::string& format = std::string()) {
    std::vector<std::string> argv{"/usr/bin/convert"};
    argv.insert(argv.end(), convertArgs.begin(), convertArgs.end());
    argv.push_back(format + path);
    return RunTool(argv).exitCode == 0;
}
