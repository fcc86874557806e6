#include "analysis/report/topic_texts.h"

#include "analysis/meridian_model.h"

#include <QStringList>

namespace viro {

namespace {

// A stored text may hold several lines; the boxes take them one per line.
QString lines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QString joined(const QStringList& parts) {
    return parts.join(QLatin1Char('\n'));
}

bool isMeridianTopic(int key) {
    return key >= 1 && key <= kMeridianCount;
}

} // namespace

QString lowBodyEnergyWarning() {
    return QStringLiteral(
        "Due to low body energy, beware of possible complications in body functions and "
        "meridians.");
}

int stateTopicClass(const AnalysisResult& r, int key) {
    switch (key) {
    case kBodyEnergyTopic:
        return r.BodyEnergyClass;
    case kMentalStressTopic:
        return r.UpDownClass;
    case kMusculoskeletalTopic:
        return r.LeftRightClass;
    case kMetabolismTopic:
        return r.YinYangClass;
    case kAutonomicTopic:
        return r.AnsClass;
    default:
        return 0;
    }
}

bool meridianExcess(const AnalysisResult& r, int m) {
    return isMeridianTopic(m) && r.PointClass[size_t(leftPointOf(m) - 1)] > 0 &&
           r.PointClass[size_t(rightPointOf(m) - 1)] > 0;
}

bool meridianDeficient(const AnalysisResult& r, int m) {
    return isMeridianTopic(m) && r.PointClass[size_t(leftPointOf(m) - 1)] < 0 &&
           r.PointClass[size_t(rightPointOf(m) - 1)] < 0;
}

TopicBoxes analysisPageTexts(const Topic& topic, const ReferenceEntry& e, const AnalysisResult& r) {
    TopicBoxes boxes;
    QStringList first;
    if (!isMeridianTopic(topic.code)) {
        first << lines(e.DtMA[0]);
        const int cls = stateTopicClass(r, topic.code);
        if (cls == 0) {
            first << QString() << lines(e.DtMA[1]);
        } else if (cls > 0) {
            first << QString() << lines(e.DtMH[0]);
        } else {
            first << QString() << lines(e.DtML[0]);
            if (topic.code == kBodyEnergyTopic && cls == -3)
                first << QString() << lowBodyEnergyWarning();
        }
        boxes.detailed = joined(first);
        return boxes;
    }
    first << topic.text << QString() << lines(e.DtMA[1]) << QString() << lines(e.DtMA[0])
          << QString();
    if (meridianExcess(r, topic.code)) {
        first << lines(e.DtMH[0]);
        boxes.ryodoraku = lines(e.DtMH[4]);
    } else if (meridianDeficient(r, topic.code)) {
        first << lines(e.DtML[0]);
        boxes.ryodoraku = lines(e.DtML[4]);
    }
    boxes.detailed = joined(first);
    return boxes;
}

QString protocolPageText(const Topic& topic, const ReferenceEntry& e, const AnalysisResult& r) {
    if (meridianExcess(r, topic.code))
        return joined({lines(e.DtMH[2]), QString(), lines(e.DtMH[1])});
    if (meridianDeficient(r, topic.code))
        return joined({lines(e.DtML[2]), QString(), lines(e.DtML[1])});
    return QString();
}

QString dietaryPageText(const Topic& topic, const ReferenceEntry& e, const AnalysisResult& r) {
    QStringList text{lines(e.DtMA[2]), QString()};
    if (meridianExcess(r, topic.code))
        text << lines(e.DtMH[3]);
    else if (meridianDeficient(r, topic.code))
        text << lines(e.DtML[3]);
    return joined(text);
}

} // namespace viro
