// Screens of the shell kit: the frame with its main menu open (also in
// German), a message box, a full-screen dialog, the markup label and the
// bitmaps.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "ScreenRegistry.h"
#include "app/MainFrame.h"
#include "app/MessageBox.h"
#include "views/FullScreenDialog.h"
#include "views/ImageList.h"
#include "views/MarkupLabel.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/TitleBar.h"

namespace {

// The frame with the main menu bar, its "Menu" popup and the Edit submenu
// open, as one picture.
QImage FrameWithMenu(CScreenContext& context)
{
    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);
    auto* client = new QWidget;
    client->setAutoFillBackground(true);
    client->setPalette(QPalette(Qt::white));
    frame.SetClient(client, nullptr);
    // At the screen's right edge, so submenus open to the left, over the
    // frame, as they do on the device.
    const QRect screen = frame.screen()->availableGeometry();
    frame.move(screen.right() + 1 - frame.width(), screen.top());
    frame.show();
    context.Settle();

    CSoftKeyBar* keys = frame.SoftKeys();
    keys->PressKey(CSoftKeyBar::kRight);
    QMenu* menu = keys->KeyMenu(CSoftKeyBar::kRight);
    context.Settle();
    QMenu* edit = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr && action->text() == ResString(IDS_MENU_EDIT)) {
            edit = action->menu();
            menu->setActiveAction(action);
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QCoreApplication::sendEvent(menu, &right);
        }
    }
    context.Settle();

    QImage image = context.Grab(frame);
    QPainter painter(&image);
    const QPoint origin = frame.mapToGlobal(QPoint(0, 0));
    for (QMenu* popup : {menu, edit}) {
        if (popup != nullptr && popup->isVisible())
            painter.drawImage(popup->geometry().topLeft() - origin, context.Grab(*popup));
    }
    painter.end();
    if (edit != nullptr)
        edit->hide();
    menu->hide();
    return image;
}

// A bitmap resource four times enlarged on a chequered ground, so that the
// keyed-out magenta shows as transparent.
QImage Enlarged(UINT bitmapId, bool keyed, int scale)
{
    QImage bitmap = LoadBitmapResource(bitmapId, scale);
    if (keyed)
        bitmap = ApplyColourKey(bitmap);
    const int zoom = (bitmapId == IDB_ABOUT_LOGO ? 2 : 8) / scale;
    QImage out(bitmap.size() * zoom, QImage::Format_ARGB32);
    QPainter painter(&out);
    const int square = 4 * zoom;
    for (int y = 0; y < out.height(); y += square) {
        for (int x = 0; x < out.width(); x += square)
            painter.fillRect(x, y, square, square, ((x + y) / square) % 2 == 0 ? QColor(236, 236, 236) : Qt::white);
    }
    painter.drawImage(out.rect(), bitmap);
    painter.end();
    out.setDevicePixelRatio(scale);
    return out;
}

} // namespace

RSS_SCREEN(frame-menu) { return FrameWithMenu(context); }

RSS_SCREEN(frame-menu-de)
{
    LoadResourceModule(QCoreApplication::applicationDirPath().toStdString() + "/rssreader.0407.mui");
    return FrameWithMenu(context);
}

RSS_SCREEN(message-box)
{
    CMessageBoxRequest request{ResFormat(IDS_UNSUPPORTED_URL, L"ftp://example.org/feed.xml"),
                               ResString(IDS_APP_TITLE), MB_OK | MB_ICONHAND};
    // Drawn inside a frame of its own so the picture shows the caption the
    // window manager would draw.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* caption = new CTitleBar;
    caption->setText(request.caption);
    layout->addWidget(caption);
    auto box = CreateMessageBox(&window, request);
    box->setWindowFlags(Qt::Widget);
    layout->addWidget(box.release());
    return context.Show(window);
}

RSS_SCREEN(full-screen-dialog)
{
    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);
    frame.show();
    context.Settle();
    CFullScreenDialog dialog(&frame, IDD_ADD_FEED);
    if (auto* edit = FindControl<QLineEdit>(&dialog, IDC_URL_EDIT))
        edit->setText(QStringLiteral("http://"));
    if (auto* edit = FindControl<QLineEdit>(&dialog, IDC_NAME_EDIT))
        edit->setText(ResString(IDS_NEW_FEED));
    dialog.ClientLayout()->addStretch(1);
    return context.RunModal(dialog);
}

RSS_SCREEN(markup-label)
{
    QWidget page;
    page.resize(480, 400);
    page.setAutoFillBackground(true);
    page.setPalette(QPalette(Qt::white));
    auto* layout = new QVBoxLayout(&page);
    const QString samples[] = {
        QStringLiteral("<B><Font size=10>Feed Title</font></B>"),
        QStringLiteral("Plain words, <b>bold words</b>, <i>italic</i>, <u>underlined text</u> and <em>more</em>."),
        QStringLiteral("Water is H<sub>2</sub>O and E = mc<sup>2</sup>; a &lt; b written as a < b."),
        QStringLiteral("<font color=\"#C03020\">red, <font color='#2050C0'>blue, <font color=208040>green</font> "
                       "back to blue</font> and red</font>, then the starting colour."),
        QStringLiteral("<p>A paragraph first adds no space.<p>A second paragraph follows one and a half lines "
                       "below, and this long sentence wraps at word boundaries to the width of the label."),
        QStringLiteral("Unknown <tags> are drawn as text.<br>A line break<br>and another."),
    };
    for (const QString& sample : samples) {
        auto* label = new CMarkupLabel(sample);
        layout->addWidget(label);
    }
    auto* plain = new CMarkupLabel(QStringLiteral("Plain mode: <b>tags</b> stay as written.\r\nLine two."));
    plain->SetPlainText(true);
    layout->addWidget(plain);
    layout->addStretch(1);
    return context.Show(page);
}

RSS_SCREEN(bitmaps)
{
    const int scale = qRound(qApp->devicePixelRatio()) >= 2 ? 2 : 1;
    QWidget page;
    page.setAutoFillBackground(true);
    page.setPalette(QPalette(Qt::white));
    auto* layout = new QVBoxLayout(&page);
    const struct {
        UINT id;
        bool keyed;
        const char* caption;
    } bitmaps[] = {
        {IDB_PAGE_STATES, true, "201 page states: unread, read, deleted mark, new"},
        {IDB_TREE_ICONS, true, "202 tree: folder open, folder closed, unread, failed, read"},
        {IDB_ABOUT_LOGO, false, "241 About logo"},
    };
    for (const auto& bitmap : bitmaps) {
        layout->addWidget(new QLabel(QString::fromUtf8(bitmap.caption)));
        auto* picture = new QLabel;
        picture->setPixmap(QPixmap::fromImage(Enlarged(bitmap.id, bitmap.keyed, scale)));
        layout->addWidget(picture);
    }
    // And as a list draws them, at their real size.
    auto* row = new QHBoxLayout;
    for (UINT id : {IDB_PAGE_STATES, IDB_TREE_ICONS}) {
        const CImageList images = CImageList::FromBitmap(id);
        for (int index = 0; index < images.Count(); ++index) {
            auto* icon = new QLabel;
            icon->setPixmap(images.Icon(index).pixmap(QSize(22, 22), page.devicePixelRatioF()));
            row->addWidget(icon);
        }
        row->addSpacing(16);
    }
    row->addStretch(1);
    layout->addLayout(row);
    layout->addStretch(1);
    page.adjustSize();
    return context.Show(page);
}
