#include "data/src/standard_protocols.h"

#include "analysis/meridian_model.h"
#include "records/schema.h"

#include <QRegularExpression>

#include <utility>

namespace viro {

const QStringList& adviceColumns() {
    static const QStringList columns{QStringLiteral("ProMed1"), QStringLiteral("ProMed2"),
                                     QStringLiteral("ProMed3"), QStringLiteral("ProHel1"),
                                     QStringLiteral("ProHel2"), QStringLiteral("ProHel3"),
                                     QStringLiteral("ProHel4"), QStringLiteral("ProHel5")};
    return columns;
}

const QStringList& adviceSourceNames() {
    static const QStringList names{QStringLiteral("acupuncture"),       QStringLiteral("herbs"),
                                   QStringLiteral("acupressure"),       QStringLiteral("nutrition"),
                                   QStringLiteral("contraindications"), QStringLiteral("soup"),
                                   QStringLiteral("herb-tea"),          QStringLiteral("massage")};
    return names;
}

const QStringList& conditionPositionNames() {
    static const QStringList names{
        QStringLiteral("energy"), QStringLiteral("updown"), QStringLiteral("leftright"),
        QStringLiteral("yinyang"), QStringLiteral("ans"),
        // Meridians in the order of the condition positions: pairs of partners.
        QStringLiteral("LU"), QStringLiteral("LI"), QStringLiteral("PC"), QStringLiteral("TE"),
        QStringLiteral("HT"), QStringLiteral("SI"), QStringLiteral("SP"), QStringLiteral("ST"),
        QStringLiteral("LR"), QStringLiteral("GB"), QStringLiteral("KI"), QStringLiteral("BL"),
        QStringLiteral("wood"), QStringLiteral("fire"), QStringLiteral("earth"),
        QStringLiteral("metal"), QStringLiteral("water"), QStringLiteral("age"),
        QStringLiteral("sex")};
    return names;
}

namespace {

constexpr int kAgePosition = 23;
constexpr int kSexPosition = 24;

using Labels = std::vector<std::pair<const char*, int>>;

// The labels a position accepts and their codes.
const Labels& labelsOf(int position) {
    static const Labels energy{{"normal", 0}, {"weak", 1},  {"strong", 2}, {"either", 3},
                               {"equal", 4},  {"above", 5}, {"below", 6}};
    static const Labels upDown{{"normal", 0}, {"fragile", 1}, {"strong", 2}, {"either", 3}};
    static const Labels atypical{{"normal", 0}, {"atypical", 1}};
    // "low": Yin above Yang; "high": Yang above Yin.
    static const Labels yinYang{{"normal", 0}, {"low", 1}, {"high", 2}, {"either", 3}};
    static const Labels hypoHyper{{"normal", 0}, {"hypo", 1}, {"hyper", 2}, {"either", 3}};
    static const Labels age{{"from", 1}, {"to", 2}, {"between", 3}};
    static const Labels sex{{"male", 1}, {"female", 2}};
    switch (position) {
    case 1:
        return energy;
    case 2:
        return upDown;
    case 3:
    case 5:
        return atypical;
    case 4:
        return yinYang;
    case kAgePosition:
        return age;
    case kSexPosition:
        return sex;
    default:
        return hypoHyper;
    }
}

int columnWidth(const TableDef& table, const char* field) {
    const FieldDef* f = table.field(QString::fromLatin1(field));
    return f ? f->width : 0;
}

bool tooLong(const QString& value, int width) {
    return width > 0 && value.size() > width;
}

} // namespace

bool encodeConditionWords(const QString& words, QString* required, QString* codes,
                          QString* message) {
    QString req(kConditionPositions, QLatin1Char('0'));
    QString cod(kConditionPositions, QLatin1Char('0'));
    std::array<bool, kConditionPositions> seen{};
    static const QRegularExpression wordForm(QStringLiteral("^([A-Za-z]+)=([a-z]+)(!?)$"));
    const QStringList list = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (list.isEmpty()) {
        *message = QStringLiteral("no condition words");
        return false;
    }
    for (const QString& word : list) {
        const QRegularExpressionMatch m = wordForm.match(word);
        if (!m.hasMatch()) {
            *message = QStringLiteral("\"%1\" is not position=label").arg(word);
            return false;
        }
        const qsizetype index = conditionPositionNames().indexOf(m.captured(1));
        if (index < 0) {
            *message = QStringLiteral("unknown position \"%1\"").arg(m.captured(1));
            return false;
        }
        const int position = int(index) + 1;
        if (seen[index]) {
            *message = QStringLiteral("position \"%1\" given twice").arg(m.captured(1));
            return false;
        }
        seen[index] = true;
        int code = -1;
        for (const auto& [label, value] : labelsOf(position))
            if (m.captured(2) == QLatin1String(label))
                code = value;
        if (code < 0) {
            *message =
                QStringLiteral("\"%1\" is not a label of \"%2\"").arg(m.captured(2), m.captured(1));
            return false;
        }
        const bool isRequired = !m.captured(3).isEmpty();
        if (isRequired && position >= kAgePosition) {
            *message = QStringLiteral("\"!\" has no effect on \"%1\"").arg(m.captured(1));
            return false;
        }
        if (code == 0 && !isRequired) {
            *message = QStringLiteral("\"%1=normal\" only counts when required: add \"!\"")
                           .arg(m.captured(1));
            return false;
        }
        cod[index] = QChar(u'0' + code);
        req[index] = isRequired ? QLatin1Char('1') : QLatin1Char('0');
    }
    *required = req;
    *codes = cod;
    return true;
}

namespace {

struct Reader {
    const QString& file;
    SourceError* error;

    bool fail(int line, const QString& message) {
        if (error)
            *error = {file, line, message};
        return false;
    }

    // "A-B", either side may be empty: "60-" or "-12".
    bool readAge(const SourceField& f, StandardCondition* c) {
        static const QRegularExpression form(QStringLiteral("^(\\d*)-(\\d*)$"));
        const QRegularExpressionMatch m = form.match(f.value);
        if (!m.hasMatch() || (m.captured(1).isEmpty() && m.captured(2).isEmpty()))
            return fail(f.line, QStringLiteral("age must be FROM-TO, either side may be empty"));
        c->ageLow = m.captured(1).toInt();
        c->ageHigh = m.captured(2).toInt();
        return true;
    }

    // Codes that read an extra value need it, and a value nobody reads is a slip.
    bool checkCondition(const StandardCondition& c, bool hasEnergy, bool hasAge) {
        const int energyCode = c.codes.at(0).digitValue();
        const bool needsEnergy = energyCode >= 4;
        if (needsEnergy != hasEnergy)
            return fail(c.line, needsEnergy
                                    ? QStringLiteral("energy=equal/above/below needs \"energy:\"")
                                    : QStringLiteral("\"energy:\" is given but not used"));
        const int ageCode = c.codes.at(kAgePosition - 1).digitValue();
        if ((ageCode != 0) != hasAge)
            return fail(c.line, ageCode ? QStringLiteral("an age condition needs \"age:\"")
                                        : QStringLiteral("\"age:\" is given but not used"));
        if ((ageCode == 1 || ageCode == 3) && c.ageLow <= 0)
            return fail(c.line, QStringLiteral("the age condition needs a lower bound"));
        if ((ageCode == 2 || ageCode == 3) && c.ageHigh <= 0)
            return fail(c.line, QStringLiteral("the age condition needs an upper bound"));
        if (ageCode == 3 && c.ageLow > c.ageHigh)
            return fail(c.line, QStringLiteral("the lower age bound exceeds the upper one"));
        return true;
    }
};

} // namespace

bool readStandardProtocols(const std::vector<SourceField>& fields, const QString& file,
                           std::vector<StandardProtocol>* protocols, SourceError* error) {
    Reader r{file, error};
    const TableDef& pro = zeProTable(true);
    const TableDef& prDt = zePrDtTable();
    std::vector<StandardProtocol> out;

    // Which protocol fields have been seen (index 0 name, 1 text, 2.. advice).
    std::vector<bool> seen;
    bool hasEnergy = false;
    bool hasAge = false;
    bool conditionHasWhen = false;
    auto closeCondition = [&]() {
        if (out.empty() || out.back().conditions.empty())
            return true;
        const StandardCondition& c = out.back().conditions.back();
        if (!conditionHasWhen)
            return r.fail(c.line, QStringLiteral("condition without \"when:\""));
        if (c.note.isEmpty())
            return r.fail(c.line, QStringLiteral("condition without \"note:\""));
        return r.checkCondition(c, hasEnergy, hasAge);
    };
    auto closeProtocol = [&]() {
        if (out.empty())
            return true;
        if (!closeCondition())
            return false;
        const StandardProtocol& p = out.back();
        static const QStringList names =
            QStringList{QStringLiteral("name"), QStringLiteral("text")} + adviceSourceNames();
        for (int i = 0; i < names.size(); ++i)
            if (!seen[i])
                return r.fail(
                    p.line,
                    QStringLiteral("protocol %1 has no \"%2:\"").arg(p.number, names.at(i)));
        if (p.conditions.empty())
            return r.fail(p.line, QStringLiteral("protocol %1 has no condition").arg(p.number));
        return true;
    };

    for (const SourceField& f : fields) {
        if (f.name == QLatin1String("protocol")) {
            if (!closeProtocol())
                return false;
            if (f.value.isEmpty() || tooLong(f.value, columnWidth(pro, "ProNo")))
                return r.fail(f.line, QStringLiteral("protocol number must be 1 to %1 characters")
                                          .arg(columnWidth(pro, "ProNo")));
            for (const StandardProtocol& p : out)
                if (p.number.compare(f.value, Qt::CaseInsensitive) == 0)
                    return r.fail(f.line,
                                  QStringLiteral("protocol number %1 is used twice").arg(f.value));
            StandardProtocol p;
            p.number = f.value;
            p.file = file;
            p.line = f.line;
            out.push_back(p);
            seen.assign(2 + kAdviceTexts, false);
            continue;
        }
        if (out.empty())
            return r.fail(f.line,
                          QStringLiteral("\"%1:\" before the first \"protocol:\"").arg(f.name));
        StandardProtocol& p = out.back();

        if (f.name == QLatin1String("condition")) {
            if (!closeCondition())
                return false;
            if (f.value.isEmpty() || tooLong(f.value, columnWidth(prDt, "ProSubN")))
                return r.fail(f.line, QStringLiteral("condition name must be 1 to %1 characters")
                                          .arg(columnWidth(prDt, "ProSubN")));
            StandardCondition c;
            c.subName = f.value;
            c.line = f.line;
            c.required = QString(kConditionPositions, QLatin1Char('0'));
            c.codes = QString(kConditionPositions, QLatin1Char('0'));
            p.conditions.push_back(c);
            hasEnergy = hasAge = conditionHasWhen = false;
            continue;
        }

        if (!p.conditions.empty()) {
            StandardCondition& c = p.conditions.back();
            if (f.name == QLatin1String("note")) {
                if (!c.note.isEmpty())
                    return r.fail(f.line, QStringLiteral("\"note:\" given twice"));
                if (f.value.isEmpty() || tooLong(f.value, columnWidth(prDt, "ProNote")))
                    return r.fail(f.line, QStringLiteral("note must be 1 to %1 characters")
                                              .arg(columnWidth(prDt, "ProNote")));
                c.note = f.value;
            } else if (f.name == QLatin1String("when")) {
                QString message;
                if (conditionHasWhen)
                    return r.fail(f.line, QStringLiteral("\"when:\" given twice"));
                if (!encodeConditionWords(f.value, &c.required, &c.codes, &message))
                    return r.fail(f.line, message);
                conditionHasWhen = true;
            } else if (f.name == QLatin1String("must")) {
                if (f.value != QLatin1String("yes") && f.value != QLatin1String("no"))
                    return r.fail(f.line, QStringLiteral("must is \"yes\" or \"no\""));
                c.must = f.value == QLatin1String("yes");
            } else if (f.name == QLatin1String("energy")) {
                bool ok = false;
                c.energy = f.value.toDouble(&ok);
                if (!ok || c.energy < 0)
                    return r.fail(f.line, QStringLiteral("energy must be a number"));
                hasEnergy = true;
            } else if (f.name == QLatin1String("age")) {
                if (!r.readAge(f, &c))
                    return false;
                hasAge = true;
            } else {
                return r.fail(f.line,
                              QStringLiteral("\"%1:\" does not belong to a condition").arg(f.name));
            }
            continue;
        }

        QString* target = nullptr;
        int slot = -1;
        if (f.name == QLatin1String("name")) {
            if (f.value.isEmpty() || tooLong(f.value, columnWidth(pro, "ProName")))
                return r.fail(f.line, QStringLiteral("protocol name must be 1 to %1 characters")
                                          .arg(columnWidth(pro, "ProName")));
            target = &p.name;
            slot = 0;
        } else if (f.name == QLatin1String("text")) {
            target = &p.text;
            slot = 1;
        } else {
            const qsizetype a = adviceSourceNames().indexOf(f.name);
            if (a < 0)
                return r.fail(f.line, QStringLiteral("unknown field \"%1\"").arg(f.name));
            target = &p.advice[size_t(a)];
            slot = 2 + int(a);
        }
        if (seen[slot])
            return r.fail(f.line, QStringLiteral("\"%1:\" given twice").arg(f.name));
        if (f.value.isEmpty())
            return r.fail(f.line, QStringLiteral("\"%1:\" is empty").arg(f.name));
        seen[slot] = true;
        *target = f.value;
    }
    if (!closeProtocol())
        return false;
    if (out.empty())
        return r.fail(0, QStringLiteral("no protocols"));
    *protocols = std::move(out);
    return true;
}

bool resolveProtocolReferences(std::vector<StandardProtocol>* protocols,
                               const std::vector<ReferenceEntry>& entries, SourceError* error) {
    static const QRegularExpression form(QStringLiteral("^=\\s*([A-Z]{2})\\s+(Dt[A-Za-z]+\\d)$"));
    auto resolve = [&](StandardProtocol& p, QString& text) {
        if (!text.startsWith(QLatin1Char('=')))
            return true;
        const QRegularExpressionMatch m = form.match(text);
        auto fail = [&](const QString& message) {
            if (error)
                *error = {p.file, p.line, QStringLiteral("protocol %1: %2").arg(p.number, message)};
            return false;
        };
        if (!m.hasMatch())
            return fail(QStringLiteral("\"%1\" is not \"= CODE Field\"").arg(text));
        int key = 0;
        for (int number = 1; number <= kMeridianCount; ++number)
            if (meridian(number).code == m.captured(1))
                key = number;
        if (key == 0)
            return fail(QStringLiteral("unknown meridian code \"%1\"").arg(m.captured(1)));
        for (const ReferenceEntry& e : entries) {
            if (e.key == key && e.texts.contains(m.captured(2))) {
                text = e.texts.value(m.captured(2));
                return true;
            }
        }
        return fail(QStringLiteral("no text \"%1\" for %2").arg(m.captured(2), m.captured(1)));
    };
    for (StandardProtocol& p : *protocols) {
        if (!resolve(p, p.text))
            return false;
        for (QString& a : p.advice)
            if (!resolve(p, a))
                return false;
    }
    return true;
}

bool loadStandardProtocols(const QString& path, const std::vector<ReferenceEntry>& entries,
                           std::vector<StandardProtocol>* protocols, SourceError* error) {
    std::vector<SourceField> fields;
    if (!parseSourceFile(path, &fields, error))
        return false;
    const QString file = path.section(QLatin1Char('/'), -1);
    if (!readStandardProtocols(fields, file, protocols, error))
        return false;
    return resolveProtocolReferences(protocols, entries, error);
}

} // namespace viro
