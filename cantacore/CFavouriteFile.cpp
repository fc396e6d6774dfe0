#include "CFavouriteFile.h"

#include "CFusion.h"
#include "CLast.h"
#include "CManage.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CVeskToy.h"
#include "VESK_DATA.h"

#include <QFile>
#include <QSaveFile>

const QString CFavouriteFile::kLastExit = QStringLiteral("loadSetting");
const QString CFavouriteFile::kFavourite1 = QStringLiteral("setting_1");
const QString CFavouriteFile::kFavourite2 = QStringLiteral("setting_2");
const QString CFavouriteFile::kFavourite3 = QStringLiteral("setting_3");

namespace {

void Report(bool report, const char* text) {
    if (report) {
        CLast::Fusion().ShowMessage(QString::fromUtf8(text), MB_OK, QStringLiteral("メッセージ"));
    }
}

} // namespace

QString CFavouriteFile::Path(const QString& name) {
    return CVeskToy().GenuineFile(name + QStringLiteral(".mdf"));
}

bool CFavouriteFile::Read(const QString& name, VESK_DATA& data) {
    QFile file(Path(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Only the record's size is read, however long the file.
    const QByteArray image = file.read(VESK_DATA::kSize);
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    data = VESK_DATA::FromBytes(image);
    return true;
}

bool CFavouriteFile::Load(CManage& manage, const QString& name, bool report) {
    const CScorp scope("CFavouriteFile", "Load", CLast::Trace());
    VESK_DATA data;
    if (!Read(name, data)) {
        Report(report, "予期せぬエラーが発生しました。(23)");
        return false;
    }
    manage.LoadVeskFile(&data);
    return true;
}

bool CFavouriteFile::Save(CManage& manage, const QString& name, bool report) {
    const CScorp scope("CFavouriteFile", "Save", CLast::Trace());
    VESK_DATA data;
    manage.SaveVeskFile(&data);
    const QByteArray image = data.ToBytes();
    QSaveFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit()) {
        Report(report, "予期せぬエラーが発生しました。(22)");
        return false;
    }
    return true;
}

bool CFavouriteFile::Exists(const QString& name) {
    QFile file(Path(name));
    return file.open(QIODevice::ReadOnly);
}
