#include "wallpaper/FreeImageLibrary.h"

#include <FreeImage.h>
#include <dlfcn.h>

#include <cstdio>

namespace {

constexpr const char* kLibrary = "libfreeimage.so.3";

// The library, opened once by whichever thread asks first (decodes run on
// worker threads); null when it cannot be opened, which is said once.
void* Library() {
    static void* const library = [] {
        void* opened = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!opened) {
            const char* reason = ::dlerror();
            std::fprintf(stderr,
                         "vantoria: the FreeImage library cannot be loaded, so the pictures it "
                         "decodes cannot be shown: %s\n",
                         reason ? reason : kLibrary);
        }
        return opened;
    }();
    return library;
}

// The library's own `name`, null when the library or the function is missing.
template <typename TFunction>
TFunction Resolve(const char* name) {
    void* library = Library();
    if (!library) {
        return nullptr;
    }
    void* function = ::dlsym(library, name);
    if (!function) {
        const char* reason = ::dlerror();
        std::fprintf(stderr, "vantoria: the FreeImage library lacks %s: %s\n", name,
                     reason ? reason : "not found");
    }
    return reinterpret_cast<TFunction>(function);
}

}  // namespace

bool OpenFreeImage() {
    return Library() != nullptr;
}

// Defines `name` with the parameters FreeImage.h declares: a list that differs
// from the header's declares an overload instead, and `&name` no longer
// compiles. The call goes to the library's function, looked up on the first
// call; without it the call returns `failure`.
#define VANTORIA_FORWARD(result, name, params, args, failure)         \
    result DLL_CALLCONV name params {                                 \
        static const auto function = Resolve<decltype(&name)>(#name); \
        return function ? function args : failure;                    \
    }

// Files and formats.
VANTORIA_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFileType, (const char* filename, int size),
                 (filename, size), FIF_UNKNOWN)
VANTORIA_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFIFFromFilename, (const char* filename),
                 (filename), FIF_UNKNOWN)
VANTORIA_FORWARD(int, FreeImage_GetFIFCount, (), (), 0)
VANTORIA_FORWARD(const char*, FreeImage_GetFIFDescription, (FREE_IMAGE_FORMAT fif), (fif), nullptr)
VANTORIA_FORWARD(const char*, FreeImage_GetFIFExtensionList, (FREE_IMAGE_FORMAT fif), (fif),
                 nullptr)
VANTORIA_FORWARD(BOOL, FreeImage_FIFSupportsWriting, (FREE_IMAGE_FORMAT fif), (fif), FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_FIFSupportsNoPixels, (FREE_IMAGE_FORMAT fif), (fif), FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_FIFSupportsExportBPP, (FREE_IMAGE_FORMAT fif, int bpp), (fif, bpp),
                 FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_FIFSupportsExportType,
                 (FREE_IMAGE_FORMAT fif, FREE_IMAGE_TYPE type), (fif, type), FALSE)
VANTORIA_FORWARD(void, FreeImage_SetOutputMessage, (FreeImage_OutputMessageFunction omf), (omf),
                 void())

// Every FreeImage carries its JPEG and PNG readers, and this program decodes
// photographs of those two formats itself: asking about them needs no library.
BOOL DLL_CALLCONV FreeImage_FIFSupportsReading(FREE_IMAGE_FORMAT fif) {
    if (fif == FIF_JPEG || fif == FIF_PNG) {
        return TRUE;
    }
    static const auto function =
        Resolve<decltype(&FreeImage_FIFSupportsReading)>("FreeImage_FIFSupportsReading");
    return function ? function(fif) : FALSE;
}

// Loading and saving.
VANTORIA_FORWARD(FIBITMAP*, FreeImage_Load,
                 (FREE_IMAGE_FORMAT fif, const char* filename, int flags), (fif, filename, flags),
                 nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_LoadFromHandle,
                 (FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle, int flags),
                 (fif, io, handle, flags), nullptr)
VANTORIA_FORWARD(BOOL, FreeImage_Save,
                 (FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* filename, int flags),
                 (fif, dib, filename, flags), FALSE)
VANTORIA_FORWARD(FIMULTIBITMAP*, FreeImage_OpenMultiBitmap,
                 (FREE_IMAGE_FORMAT fif, const char* filename, BOOL create_new, BOOL read_only,
                  BOOL keep_cache_in_memory, int flags),
                 (fif, filename, create_new, read_only, keep_cache_in_memory, flags), nullptr)
VANTORIA_FORWARD(void, FreeImage_AppendPage, (FIMULTIBITMAP * bitmap, FIBITMAP* data),
                 (bitmap, data), void())
VANTORIA_FORWARD(BOOL, FreeImage_CloseMultiBitmap, (FIMULTIBITMAP * bitmap, int flags),
                 (bitmap, flags), FALSE)

// Bitmaps.
VANTORIA_FORWARD(FIBITMAP*, FreeImage_Allocate,
                 (int width, int height, int bpp, unsigned red_mask, unsigned green_mask,
                  unsigned blue_mask),
                 (width, height, bpp, red_mask, green_mask, blue_mask), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_AllocateT,
                 (FREE_IMAGE_TYPE type, int width, int height, int bpp, unsigned red_mask,
                  unsigned green_mask, unsigned blue_mask),
                 (type, width, height, bpp, red_mask, green_mask, blue_mask), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_Clone, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(void, FreeImage_Unload, (FIBITMAP * dib), (dib), void())
VANTORIA_FORWARD(BOOL, FreeImage_HasPixels, (FIBITMAP * dib), (dib), FALSE)
VANTORIA_FORWARD(FREE_IMAGE_TYPE, FreeImage_GetImageType, (FIBITMAP * dib), (dib), FIT_UNKNOWN)
VANTORIA_FORWARD(FREE_IMAGE_COLOR_TYPE, FreeImage_GetColorType, (FIBITMAP * dib), (dib),
                 FIC_MINISBLACK)
VANTORIA_FORWARD(unsigned, FreeImage_GetBPP, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(unsigned, FreeImage_GetWidth, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(unsigned, FreeImage_GetHeight, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(unsigned, FreeImage_GetPitch, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(unsigned, FreeImage_GetRedMask, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(unsigned, FreeImage_GetGreenMask, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(unsigned, FreeImage_GetBlueMask, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(BYTE*, FreeImage_GetBits, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(BYTE*, FreeImage_GetScanLine, (FIBITMAP * dib, int scanline), (dib, scanline),
                 nullptr)
VANTORIA_FORWARD(unsigned, FreeImage_GetColorsUsed, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(RGBQUAD*, FreeImage_GetPalette, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(BOOL, FreeImage_IsTransparent, (FIBITMAP * dib), (dib), FALSE)
VANTORIA_FORWARD(void, FreeImage_SetTransparent, (FIBITMAP * dib, BOOL enabled), (dib, enabled),
                 void())
VANTORIA_FORWARD(unsigned, FreeImage_GetTransparencyCount, (FIBITMAP * dib), (dib), 0u)
VANTORIA_FORWARD(BYTE*, FreeImage_GetTransparencyTable, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(void, FreeImage_SetTransparencyTable, (FIBITMAP * dib, BYTE* table, int count),
                 (dib, table, count), void())
VANTORIA_FORWARD(BOOL, FreeImage_GetPixelColor,
                 (FIBITMAP * dib, unsigned x, unsigned y, RGBQUAD* value), (dib, x, y, value),
                 FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_SetPixelColor,
                 (FIBITMAP * dib, unsigned x, unsigned y, RGBQUAD* value), (dib, x, y, value),
                 FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_GetPixelIndex,
                 (FIBITMAP * dib, unsigned x, unsigned y, BYTE* value), (dib, x, y, value), FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_SetPixelIndex,
                 (FIBITMAP * dib, unsigned x, unsigned y, BYTE* value), (dib, x, y, value), FALSE)
VANTORIA_FORWARD(BOOL, FreeImage_FillBackground, (FIBITMAP * dib, const void* color, int options),
                 (dib, color, options), FALSE)

// Conversions and geometry.
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ConvertTo8Bits, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ConvertTo24Bits, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ConvertTo32Bits, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ConvertToGreyscale, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ConvertToRGB16, (FIBITMAP * dib), (dib), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ConvertToStandardType, (FIBITMAP * src, BOOL scale_linear),
                 (src, scale_linear), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ColorQuantize, (FIBITMAP * dib, FREE_IMAGE_QUANTIZE quantize),
                 (dib, quantize), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_Threshold, (FIBITMAP * dib, BYTE T), (dib, T), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_ToneMapping,
                 (FIBITMAP * dib, FREE_IMAGE_TMO tmo, double first_param, double second_param),
                 (dib, tmo, first_param, second_param), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_Rescale,
                 (FIBITMAP * dib, int dst_width, int dst_height, FREE_IMAGE_FILTER filter),
                 (dib, dst_width, dst_height, filter), nullptr)
VANTORIA_FORWARD(FIBITMAP*, FreeImage_Copy,
                 (FIBITMAP * dib, int left, int top, int right, int bottom),
                 (dib, left, top, right, bottom), nullptr)
VANTORIA_FORWARD(BOOL, FreeImage_Paste,
                 (FIBITMAP * dst, FIBITMAP* src, int left, int top, int alpha),
                 (dst, src, left, top, alpha), FALSE)
