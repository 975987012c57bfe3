#include "views/DescriptionView.h"

#include <QKeyEvent>
#include <cstdio>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextFrame>

#include "platform/Debug.h"
#include "views/DialogControls.h"

namespace {

const QString kPageHead = QStringLiteral("<html><body bgcolor='%1'>");
const QString kPageHeadColour = QStringLiteral("#DCDCDC ");
const QString kPageTail = QStringLiteral("</body></html>");
const QString kEmptyDocument = QStringLiteral("<html><body bgcolor='#DCDCDC'><p>&nbsp;</p></body></html>");
const QString kFocusSheet = QStringLiteral("body { background-color:#A7EEFF }");
const QString kGreySheet = QStringLiteral("body { background-color:#DCDCDC }");
const QColor kAltTextColour(96, 96, 96);
constexpr int kRelayoutDelayMs = 30;

QString AttributeValue(const QString& tag, const QString& name)
{
    const QRegularExpression attribute(QStringLiteral("\\b%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))").arg(name),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = attribute.match(tag);
    if (!match.hasMatch())
        return {};
    for (int group = 1; group <= 3; ++group) {
        if (match.capturedStart(group) >= 0) {
            QString value = match.captured(group);
            value.replace(QLatin1String("&quot;"), QLatin1String("\""))
                .replace(QLatin1String("&#39;"), QLatin1String("'"))
                .replace(QLatin1String("&lt;"), QLatin1String("<"))
                .replace(QLatin1String("&gt;"), QLatin1String(">"))
                .replace(QLatin1String("&amp;"), QLatin1String("&"));
            return value.trimmed();
        }
    }
    return {};
}

QString KeyOf(const QUrl& url) { return url.toString(QUrl::FullyEncoded); }

QtMessageHandler g_previousHandler = nullptr;

// The page head names its colour with a trailing blank, which Qt's parser
// reports for every page it shows; the style sheet sets the colour anyway.
void DropHeadColourWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("Unknown color name '#DCDCDC '")))
        return;
    if (g_previousHandler != nullptr)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

CDescriptionView::CDescriptionView(QWidget* parent) : QTextBrowser(parent), m_pImages(new CDescriptionImages(this))
{
    SetControlId(this, IDC_DESCRIPTION);
    static const bool filtered = [] {
        g_previousHandler = qInstallMessageHandler(DropHeadColourWarning);
        return true;
    }();
    Q_UNUSED(filtered);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    setFocusPolicy(Qt::StrongFocus);
    m_relayout.setSingleShot(true);
    m_relayout.setInterval(kRelayoutDelayMs);
    connect(&m_relayout, &QTimer::timeout, this, &CDescriptionView::Render);
    connect(this, &QTextBrowser::anchorClicked, this, &CDescriptionView::linkTapped);
    connect(m_pImages, &CDescriptionImages::imageArrived, this, &CDescriptionView::OnImageArrived);
}

QString CDescriptionView::PageDocument(const QString& description)
{
    return kPageHead.arg(kPageHeadColour) + description + kPageTail;
}

QString CDescriptionView::EmptyDocument() { return kEmptyDocument; }

const QColor& CDescriptionView::GreyColour()
{
    static const QColor grey(0xDC, 0xDC, 0xDC);
    return grey;
}

const QColor& CDescriptionView::FocusColour()
{
    static const QColor blue(0xA7, 0xEE, 0xFF);
    return blue;
}

void CDescriptionView::ShowHtml(const QString& html)
{
    m_strHtml = html;
    ++m_nDocuments;
    CollectImages(html);
    m_relayout.stop();
    Render();
    verticalScrollBar()->setValue(0);
}

void CDescriptionView::SetFocusStyle(bool focused)
{
    m_bFocusStyle = focused;
    m_bStyled = true;
    // The area below a short document shows the same colour as its body.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, focused ? FocusColour() : GreyColour());
    setPalette(colours);
    document()->setDefaultStyleSheet(focused ? kFocusSheet : kGreySheet);
    Render();
}

void CDescriptionView::Stop()
{
    m_relayout.stop();
    m_pImages->CancelAll();
}

void CDescriptionView::Render()
{
    const int scroll = verticalScrollBar()->value();
    m_nRenderedWidth = AvailableWidth();
    // A fresh parse, so that pictures that arrived since and a changed
    // style sheet take effect; where the reader was in the text is kept.
    document()->clear();
    setHtml(m_strHtml);
    if (m_bStyled) {
        // The style sheet's colour wins over the document's own, as a sheet
        // added after the document does; Qt lets the body's bgcolor (even
        // one it cannot read, which it paints black) take the frame.
        QTextFrameFormat format = document()->rootFrame()->frameFormat();
        format.setBackground(m_bFocusStyle ? FocusColour() : GreyColour());
        document()->rootFrame()->setFrameFormat(format);
    }
    verticalScrollBar()->setValue(scroll);
}

void CDescriptionView::CollectImages(const QString& html)
{
    m_altTexts.clear();
    static const QRegularExpression image(QStringLiteral("<img\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    for (QRegularExpressionMatchIterator it = image.globalMatch(html); it.hasNext();) {
        const QString tag = it.next().captured(0);
        const QString source = AttributeValue(tag, QStringLiteral("src"));
        if (!source.isEmpty())
            m_altTexts.insert(KeyOf(QUrl(source)), AttributeValue(tag, QStringLiteral("alt")));
    }
}

int CDescriptionView::AvailableWidth() const
{
    return std::max(16, viewport()->width() - 2 * static_cast<int>(document()->documentMargin()) - 4);
}

QImage CDescriptionView::AltImage(const QString& alt)
{
    if (const auto found = m_altImages.constFind(alt); found != m_altImages.constEnd())
        return *found;
    const qreal ratio = devicePixelRatioF();
    QImage image;
    if (alt.isEmpty()) {
        image = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        QFont altFont = font();
        altFont.setItalic(true);
        const QFontMetrics metrics(altFont);
        const int width = std::min(metrics.horizontalAdvance(alt) + 4, std::max(16, AvailableWidth()));
        const QSize size(width, metrics.height() + 2);
        image = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setFont(altFont);
        painter.setPen(kAltTextColour);
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(alt, Qt::ElideRight, size.width() - 2));
    }
    m_altImages.insert(alt, image);
    return image;
}

QVariant CDescriptionView::loadResource(int type, const QUrl& name)
{
    // A non-null answer for everything: on a null one Qt would go and read
    // local and qrc: files itself.
    if (type != QTextDocument::ImageResource) {
        DebugLogF("CDescriptionView::loadResource", "refused %s", KeyOf(name).toUtf8().constData());
        return QVariant(QString());
    }
    const QString key = KeyOf(name);
    QImage image;
    switch (m_pImages->Request(name, image)) {
    case CDescriptionImages::EState::Ready: {
        const int width = AvailableWidth();
        if (image.width() > width)
            image = image.scaledToWidth(width, Qt::SmoothTransformation);
        return QVariant(image);
    }
    case CDescriptionImages::EState::Refused:
        DebugLogF("CDescriptionView::loadResource", "refused picture %s", key.toUtf8().constData());
        [[fallthrough]];
    default:
        return QVariant(AltImage(m_altTexts.value(key)));
    }
}

void CDescriptionView::OnImageArrived(const QUrl& url)
{
    if (m_altTexts.contains(KeyOf(url)))
        m_relayout.start();
}

void CDescriptionView::focusInEvent(QFocusEvent* event)
{
    QTextBrowser::focusInEvent(event);
    emit focusTaken();
}

void CDescriptionView::focusOutEvent(QFocusEvent* event)
{
    QTextBrowser::focusOutEvent(event);
    emit focusLost();
}

void CDescriptionView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        emit arrowKey();
        event->accept();
        return;
    case Qt::Key_Back:
    case Qt::Key_Forward:
    case Qt::Key_HomePage:
        // No navigation of its own.
        event->ignore();
        return;
    default:
        QTextBrowser::keyPressEvent(event);
    }
}

void CDescriptionView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        event->accept();
        return;
    }
    QTextBrowser::keyReleaseEvent(event);
}

void CDescriptionView::resizeEvent(QResizeEvent* event)
{
    QTextBrowser::resizeEvent(event);
    // Pictures are fitted to the width they were laid out for.
    if (!m_altTexts.isEmpty() && AvailableWidth() != m_nRenderedWidth)
        m_relayout.start();
}
