#include "CAboutText.h"

#include "CVeskToy.h"

namespace {

QString Line(const QString& name, const QString& version) {
    return QString::asprintf("\r\n   %-16s\t%s", name.toUtf8().constData(),
                             version.toUtf8().constData());
}

QString FileLine(const CVeskToy& toy, const QString& file) {
    return Line(file, toy.GetFileVersion(file, QStringLiteral("FileVersion")));
}

} // namespace

QString CAboutText::VersionList() {
    const CVeskToy toy;
    QString list;
    for (const char* file :
         {"Cantavo", "libCantacore.so", "libCantaskin.so", "libCantakit.so", "libwmaconv.so"}) {
        list += FileLine(toy, QString::fromLatin1(file));
    }
    list += Line(QStringLiteral("VeskSystem"), QStringLiteral("1, 0, 0, 66"));
    list += FileLine(toy, QStringLiteral("libCantawave.so"));
    return list;
}

QString CAboutText::Text() {
    return QStringLiteral("ZQ31 Concertino Version 1.02J\r\n\r\n") +
           QStringLiteral("Copyright (C) Tolvarine. All rights reserved.\r\n"
                          "Built with Qt (LGPL).") +
           VersionList();
}

QString CAboutText::ForTerminal(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}
