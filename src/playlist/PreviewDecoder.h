#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <stdexcept>
#include <string>
#include <string_view>

// The picture decoders behind the playlist editor's preview. The preview
// accepts every format the installed FreeImage reads (asked at run time) and
// a few more extensions of its own; Qt's image readers decode the common
// ones and FreeImage the rest, within the wallpaper's decoding budgets.

class EPreviewError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A decoded picture: the image to show (possibly decoded at a reduced scale)
// and the picture's own size, which decides the thumbnail's proportions.
struct TPreviewPicture {
    QImage image;
    QSize size;
};

// The extension of the file-name part of path, without its dot; empty when
// the name has none.
std::string PictureExtension(std::string_view path);

// True for the extensions the preview decodes, compared without regard to case.
bool IsPreviewExtension(std::string_view extension);

// Decodes path for the preview. Raises EPreviewError with
// "Unknown picture file extension (.<ext>)" for an extension it does not know,
// and with a message naming the file when it is missing, not a regular file,
// damaged, enormous or in a format no decoder here reads. The image is at
// most maxSide pixels on its longer side.
TPreviewPicture LoadPreviewPicture(const std::string& path, int maxSide = 1024);

// The rectangle at 0, 0 a w x h picture occupies when fitted, proportions
// kept, into the 105 x 105 preview.
inline constexpr int kPreviewSide = 105;
QRect ThumbnailRectFor(int w, int h);
