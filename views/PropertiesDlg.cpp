#include "views/PropertiesDlg.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include "views/DialogControls.h"
#include "views/DialogFonts.h"
#include "views/MarkupLabel.h"
#include "views/ResText.h"

CPropertiesDlg::CPropertiesDlg(QWidget* host, const std::vector<CPropertyRow>& rows)
    : CFullScreenDialog(host, IDD_PROPERTIES), m_rows(rows)
{
    m_pScroll = new QScrollArea(Client());
    m_pScroll->setFrameShape(QFrame::NoFrame);
    m_pScroll->setWidgetResizable(true);
    m_pScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ClientLayout()->addWidget(m_pScroll, 1);
}

bool CPropertiesDlg::OnInitDialog()
{
    auto* rows = new QWidget;
    auto* layout = new QVBoxLayout(rows);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    int id = IDC_PROPERTY_FIRST;
    for (const CPropertyRow& row : m_rows) {
        auto* label = new CMarkupLabel(QStringLiteral("<B><Font size=10>") + ResString(row.labelId) +
                                       QStringLiteral("</font></B>"));
        SetControlFont(label, 10, false);
        SetControlId(label, id++);
        auto* value = new CMarkupLabel(ToQString(row.value));
        value->SetPlainText(true);
        SetControlFont(value, 10, false);
        SetControlId(value, id++);
        layout->addWidget(label);
        layout->addWidget(value);
        layout->addSpacing(4);
    }
    layout->addStretch(1);
    m_pScroll->setWidget(rows);
    return true;
}
