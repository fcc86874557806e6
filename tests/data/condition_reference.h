#pragma once

// An evaluator of protocol condition rows written for these tests from the matching rules, so
// the standard protocols are checked against what the matching will make of them.

#include <QString>

#include <array>
#include <cmath>

namespace viro::testing {

struct PatientState {
    int bodyEnergy = 0;
    int upDown = 0;
    int leftRight = 0;
    int yinYang = 0;
    int ans = 0;
    std::array<int, 13> left{}; // point class by meridian number (1-12)
    std::array<int, 13> right{};
    std::array<int, 5> element{}; // Wood, Fire, Earth, Metal, Water
    double average = 45;
    int age = 40; // calendar years; 0 skips the age position
    bool male = true;
};

struct ConditionRow {
    QString codes;
    QString required;
    int ageLow = 0;
    int ageHigh = 0;
    double energy = 0;
    bool must = false;
};

// Meridian numbers of condition positions 6 to 17 (partners side by side).
inline constexpr std::array<int, 12> kPositionMeridians{1, 6, 2, 5, 3, 4, 7, 12, 8, 11, 9, 10};

inline bool classTest(int code, int value) {
    switch (code) {
    case 1:
        return value < 0;
    case 2:
        return value > 0;
    case 3:
        return value != 0;
    default:
        return false;
    }
}

inline bool positionHolds(int p, int code, bool required, const ConditionRow& row,
                          const PatientState& s) {
    if (code == 0) {
        if (!required)
            return false;
        if (p == 1)
            return s.bodyEnergy == 0;
        if (p == 2)
            return s.upDown == 0;
        if (p == 3)
            return s.leftRight == 0;
        if (p == 4)
            return s.yinYang == 0;
        if (p == 5)
            return s.ans == 0;
        if (p <= 17) {
            const int m = kPositionMeridians[size_t(p - 6)];
            return s.left[size_t(m)] == 0 && s.right[size_t(m)] == 0;
        }
        if (p <= 22)
            return s.element[size_t(p - 18)] == 0;
        return false;
    }
    if (p == 1) {
        const double whole = std::trunc(s.average);
        if (code == 4)
            return whole == row.energy;
        if (code == 5)
            return whole > row.energy;
        if (code == 6)
            return whole < row.energy;
        return classTest(code, s.bodyEnergy);
    }
    if (p == 2)
        return classTest(code, s.upDown);
    if (p == 3)
        return code <= 3 && s.leftRight != 0;
    if (p == 4) {
        if (code == 1)
            return s.yinYang > 0;
        if (code == 2)
            return s.yinYang < 0;
        return classTest(code, s.yinYang);
    }
    if (p == 5)
        return code <= 3 && s.ans != 0;
    if (p <= 17) {
        const int m = kPositionMeridians[size_t(p - 6)];
        const int l = s.left[size_t(m)];
        const int r = s.right[size_t(m)];
        if (code == 1)
            return l < 0 && r < 0;
        if (code == 2)
            return l > 0 && r > 0;
        if (code == 3)
            return l != 0 || r != 0;
        return false;
    }
    if (p <= 22)
        return classTest(code, s.element[size_t(p - 18)]);
    if (p == 23) {
        if (code == 1)
            return s.age >= row.ageLow;
        if (code == 2)
            return s.age <= row.ageHigh;
        if (code == 3)
            return s.age >= row.ageLow && s.age <= row.ageHigh;
        return false;
    }
    if (code == 1)
        return s.male;
    if (code == 2)
        return !s.male;
    return false;
}

inline bool rowHolds(const ConditionRow& row, const PatientState& s) {
    bool result = false;
    for (int p = 1; p <= 24; ++p) {
        const QChar c = p <= row.codes.size() ? row.codes.at(p - 1) : QChar('0');
        const int code = c.isDigit() ? c.digitValue() : 0;
        const bool required = p <= row.required.size() && row.required.at(p - 1) == '1';
        const bool h = positionHolds(p, code, required, row, s);
        if (p <= 22) {
            if (required && !h)
                return false;
        } else {
            if (p == 23 && s.age == 0)
                continue;
            if (code != 0 && !h)
                return false;
        }
        if (h)
            result = true;
    }
    return result;
}

template <typename Rows> bool protocolMatches(const Rows& rows, const PatientState& s) {
    bool matched = false;
    for (const ConditionRow& row : rows) {
        const bool h = rowHolds(row, s);
        if (row.must && !h)
            return false;
        if (h)
            matched = true;
    }
    return matched;
}

} // namespace viro::testing
