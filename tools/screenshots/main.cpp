// rssreader-screens: renders the registered screens offscreen into PNG
// files. Usage: rssreader-screens OUTPUT-FOLDER [NAME...]. The device pixel
// ratio is the platform's (QT_SCALE_FACTOR=2 gives 2x); files rendered
// above 1x get the suffix "@2x". tools/screenshots.sh runs it at both.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <map>
#include <string>

#include "ScreenRegistry.h"
#include "resources/ResourceModule.h"
#include "views/FullScreenDialog.h"

namespace {

std::map<std::string, ScreenRenderer>& Screens()
{
    static std::map<std::string, ScreenRenderer> screens;
    return screens;
}

} // namespace

bool RegisterScreen(const char* name, ScreenRenderer renderer)
{
    Screens()[name] = std::move(renderer);
    return true;
}

QString ResetDemoHome(const QString& name)
{
    const QString home = QDir::tempPath() + QLatin1Char('/') + name;
    QDir(home).removeRecursively();
    QDir().mkpath(home);
    const QByteArray bytes = home.toUtf8();
    qputenv("HOME", bytes);
    qputenv("XDG_DATA_HOME", bytes + "/data");
    qputenv("XDG_CONFIG_HOME", bytes + "/config");
    return home;
}

void CScreenContext::Settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

QImage CScreenContext::Grab(QWidget& widget) { return widget.grab().toImage(); }

QImage CScreenContext::Show(QWidget& widget)
{
    widget.show();
    Settle();
    return Grab(widget);
}

QImage CScreenContext::RunModal(CFullScreenDialog& dialog)
{
    QImage image;
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
        Settle();
        image = Grab(*dialog.window());
        dialog.EndDialog(ID_CANCEL);
    });
    dialog.DoModal();
    return image;
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER [NAME...]\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    const qreal ratio = application.devicePixelRatio();
    const QString suffix = ratio > 1.0 ? QStringLiteral("@%1x").arg(qRound(ratio)) : QString();

    int failures = 0;
    for (auto& [name, render] : Screens()) {
        if (argc > 2 && std::find(argv + 2, argv + argc, name) == argv + argc)
            continue;
        UseBuiltInResources();
        CScreenContext context;
        const QImage image = render(context);
        const QString file = folder.filePath(QString::fromStdString(name) + suffix + QStringLiteral(".png"));
        if (image.isNull() || !image.save(file, "PNG")) {
            std::fprintf(stderr, "%s: not rendered\n", name.c_str());
            ++failures;
            continue;
        }
        std::printf("%s (%dx%d)\n", qPrintable(file), image.width(), image.height());
    }
    return failures == 0 ? 0 : 1;
}
