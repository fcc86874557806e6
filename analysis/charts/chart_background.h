#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace viro {

// Chart background pictures: Windows bitmaps in the data folder's "Data" folder under their
// lower-case names ("zebkma.msi" ...). The colour of the bottom-left pixel is made transparent,
// as the pictures are drawn over the chart's white.
inline constexpr const char* kTimeCycleBackground = "zebkma.msi";
inline constexpr const char* kQiBloodBackground = "zebkmb.msi";
inline constexpr const char* kYinYangBackground = "zebkmc.msi";
inline constexpr const char* kBodyEnergyBackground = "zebkmg.msi";

// Path of a background picture in a data folder (which ends with a separator).
QString chartBackgroundPath(const QString& dataFolder, const QString& name);

// Loads a picture, or names the file and the reason in `error`. Pictures are kept once read
// and read again when the file changes.
std::optional<QImage> loadChartBackground(const QString& dataFolder, const QString& name,
                                          QString* error);

// The picture with the colour of its bottom-left pixel turned transparent.
QImage withTransparentKey(const QImage& image);

} // namespace viro
