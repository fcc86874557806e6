#pragma once

#include "shell/message_box.h"

#include <QDialog>
#include <QLocale>

#include <functional>

class QLabel;
class QPushButton;

namespace viro {

class ProbeControl;

// The usage counter as the about box shows it: thousands separators of `locale`, no decimals,
// right-aligned in eight places, between "[ " and " ]".
QString formatUsageCounter(int counter, const QLocale& locale = QLocale());

// The about box: version texts, the maker's lines and the attached probe's serial number,
// hardware string and usage counter.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 500;

    // `probe` may be null (no probe link); `openWeb` opens the maker's web address.
    TAboutBox(ProbeControl* probe, std::function<void()> openWeb, QWidget* parent = nullptr);

    // Reads the probe's identity and counter again (done when the box is created).
    void refreshProbe();

    QString serialText() const;
    QString hardwareText() const;
    QString counterText() const;
    // The box is fading out after a close.
    bool fading() const { return fade_.active(); }

protected:
    void done(int r) override;

private:
    ProbeControl* probe_;
    std::function<void()> openWeb_;
    QLabel* serial_ = nullptr;
    QLabel* hardware_ = nullptr;
    QLabel* counter_ = nullptr;
    WindowFade fade_;
};

} // namespace viro
