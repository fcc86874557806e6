#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPropertyAnimation;
class QPushButton;
class QTimer;

namespace viro {

// The fade-out of a closing box: the window's opacity runs down to 0, then `finished` runs.
// A box closed another way meanwhile stops the fade, so `finished` does not run after it.
class WindowFade {
public:
    void start(QWidget* window, int durationMs, std::function<void()> finished);
    void stop();
    bool active() const { return !animation_.isNull(); }

private:
    QPointer<QPropertyAnimation> animation_;
};

// The program's own modal message box: a caption and picture by type, the text in a read-only
// field, YES/NO (types 1-3) or OK (types 4-6). Any way of closing other than YES/OK gives false.
class TZeMsag : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 300;
    static constexpr int kRepaintMs = 100;

    TZeMsag(int type, const QString& text, QWidget* parent = nullptr);

    // Creates the box, shows it modally, destroys it and returns the answer.
    static bool ask(int type, const QString& text, QWidget* parent = nullptr);

    bool result() const { return result_; }
    // The box is fading out after an answer.
    bool fading() const { return fade_.active(); }

    static QString captionFor(int type);

protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;

private:
    void answer(bool yes);
    void finishClose(int r);

    QLabel* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* yesButton_ = nullptr;
    QPushButton* noButton_ = nullptr;
    QTimer* repaint_ = nullptr;
    bool result_ = false;
    WindowFade fade_;
};

// Makes TZeMsag, over the active window, answer every question of prompts().
void useMessageBoxPrompts();

} // namespace viro
