#include "shell/message_box.h"

#include "core/user_prompts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace viro {

void WindowFade::start(QWidget* window, int durationMs, std::function<void()> finished) {
    stop();
    auto* animation = new QPropertyAnimation(window, "windowOpacity", window);
    animation_ = animation;
    animation->setDuration(durationMs);
    animation->setStartValue(window->windowOpacity());
    animation->setEndValue(0.0);
    QObject::connect(animation, &QPropertyAnimation::finished, window,
                     [this, animation, finished = std::move(finished)] {
                         animation->deleteLater();
                         // Cleared first: the finish may close the box, which asks active().
                         if (animation_ == animation)
                             animation_.clear();
                         finished();
                     });
    animation->start();
}

void WindowFade::stop() {
    if (QPropertyAnimation* animation = animation_.data()) {
        animation_.clear();
        animation->disconnect();
        animation->stop();
        animation->deleteLater();
    }
}

QString TZeMsag::captionFor(int type) {
    switch (type) {
    case 1:
    case 4:
        return QStringLiteral("Information");
    case 2:
    case 5:
        return QStringLiteral("Caution");
    default:
        return QStringLiteral("Important");
    }
}

TZeMsag::TZeMsag(int type, const QString& text, QWidget* parent) : QDialog(parent) {
    setObjectName("TZeMsag");
    setWindowTitle(captionFor(type));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxCritical;
    if (type == 1 || type == 4)
        icon = QStyle::SP_MessageBoxInformation;
    else if (type == 2 || type == 5)
        icon = QStyle::SP_MessageBoxWarning;
    picture_ = new QLabel(this);
    picture_->setObjectName("Image1");
    picture_->setPixmap(style()->standardIcon(icon).pixmap(48, 48));
    picture_->setAlignment(Qt::AlignTop);

    text_ = new QPlainTextEdit(this);
    text_->setObjectName("Memo1");
    text_->setReadOnly(true);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setFocusPolicy(Qt::NoFocus);
    // The program writes line breaks as "\r\n".
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text_->setPlainText(shown);
    text_->setMinimumSize(320, 90);

    const bool yesNo = type >= 1 && type <= 3;
    yesButton_ = new QPushButton(yesNo ? QStringLiteral("YES") : QStringLiteral("OK"), this);
    yesButton_->setObjectName(yesNo ? "YesButton" : "OkButton");
    yesButton_->setDefault(true);
    connect(yesButton_, &QPushButton::clicked, this, [this] { answer(true); });
    if (yesNo) {
        noButton_ = new QPushButton(QStringLiteral("NO"), this);
        noButton_->setObjectName("NoButton");
        connect(noButton_, &QPushButton::clicked, this, [this] { answer(false); });
    }

    auto* top = new QHBoxLayout;
    top->addWidget(picture_);
    top->addWidget(text_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yesButton_);
    if (noButton_)
        buttons->addWidget(noButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    yesButton_->setFocus();

    // The box repaints itself while it is shown.
    repaint_ = new QTimer(this);
    repaint_->setObjectName("Timer1");
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void TZeMsag::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    result_ = false;
    fade_.stop();
    setWindowOpacity(1.0);
    picture_->show();
    yesButton_->show();
    if (noButton_)
        noButton_->show();
    yesButton_->setFocus();
    repaint_->start();
}

void TZeMsag::answer(bool yes) {
    // An answer given while the box fades out does not change the first one.
    if (fade_.active())
        return;
    result_ = yes;
    accept();
}

void TZeMsag::done(int r) {
    // Fade out before closing; a second close during the fade closes at once.
    if (fade_.active() || !isVisible()) {
        fade_.stop();
        finishClose(r);
        return;
    }
    fade_.start(this, kFadeMs, [this, r] { finishClose(r); });
}

void TZeMsag::finishClose(int r) {
    repaint_->stop();
    picture_->hide();
    yesButton_->hide();
    if (noButton_)
        noButton_->hide();
    QDialog::done(r);
}

bool TZeMsag::ask(int type, const QString& text, QWidget* parent) {
    TZeMsag box(type, text, parent);
    box.exec();
    return box.result();
}

void useMessageBoxPrompts() {
    class DialogPrompts : public UserPrompts {
    public:
        bool message(int type, const QString& text) override {
            return TZeMsag::ask(type, text, QApplication::activeWindow());
        }
    };
    static DialogPrompts dialogs;
    setDefaultPrompts(&dialogs);
}

} // namespace viro
