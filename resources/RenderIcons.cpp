// Draws an SVG picture at fixed sizes, at build time, so that the program
// shows its icons from ready pixels: reading SVG at start would load the SVG
// icon engine and Qt's SVG library and render every size anew, and reading
// PNG would make Qt's image reader load every image format plugin.
//   vantoria_render_icons IN.svg OUT_PREFIX SIZE...
// writes OUT_PREFIX-SIZE.argb: SIZE x SIZE pixels, row by row, each a
// premultiplied ARGB 32-bit word in this machine's byte order (QImage's
// Format_ARGB32_Premultiplied), which the program shows as it is. The pixels
// are those Qt's SVG icon engine draws: the picture's own aspect kept,
// centred, on a transparent square.

#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QStringList>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s IN.svg OUT_PREFIX SIZE...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(args[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s: not a picture\n", qPrintable(args[1]));
        return 1;
    }
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int side = args[i].toInt(&ok);
        if (!ok || side < 1 || side > 1024) {
            std::fprintf(stderr, "%s: not a size\n", qPrintable(args[i]));
            return 2;
        }
        QSize drawn = renderer.defaultSize();
        drawn.scale(side, side, Qt::KeepAspectRatio);
        QImage picture(side, side, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        {
            QPainter p(&picture);
            renderer.render(
                &p, QRectF(QPointF((side - drawn.width()) / 2.0, (side - drawn.height()) / 2.0),
                           drawn));
        }
        const QString out = QStringLiteral("%1-%2.argb").arg(args[2]).arg(side);
        QSaveFile file(out);
        const qsizetype size = picture.sizeInBytes();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(picture.constBits()), size) != size ||
            !file.commit()) {
            std::fprintf(stderr, "%s: cannot write\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
