#include "views/AboutDlg.h"

#include <QLabel>
#include <QVBoxLayout>

#include "views/DescriptionView.h"
#include "views/ResText.h"

#ifndef RSSREADER_PRODUCT_VERSION
#define RSSREADER_PRODUCT_VERSION "0,0,0,0"
#endif

namespace {

// The pane starts this far below the top of the dialog's client area.
constexpr int kPaneTop = 85;

const QString kAboutTable = QStringLiteral(
    "<TABLE WIDTH='100%'>\t\t\t\t\t"
    "<TR><TD ALIGN=CENTER><font size='3'><b>%1</b></font></TD></TR>\t\t\t\t\t"
    "<TR><TD ALIGN=CENTER><font size='3'><b>%2</b></font></TD></TR>\t\t\t\t\t"
    "<TR><TD ALIGN=CENTER><font size='3'>%3</font></TD></TR>\t\t\t\t\t"
    "<TR><TD ALIGN=CENTER><font size='3'>%4</font></TD></TR>\t\t\t\t\t"
    "</TABLE>");

} // namespace

CVersionInfo ProgramVersionInfo()
{
    return {QStringLiteral(RSSREADER_PRODUCT_VERSION), ResString(IDS_COMPANY_NAME), ResString(IDS_LEGAL_NOTICE)};
}

CAboutDlg::CAboutDlg(QWidget* host) : CFullScreenDialog(host, IDD_ABOUT) {}

QString CAboutDlg::AboutDocument(const CVersionInfo& version)
{
    QString number = version.productVersion;
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    // Each value goes in whole: arg() with several arguments does not scan
    // what it substitutes for further markers.
    return kAboutTable.arg(ResString(IDS_APP_TITLE).toHtmlEscaped(), ResFormat(IDS_VERSION, ToWide(number).c_str()).toHtmlEscaped(),
                           version.companyName.toHtmlEscaped(), version.legalCopyright.toHtmlEscaped());
}

bool CAboutDlg::OnInitDialog()
{
    ClientLayout()->setContentsMargins(0, 0, 0, 0);
    ClientLayout()->setSpacing(0);
    if (auto* logo = Controls().Get<QLabel>(IDC_ABOUT_LOGO)) {
        logo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        logo->setFixedHeight(kPaneTop);
    }
    m_pPane = new CDescriptionView(Client());
    m_pPane->setFrameShape(QFrame::NoFrame);
    ClientLayout()->addWidget(m_pPane, 1);
    m_pPane->ShowHtml(AboutDocument(ProgramVersionInfo()));
    return true;
}
