#pragma once

#include <string>

// The image formats the wallpaper library reads, turned into the masks that
// folder import searches for and the filter of the Add Image dialog.
//
// A mask list is "*.ext" masks separated by ";" ("*.tif;*.tiff"). A filter
// string is pairs of (text shown to the user, mask list), every element
// separated from the next by "|"; the file dialog converts it at the edge.
// Formats 0 to 23 are always walked, in order, whatever the library holds.

// Where the format facts come from: the installed FreeImage, or a fixed table
// in tests.
class TImageFormatInfo {
public:
    virtual ~TImageFormatInfo() = default;
    // The format's extensions without dots, separated by commas; empty when
    // the library has no answer.
    virtual std::string ExtensionList(int index) const = 0;
    // The format's description; empty when the library has no answer.
    virtual std::string Description(int index) const = 0;
};

// The formats of the FreeImage library this program runs with.
const TImageFormatInfo& FreeImageFormats();

inline constexpr int kFirstFormatIndex = 0;
inline constexpr int kLastFormatIndex = 23;

std::string GetFormatMasks(int Index, const TImageFormatInfo& info = FreeImageFormats());
std::string GetAllFormatMasks(const TImageFormatInfo& info = FreeImageFormats());
// "Description(masks)|masks"; empty for the unknown format -1.
std::string GetFormatFilter(int Index, const TImageFormatInfo& info = FreeImageFormats());
// "All supported formats|<all masks>" followed by one pair per format.
std::string GetOpenImageFilter(const TImageFormatInfo& info = FreeImageFormats());
