#include "measure/point_guide.h"

#include "analysis/meridian_model.h"
#include "core/data_folder.h"
#include "measure/log.h"

#include <QFileInfo>
#include <QImageReader>

namespace viro {

GuidePictureMode guidePictureModeFrom(int value) {
    switch (value) {
    case 2:
        return GuidePictureMode::Outline;
    case 3:
        return GuidePictureMode::Combined;
    default:
        return GuidePictureMode::Picture;
    }
}

PointGuide pointGuide(int point, GuidePictureMode mode) {
    static const char families[] = {'P', 'G', 'C'};
    const bool left = isLeftPoint(point);
    const bool hand = isHandPoint(point);
    const MeridianInfo& m = meridian(meridianOfPoint(point));

    PointGuide guide;
    guide.pictureFile = QStringLiteral("%1%2%3%4.bmp")
                            .arg(QLatin1Char(families[int(mode) - 1]))
                            .arg(QLatin1Char(left ? 'L' : 'R'))
                            .arg(QLatin1Char(hand ? 'h' : 'f'))
                            .arg((point - 1) % 6 + 1);
    guide.location =
        QStringLiteral("%1 %2").arg(left ? QStringLiteral("Left") : QStringLiteral("Right"),
                                    hand ? QStringLiteral("Hand") : QStringLiteral("Foot"));
    guide.meridianName = m.name + QStringLiteral(" of ") + m.channel;
    guide.pointName = m.sourcePoint;
    guide.pictureLabel1 = m.sourcePoint;
    guide.pictureLabel2 = m.label;
    return guide;
}

QString guidePicturePath(const QString& dataFolder, const QString& pictureFile) {
    QString folder = dataFolder;
    if (!folder.isEmpty() && !folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    // The folder keeps its capital on every system; the files are lower case where names are
    // case-sensitive.
    return folder + QStringLiteral("Data/") + dataFileName(pictureFile);
}

std::optional<QImage> loadGuidePicture(const QString& path, QString* error) {
    const auto fail = [&](const QString& message) -> std::optional<QImage> {
        qCWarning(lcMeasure).noquote() << message;
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("Cannot find the guide picture %1").arg(path));
    QImageReader reader(path, "BMP");
    QImage image = reader.read();
    if (image.isNull())
        return fail(
            QStringLiteral("Cannot read the guide picture %1: %2").arg(path, reader.errorString()));
    return image;
}

} // namespace viro
