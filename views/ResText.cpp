#include "views/ResText.h"

QString ToQString(const std::wstring& text)
{
    QString out = QString::fromStdWString(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

std::wstring ToWide(const QString& text) { return text.toStdWString(); }

QString ResString(UINT id) { return ToQString(LoadResString(id)); }
