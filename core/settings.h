#pragma once

#include "analysis/meridian_model.h"

#include <QDate>
#include <QString>

#include <array>

namespace viro {

// The 78 persisted values of the settings file "ZeDefE6c.ini", in line order, plus the tables
// derived from them. Field comments give the file line.
struct Settings {
    int calibrationNormal = 4000;          // 1  raw reading that means 200 µA, normal potential
    int calibrationHigh = 4000;            // 2  same, high potential
    int electrodeCalibrationNormal = 4000; // 3  electrode channel, normal potential
    int electrodeCalibrationHigh = 4000;   // 4  electrode channel, high potential
    QString analysisOptions;               // 5  42 digits (print options)
    double sensitivity = 1.0;              // 6  contact threshold in µA
    QString lastCalibrationDate;           // 7  short date text
    QString windowTitle;                   // 8  main status bar
    QString reportTitle;                   // 9
    QString organisation;                  // 10
    QString department;                    // 11
    QString flagText;                      // 12 five characters, kept for the layout
    bool locatorSound = true;              // 13
    bool locatorKeepHighest = false;       // 14
    int locatorSensitivity = 2;            // 15 µA, 2 to 150
    double locatorHighest = 0;             // 16 µA
    bool locatorHighPotential = false;     // 17
    int guidePictureMode = 1;              // 18 1 picture, 2 outline, 3 combined
    int soundMode = 1;                     // 19 1 standard, 2 single, 0 mute
    int calibrationSoundMode = 1;          // 20
    int spareInteger = 1;                  // 21
    int measurementMethod = 1;             // 22 1 automatic, 0 manual
    int measurementChannel = 0;            // 23 0 C.P.D.M., 1-4 channels
    int measurementProcedure = 0;          // 24 0 default, 1 user defined
    int userMeasuringTime = 2000;          // 25 ms
    int userAveragingWindow = 500;         // 26 ms
    QString functionButtonVisibility;      // 27 six characters, "0" hidden
    std::array<QString, 6> functionCaption;   // 28-33
    std::array<QString, 6> functionHint;      // 34-39
    std::array<QString, 6> functionProgram;   // 40-45
    std::array<QString, 6> functionParameter; // 46-51
    int orderMode = 0;                        // 52 0 natural, 1 paired, other custom
    std::array<int, kMeridianCount> customOrder = kNaturalOrder; // 53-64
    int compensationMode = 0;                                      // 65
    CorrectionFactors customFactors{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}; // 66-77
    int indexDisplayMode = 1;                                      // 78

    // Derived on every load and save; never stored.
    MeasuringSequence sequence = buildMeasuringSequence(0, kNaturalOrder);
    CorrectionFactors factors = kDefaultCorrectionFactors;

    void rebuildDerivedTables();

    // The values a first start writes; `today` fills the calibration date.
    static Settings firstStartDefaults(const QDate& today);
};

inline constexpr int kSettingsLineCount = 78;
inline constexpr const char* kSettingsFileName = "ZeDefE6c.ini";

} // namespace viro
