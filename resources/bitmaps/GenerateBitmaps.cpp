// Writes the bitmap resources as PNG files into the folder given as the only
// argument: page-states, tree-icons and about-logo at 1x and @2x, and the
// desktop icon at 48, 128 and 256 pixels. Run at build time.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "BitmapArt.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    // Text of the logo needs the font database, which needs an application.
    QGuiApplication application(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    bool ok = true;
    const auto save = [&](const QImage& image, const QString& name) {
        if (!image.save(folder.filePath(name), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder.filePath(name)));
            ok = false;
        }
    };
    for (const int scale : {1, 2}) {
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@2x");
        save(DrawPageStates(scale), QStringLiteral("page-states%1.png").arg(suffix));
        save(DrawTreeIcons(scale), QStringLiteral("tree-icons%1.png").arg(suffix));
        save(DrawAboutLogo(scale), QStringLiteral("about-logo%1.png").arg(suffix));
    }
    for (const int size : {48, 128, 256})
        save(DrawAppIcon(size), QStringLiteral("rssreader-%1.png").arg(size));
    return ok ? 0 : 1;
}
