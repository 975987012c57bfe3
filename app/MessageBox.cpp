#include "app/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "views/ResText.h"

namespace {

CMessageBoxScript* g_pScript = nullptr;

constexpr UINT kIconMask = 0x00F0;
constexpr UINT kTypeMask = 0x000F;

QMessageBox::Icon IconOf(UINT style)
{
    switch (style & kIconMask) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

QString ShortenMessageText(const QString& text)
{
    const qsizetype length = text.size();
    const qsizetype quote = text.lastIndexOf(QLatin1Char('"'));
    if (length < 198 || quote < 0 || quote < length - 197)
        return text;
    const qsizetype kept = quote - (length - 197);
    return text.left(kept) + text.at(quote - 1) + QStringLiteral("...") + text.mid(quote);
}

std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, const CMessageBoxRequest& request)
{
    auto box = std::make_unique<QMessageBox>(IconOf(request.style), request.caption, request.text,
                                             QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    if ((request.style & kTypeMask) == MB_YESNO) {
        box->addButton(ResString(IDS_BUTTON_YES), QMessageBox::YesRole)->setObjectName(QStringLiteral("yes"));
        QPushButton* no = box->addButton(ResString(IDS_BUTTON_NO), QMessageBox::NoRole);
        no->setObjectName(QStringLiteral("no"));
        box->setEscapeButton(no);
    } else {
        QPushButton* ok = box->addButton(ResString(IDS_BUTTON_OK), QMessageBox::AcceptRole);
        ok->setObjectName(QStringLiteral("ok"));
        box->setEscapeButton(ok);
    }
    if ((request.style & MB_TOPMOST) != 0)
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
    return box;
}

int ShowMessageBox(QWidget* parent, const QString& text, UINT style, UINT captionId)
{
    // The input panel would be lowered here; there is none to lower.
    CMessageBoxRequest request{ShortenMessageText(text), ResString(captionId), style | MB_SETFOREGROUND};
    request.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (g_pScript != nullptr)
        return g_pScript->Answer(request);

    const std::unique_ptr<QMessageBox> box = CreateMessageBox(parent, request);
    box->show();
    box->raise();
    box->activateWindow();
    box->exec();
    if ((style & kTypeMask) != MB_YESNO)
        return IDOK;
    const QAbstractButton* clicked = box->clickedButton();
    return clicked != nullptr && clicked->objectName() == QLatin1String("yes") ? IDYES : IDNO;
}

int ShowMessageBox(QWidget* parent, UINT textId, UINT style, UINT captionId)
{
    // The raw text, "\r\n" and all, is what the shortening rule counts.
    return ShowMessageBox(parent, QString::fromStdWString(LoadResString(textId)), style, captionId);
}

CMessageBoxScript::CMessageBoxScript(int defaultAnswer) : m_nDefault(defaultAnswer), m_pPrevious(g_pScript)
{
    g_pScript = this;
}

CMessageBoxScript::~CMessageBoxScript() { g_pScript = m_pPrevious; }

int CMessageBoxScript::Answer(const CMessageBoxRequest& request)
{
    m_shown.push_back(request);
    int answer = m_nDefault;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    if ((request.style & kTypeMask) != MB_YESNO)
        return IDOK;
    return answer == IDYES ? IDYES : IDNO;
}
