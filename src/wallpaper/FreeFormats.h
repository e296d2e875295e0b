#pragma once

#include <string>
#include <string_view>

// The image formats the wallpaper library reads, turned into the masks that
// folder import searches for and the filter of the Add Image dialog.
//
// A mask list is "*.ext" masks separated by ";" ("*.tif;*.tiff"). A filter
// string is pairs of (text shown to the user, mask list), every element
// separated from the next by "|"; the file dialog converts it at the edge.
// The formats are those the library says it reads, asked at run time, in the
// library's order: a FreeImage built with more formats (WebP, JPEG 2000,
// camera RAW, EXR) offers them all, one without some offers none of those.

// Where the format facts come from: the installed FreeImage, or a fixed table
// in tests.
class TImageFormatInfo {
public:
    virtual ~TImageFormatInfo() = default;
    // How many formats the library has; they are numbered from 0.
    virtual int Count() const = 0;
    // Whether the library reads pictures of the format.
    virtual bool Reads(int index) const = 0;
    // The format's extensions without dots, separated by commas; empty when
    // the library has no answer.
    virtual std::string ExtensionList(int index) const = 0;
    // The format's description; empty when the library has no answer.
    virtual std::string Description(int index) const = 0;
};

// The formats of the FreeImage library this program runs with.
const TImageFormatInfo& FreeImageFormats();

std::string GetFormatMasks(int Index, const TImageFormatInfo& info = FreeImageFormats());
// The mask lists of every format the library reads, joined by ";".
std::string GetAllFormatMasks(const TImageFormatInfo& info = FreeImageFormats());
// "Description(masks)|masks"; empty for the unknown format -1.
std::string GetFormatFilter(int Index, const TImageFormatInfo& info = FreeImageFormats());
// "All supported formats|<all masks>" followed by one pair per format read.
std::string GetOpenImageFilter(const TImageFormatInfo& info = FreeImageFormats());

// Whether `name` ends in an extension of JPEG or PNG as FreeImage lists them
// (jpg, jif, jpeg, jpe; png), without regard to case: the formats that this
// program decodes itself and that every FreeImage reads. Telling these names
// needs no format list, which would load the library.
bool IsJpegOrPngName(std::string_view name);
