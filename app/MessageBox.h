#pragma once
// The message box of the shell: a text (a string id or text already
// formatted) with a caption from the string table (string 128 "RSS Reader"
// unless another is named) and a style, shown modally; returns the button
// chosen. Texts of 198 characters or more that hold a double quote are
// shortened around their last quote first (ShortenMessageText). The box is
// always brought to the foreground; MB_TOPMOST keeps it above other windows.
//
// Tests answer boxes without showing them: while a CMessageBoxScript exists,
// every box is recorded and answered by it at once, without blocking.

#include <QString>
#include <deque>
#include <memory>
#include <vector>

#include "resources/ResourceIds.h"

class QMessageBox;
class QWidget;

struct CMessageBoxRequest {
    QString text;    // as shown: shortened, with "\n" line breaks
    QString caption;
    UINT style = MB_OK;
};

// Returns IDOK, IDYES or IDNO (IDNO also when a Yes/No box is closed).
int ShowMessageBox(QWidget* parent, const QString& text, UINT style, UINT captionId = IDS_APP_TITLE);
int ShowMessageBox(QWidget* parent, UINT textId, UINT style, UINT captionId = IDS_APP_TITLE);

// The shortening rule: with L the length and Q the index of the last double
// quote, keep the first Q - (L - 197) characters, drop the next L - 198, keep
// the character before the quote and put "..." before the quote: 201
// characters. Texts under 198 characters, without a quote, or whose last
// quote comes too early for the rule (Q < L - 197) are returned unchanged.
QString ShortenMessageText(const QString& text);

// The box a request shows, not yet shown (the screenshots draw it).
std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, const CMessageBoxRequest& request);

class CMessageBoxScript {
public:
    // Boxes are answered with the queued answers in order, then with
    // defaultAnswer (IDOK for an OK box whatever it says).
    explicit CMessageBoxScript(int defaultAnswer = IDYES);
    ~CMessageBoxScript();
    CMessageBoxScript(const CMessageBoxScript&) = delete;
    CMessageBoxScript& operator=(const CMessageBoxScript&) = delete;

    void QueueAnswer(int answer) { m_answers.push_back(answer); }
    const std::vector<CMessageBoxRequest>& Shown() const { return m_shown; }
    // Answers a box; called by ShowMessageBox.
    int Answer(const CMessageBoxRequest& request);

private:
    std::deque<int> m_answers;
    std::vector<CMessageBoxRequest> m_shown;
    int m_nDefault;
    CMessageBoxScript* m_pPrevious;
};
