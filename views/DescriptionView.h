#pragma once
// The description pane of the item lists, and the text of the About view:
// a read-only HTML view (control id 1111) with no navigation of its own.
//
// A page's document is its description exactly as stored between a fixed
// head and tail (PageDocument). Descriptions come from feeds and are not
// trusted: the pane never runs script, never reads a local file, and never
// makes a request on its own. loadResource yields nothing for any resource
// but http and https pictures, which come through CDescriptionImages off
// the GUI thread; until one arrives (or when it fails) its alt text shows,
// and the pane lays itself out again when it comes. A tapped link is only
// reported (linkTapped); the owner decides what becomes of it.
//
// The background tells where the keyboard focus is: the owner applies the
// light-blue style sheet when the pane takes the focus and the grey one when
// it loses it (SetFocusStyle). Left and Right are reported (arrowKey) for
// the owner to move the focus; other keys scroll.

#include <QHash>
#include <QTextBrowser>
#include <QTimer>

#include "views/DescriptionViewImages.h"

class CDescriptionView : public QTextBrowser {
    Q_OBJECT
public:
    explicit CDescriptionView(QWidget* parent = nullptr);

    // "<html><body bgcolor='#DCDCDC '>" + description + "</body></html>".
    static QString PageDocument(const QString& description);
    // The grey document of no selected row.
    static QString EmptyDocument();
    static const QColor& GreyColour();
    static const QColor& FocusColour();

    // Replaces the document.
    void ShowHtml(const QString& html);
    const QString& Html() const { return m_strHtml; }
    // How often a document was put in (ShowHtml), for tests of reloading.
    int DocumentCount() const { return m_nDocuments; }

    // Adds the focus (light blue) or the grey style sheet.
    void SetFocusStyle(bool focused);
    bool HasFocusStyle() const { return m_bFocusStyle; }
    // Stops loading pictures (the owner closes).
    void Stop();

    CDescriptionImages& Images() { return *m_pImages; }

    QVariant loadResource(int type, const QUrl& name) override;

signals:
    void linkTapped(const QUrl& target);
    void focusTaken();
    void focusLost();
    // Left or Right arrow pressed in the pane.
    void arrowKey();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Render();
    void CollectImages(const QString& html);
    QImage AltImage(const QString& alt);
    int AvailableWidth() const;
    void OnImageArrived(const QUrl& url);

    CDescriptionImages* m_pImages;
    QString m_strHtml;
    QHash<QString, QString> m_altTexts; // the document's picture sources and their alt texts
    QHash<QString, QImage> m_altImages;
    QTimer m_relayout;
    bool m_bFocusStyle = false;
    bool m_bStyled = false; // a focus style sheet is in use (the item lists' pane)
    int m_nDocuments = 0;
    int m_nRenderedWidth = 0;
};
