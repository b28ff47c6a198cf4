#include "app/drive_label.h"

#include "app/texts.h"

#include <QFile>
#include <QFileInfo>

namespace salvex::app {

QString sysfs_model(const QString& devicePath) {
    if (!devicePath.startsWith(QLatin1String("/dev/")))
        return {};
    QFile model(QStringLiteral("/sys/block/%1/device/model").arg(QFileInfo(devicePath).fileName()));
    if (!model.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(model.read(256)).simplified();
}

QString short_size(uint64_t bytes) {
    static const char* const units[] = {
        QT_TRANSLATE_NOOP("Salvex", "bytes"), QT_TRANSLATE_NOOP("Salvex", "KB"),
        QT_TRANSLATE_NOOP("Salvex", "MB"),    QT_TRANSLATE_NOOP("Salvex", "GB"),
        QT_TRANSLATE_NOOP("Salvex", "TB"),    QT_TRANSLATE_NOOP("Salvex", "PB")};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    if (unit == 0)
        return QCoreApplication::translate("Salvex", "%1 bytes").arg(bytes);
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(translated(units[unit]));
}

QString drive_label(size_t index, const DriveInfo& drive) {
    const QString path = QString::fromStdString(drive.path);
    QString what = QString::fromStdString(drive.name);
    if (QFileInfo(path).isFile()) {
        what = QFileInfo(path).fileName(); // an image: its file name
    } else if (const QString model = sysfs_model(path); !model.isEmpty()) {
        what = model; // a USB disk gives its model too
    }
    QString label = QCoreApplication::translate("Salvex", "Storage Device%1").arg(index);
    if (!what.isEmpty())
        label += QStringLiteral(" - ") + what;
    if (drive.hasMedium && drive.totalSectors > 0)
        label += QStringLiteral(" (%1)").arg(short_size(drive.totalSectors * 512));
    return label;
}

} // namespace salvex::app
