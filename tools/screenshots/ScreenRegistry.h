#pragma once
// The screenshot renderer's list of screens. A window adds itself with
//
//   RSS_SCREEN(my-window-name)
//   {
//       CMyWindow window(...);             // fill it from the demo data
//       return context.Show(window);       // or context.Grab(widget)
//   }
//
// in a .cpp added to tools/screenshots/CMakeLists.txt; the renderer writes
// docs/screenshots/<name>.png at 1x and <name>@2x.png at 2x. A modal
// dialog is grabbed from inside its loop with context.RunModal.

#include <QImage>
#include <QString>
#include <functional>

class CFullScreenDialog;
class QWidget;

class CScreenContext {
public:
    // Shows the top-level widget, lets it lay out and paint, and grabs it.
    QImage Show(QWidget& widget);
    // Grabs a widget that is already on screen.
    QImage Grab(QWidget& widget);
    // Runs the dialog modally, grabs its window once it shows, and ends it.
    QImage RunModal(CFullScreenDialog& dialog);
    // Lets pending events (layout, paint, timers) run for a moment.
    void Settle(int milliseconds = 50);
};

using ScreenRenderer = std::function<QImage(CScreenContext&)>;

// Makes <temp>/<name> afresh, at a fixed place so that the pictures show the
// same paths every time, and points HOME and the XDG data and config
// folders into it; the folder's path.
QString ResetDemoHome(const QString& name);

bool RegisterScreen(const char* name, ScreenRenderer renderer);

// Named by __COUNTER__, not the line: screens of two files that share a
// unity translation unit may stand on the same line.
#define RSS_SCREEN_CONCAT2(a, b) a##b
#define RSS_SCREEN_CONCAT(a, b) RSS_SCREEN_CONCAT2(a, b)
#define RSS_SCREEN_WITH_ID(name, id)                                                                              \
    static QImage RSS_SCREEN_CONCAT(RenderScreen_, id)(CScreenContext & context);                                 \
    static const bool RSS_SCREEN_CONCAT(g_registered_, id) =                                                      \
        RegisterScreen(#name, RSS_SCREEN_CONCAT(RenderScreen_, id));                                              \
    static QImage RSS_SCREEN_CONCAT(RenderScreen_, id)(CScreenContext & context)
#define RSS_SCREEN(name) RSS_SCREEN_WITH_ID(name, __COUNTER__)
