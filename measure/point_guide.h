#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace viro {

// The family of guide pictures shown for the point being measured (settings line 18).
enum class GuidePictureMode { Picture = 1, Outline = 2, Combined = 3 };

// A stored mode; anything but 2 or 3 is the picture family, so a damaged settings line still
// shows a guide.
GuidePictureMode guidePictureModeFrom(int value);

// What the window shows of a point before it is measured.
struct PointGuide {
    QString pictureFile;   // "PLh1.bmp": family, side, limb, place within the six
    QString location;      // "Left Hand", "Right Hand", "Left Foot", "Right Foot"
    QString meridianName;  // "Lung Meridian of Hand-TaiYin"
    QString pointName;     // "TaiYuan  LU9"
    QString pictureLabel1; // on the picture: the source point
    QString pictureLabel2; // on the picture: the meridian's label, "Lung Meridian(LU)"
};

// The guide of point index 1-24.
PointGuide pointGuide(int point, GuidePictureMode mode);

// The guide picture's file in the data folder's "Data" folder, under its name on this system.
QString guidePicturePath(const QString& dataFolder, const QString& pictureFile);

// Reads a guide picture; names the file and the reason in `error` (and the log) when it is
// missing or unreadable.
std::optional<QImage> loadGuidePicture(const QString& path, QString* error);

} // namespace viro
