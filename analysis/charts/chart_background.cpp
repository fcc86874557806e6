#include "analysis/charts/chart_background.h"

#include "analysis/charts/log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QImageReader>

namespace viro {

namespace {

struct CachedPicture {
    QDateTime modified;
    qint64 size = -1;
    QImage image;
};

QHash<QString, CachedPicture>& pictureCache() {
    static QHash<QString, CachedPicture> cache;
    return cache;
}

// Charts may be drawn off the GUI thread (printing, rendering to images); the cache is shared.
QMutex& cacheMutex() {
    static QMutex mutex;
    return mutex;
}

} // namespace

QString chartBackgroundPath(const QString& dataFolder, const QString& name) {
    QString folder = dataFolder;
    if (!folder.isEmpty() && !folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    return folder + QStringLiteral("Data/") + name.toLower();
}

QImage withTransparentKey(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    if (out.isNull())
        return out;
    const QRgb key = out.pixel(0, out.height() - 1) | 0xff000000u;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] | 0xff000000u) == key)
                line[x] = 0;
    }
    return out;
}

std::optional<QImage> loadChartBackground(const QString& dataFolder, const QString& name,
                                          QString* error) {
    const QString path = chartBackgroundPath(dataFolder, name);
    const QFileInfo info(path);
    const QMutexLocker lock(&cacheMutex());
    if (!info.isFile()) {
        pictureCache().remove(path);
        const QString message = QStringLiteral("Cannot find the chart picture %1").arg(path);
        qCWarning(lcCharts).noquote() << message;
        if (error)
            *error = message;
        return std::nullopt;
    }
    auto found = pictureCache().constFind(path);
    if (found != pictureCache().constEnd() && found->modified == info.lastModified() &&
        found->size == info.size())
        return found->image;

    // The pictures are bitmaps whatever their file extension says.
    QImageReader reader(path, "BMP");
    const QImage image = reader.read();
    if (image.isNull()) {
        pictureCache().remove(path);
        const QString message =
            QStringLiteral("Cannot read the chart picture %1: %2").arg(path, reader.errorString());
        qCWarning(lcCharts).noquote() << message;
        if (error)
            *error = message;
        return std::nullopt;
    }
    CachedPicture entry{info.lastModified(), info.size(), withTransparentKey(image)};
    pictureCache().insert(path, entry);
    return entry.image;
}

} // namespace viro
