#pragma once

#include "data/src/reference_texts.h"
#include "data/src/source_format.h"
#include "therapy/protocol_rules.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace viro {

inline constexpr int kAdviceTexts = 8;

// The advice fields of a standard protocol in column order (ProMed1-3, ProHel1-5) and the word
// that names each one in the source file.
const QStringList& adviceColumns();
const QStringList& adviceSourceNames();

// One condition row, already in its stored form.
struct StandardCondition {
    QString subName;   // ProSubN
    QString note;      // ProNote
    QString required;  // ProAnd: 24 characters "0"/"1"
    QString codes;     // ProCond: 24 digits
    int ageLow = 0;    // ProAGL
    int ageHigh = 0;   // ProAGH
    double energy = 0; // ProEng
    bool must = false; // ProFlg
    int line = 0;
};

struct StandardProtocol {
    QString number;                           // ProNo
    QString name;                             // ProName
    QString text;                             // ProData
    std::array<QString, kAdviceTexts> advice; // ProMed1-3, ProHel1-5
    std::vector<StandardCondition> conditions;
    QString file;
    int line = 0;
};

// The word of each condition position ("energy", "LU", "wood", "age", ...); position p is
// element p - 1.
const QStringList& conditionPositionNames();

// Turns a "when:" text ("LU=hyper! sex=female") into the ProAnd and ProCond texts. Each word
// is position=label, "!" marking a required position. False with a message for an unknown
// position or label, a position given twice, "normal" without "!", or "!" on age or sex.
bool encodeConditionWords(const QString& words, QString* required, QString* codes,
                          QString* message);

// Checks a whole protocol file and turns it into protocols, in file order.
bool readStandardProtocols(const std::vector<SourceField>& fields, const QString& file,
                           std::vector<StandardProtocol>* protocols, SourceError* error);

// Replaces every advice or protocol text of the form "= LU DtMH3" by that reference text, so
// shared advice is written once.
bool resolveProtocolReferences(std::vector<StandardProtocol>* protocols,
                               const std::vector<ReferenceEntry>& entries, SourceError* error);

// Reads, checks and resolves the protocol file.
bool loadStandardProtocols(const QString& path, const std::vector<ReferenceEntry>& entries,
                           std::vector<StandardProtocol>* protocols, SourceError* error);

} // namespace viro
