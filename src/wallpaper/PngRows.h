#pragma once

#include <string>

#include "wallpaper/DecodeBudget.h"
#include "wallpaper/JpegDecoder.h"

// Opaque PNG pictures (grey, RGB or palette, 8 or 16 bits a sample, not
// interlaced, no transparency) decoded by libpng row by row in this process,
// each row brought to 24 bits as the whole decoder would (16-bit samples
// keep their high byte) and handed to `rows`; only the rows and columns of
// the part `rows` asks for are handed on, and no row after it is decoded.
// The decode keeps to `budget`: pixels and bytes from the header, its
// thread's CPU time checked row by row; it gives up when the decodes running
// are abandoned. kNotTaken for the pictures it leaves to the whole decoder
// (transparency, interlacing), kRefused with `refusal` for a damaged or cut
// short file.
TJpegDecode StreamPng(const std::string& path, const TDecodeBudget& budget, TJpegRows& rows,
                      std::string& refusal);

// Decodes as StreamPng does, keeping only the rows and columns of `part` (an
// empty part is the whole picture) in a 24-bit bitmap, `out`.
TJpegDecode DecodePng(const std::string& path, TPixelRect part, const TDecodeBudget& budget,
                      FIBITMAP*& out, std::string& refusal);
