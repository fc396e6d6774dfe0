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

QString CAboutText::LegalNotices() {
    return QStringLiteral(
        "Copyright (C) Tolvarine. All rights reserved.\r\n"
        "\r\n"
        "This program uses the following libraries under the GNU Lesser General Public "
        "License (LGPL). Each is linked dynamically and may be replaced with a compatible "
        "version of your own; their source code is available from their projects and from "
        "your distribution (for Debian: apt-get source <package>).\r\n"
        "\r\n"
        "Qt 6 - Copyright (C) The Qt Company Ltd. and other contributors. "
        "Licensed under the GNU Lesser General Public License version 3 (LGPL-3.0). "
        "https://www.qt.io/licensing/\r\n"
        "\r\n"
        "FFmpeg (libavformat, libavcodec, libswresample, libavutil) - Copyright (C) the "
        "FFmpeg developers. Licensed under the GNU Lesser General Public License version 2.1 "
        "or later. https://ffmpeg.org/legal.html\r\n"
        "\r\n"
        "LAME (libmp3lame) - Copyright (C) the LAME project. Licensed under the GNU Lesser "
        "General Public License version 2 or later. https://lame.sourceforge.io/\r\n"
        "\r\n"
        "mpg123 (libmpg123) - Copyright (C) the mpg123 project. Licensed under the GNU Lesser "
        "General Public License version 2.1. https://www.mpg123.de/\r\n"
        "\r\n"
        "ALSA library (libasound) - Copyright (C) the ALSA project. Licensed under the GNU "
        "Lesser General Public License version 2.1 or later. https://www.alsa-project.org/\r\n"
        "\r\n"
        "FluidSynth (libfluidsynth) - Copyright (C) the FluidSynth developers. Licensed "
        "under the GNU Lesser General Public License version 2.1 or later. "
        "https://www.fluidsynth.org/\r\n"
        "\r\n"
        "The libraries are distributed WITHOUT ANY WARRANTY; without even the implied "
        "warranty of MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE. See the GNU Lesser "
        "General Public License for more details (/usr/share/common-licenses/LGPL-2.1, "
        "LGPL-3 on Debian).\r\n"
        "\r\n"
        "The IPA Gothic font is used under the IPA Font License Agreement v1.0.\r\n");
}

QString CAboutText::Text() {
    return QStringLiteral("ZQ31 Concertino") + QStringLiteral(" ") +
           QStringLiteral("Version 1.02J") + QStringLiteral("\r\n\r\n") + LegalNotices() +
           VersionList();
}

QString CAboutText::ForTerminal(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}
