#include "views/DialogMessages.h"

#include <QVariant>

#include "app/MessageBox.h"
#include "views/ResText.h"

namespace {

constexpr UINT kIconMask = 0x00F0;

} // namespace

int ShowViewMessage(QWidget* parent, const CViewMessage& message)
{
    return ShowMessageBox(parent, ToQString(message.Text()), message.style);
}

void ShowViewMessages(QWidget* parent, const std::vector<CViewMessage>& messages, UINT iconOverride)
{
    for (CViewMessage message : messages) {
        if (iconOverride != 0)
            message.style = (message.style & ~kIconMask) | iconOverride;
        ShowViewMessage(parent, message);
    }
}

CDialogMessageWindow::CDialogMessageWindow(QObject* owner, Handler handler)
{
    m_hWnd = CreateMessageWindow([handler = std::move(handler)](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        handler(message, wParam, lParam);
        return LRESULT{0};
    });
    if (owner != nullptr)
        owner->setProperty(kMessageWindowProperty, QVariant::fromValue<quint64>(m_hWnd.id));
}

CDialogMessageWindow::~CDialogMessageWindow() { DestroyWindow(m_hWnd); }
