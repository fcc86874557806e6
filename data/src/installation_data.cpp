#include "data/src/installation_data.h"

#include "core/data_folder.h"
#include "data/src/database_writer.h"
#include "data/src/pictures.h"
#include "data/src/reference_texts.h"
#include "data/src/standard_protocols.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QSaveFile>

#include <vector>

namespace viro {

QString referenceDatabaseName() {
    return dataFileName(QStringLiteral("viroE.mdb"));
}
QString protocolDatabaseName() {
    return dataFileName(QStringLiteral("viroZE.mdb"));
}
QString templateDatabaseName() {
    return dataFileName(QStringLiteral("ZeSpa_60.mdb"));
}
QString pictureFolderName() {
    return QStringLiteral("Data");
}

QStringList installationFileNames() {
    QStringList names{referenceDatabaseName(), protocolDatabaseName(), templateDatabaseName()};
    for (int i = 0; i < kGuideCount; ++i)
        names << pictureFolderName() + QLatin1Char('/') + dataFileName(guideFileName(guideAt(i)));
    for (int i = 0; i < kBackgroundCount; ++i)
        names << pictureFolderName() + QLatin1Char('/') + dataFileName(backgroundFileName(i));
    return names;
}

namespace {

bool saveImage(const QImage& image, const QString& path, const char* format, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, format) || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

bool buildInstallationData(const QString& sourceFolder, const QString& outputFolder,
                           QString* error) {
    SourceError sourceError;
    std::vector<ReferenceEntry> entries;
    if (!loadReferenceEntries(sourceFolder + QStringLiteral("/texts"), &entries, &sourceError)) {
        if (error)
            *error = sourceError.toString();
        return false;
    }
    std::vector<StandardProtocol> protocols;
    if (!loadStandardProtocols(sourceFolder + QStringLiteral("/protocols.txt"), entries, &protocols,
                               &sourceError)) {
        if (error)
            *error = sourceError.toString();
        return false;
    }

    const QDir out(outputFolder);
    if (!out.mkpath(pictureFolderName())) {
        if (error)
            *error = QStringLiteral("cannot create ") + out.filePath(pictureFolderName());
        return false;
    }
    const QString pictures = out.filePath(pictureFolderName()) + QLatin1Char('/');
    for (int i = 0; i < kGuideCount; ++i) {
        const GuideId id = guideAt(i);
        if (!saveImage(drawPointGuide(id), pictures + dataFileName(guideFileName(id)), "BMP",
                       error))
            return false;
    }
    // Windows bitmaps under the name the charts look for.
    for (int i = 0; i < kBackgroundCount; ++i)
        if (!saveImage(drawBackground(i), pictures + dataFileName(backgroundFileName(i)), "BMP",
                       error))
            return false;

    std::vector<QByteArray> charts;
    for (int m = kFirstMeridianKey; m <= kLastMeridianKey; ++m) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!drawMeridianChart(m).save(&buffer, "PNG")) {
            if (error)
                *error = QStringLiteral("cannot encode the chart of meridian %1").arg(m);
            return false;
        }
        charts.push_back(png);
    }
    return writeReferenceDatabase(out.filePath(referenceDatabaseName()), entries, charts, error) &&
           writeProtocolDatabase(out.filePath(protocolDatabaseName()), protocols, error) &&
           writeTemplateDatabase(out.filePath(templateDatabaseName()), error);
}

} // namespace viro
