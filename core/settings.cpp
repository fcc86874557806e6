#include "core/settings.h"

#include "core/builtin_texts.h"

namespace viro {

void Settings::rebuildDerivedTables() {
    sequence = buildMeasuringSequence(orderMode, customOrder);
    factors = buildCorrectionFactors(compensationMode, customFactors);
}

Settings Settings::firstStartDefaults(const QDate& today) {
    Settings s;
    s.analysisOptions = QStringLiteral("011100000000000000000000000000100010201111");
    s.lastCalibrationDate = today.toString(QStringLiteral("yyyy/MM/dd"));
    s.windowTitle = builtin::productTitle();
    s.reportTitle = QStringLiteral("V.I.R.O Analysis Data Report");
    s.organisation = builtin::organisation();
    s.department = QStringLiteral("Medical R&D Center");
    s.flagText = QStringLiteral("11000");
    s.functionButtonVisibility = QStringLiteral("111000");
    for (int i = 0; i < 6; ++i)
        s.functionCaption[i] = QStringLiteral("Fn%1").arg(i + 1);
    // Only the first three buttons come preset; the rest stay empty.
    s.functionHint[0] = QStringLiteral("Tarvel Internet Web Site");
    s.functionHint[1] = QStringLiteral("Start Up MediaPlayer");
    s.functionHint[2] = QStringLiteral("Word Processor");
    s.functionProgram[1] = QStringLiteral("wmplayer.exe");
    s.functionProgram[2] = QStringLiteral("winword.exe");
    s.functionParameter[0] = builtin::webAddress();
    s.rebuildDerivedTables();
    return s;
}

} // namespace viro
