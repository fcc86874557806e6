#include "shell/message_box.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

using viro::TZeMsag;

TEST(MessageBox, CaptionsAndButtonsByType) {
    struct Row {
        int type;
        const char* caption;
        bool yesNo;
    };
    const Row rows[] = {{1, "Information", true}, {2, "Caution", true}, {3, "Important", true},
                        {4, "Information", false}, {5, "Caution", false},
                        {6, "Important", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        TZeMsag box(r.type, "text");
        EXPECT_EQ(box.windowTitle(), r.caption);
        auto* yes = box.findChild<QPushButton*>(r.yesNo ? "YesButton" : "OkButton");
        ASSERT_NE(yes, nullptr);
        EXPECT_EQ(yes->text(), r.yesNo ? "YES" : "OK");
        EXPECT_TRUE(yes->isDefault());
        EXPECT_EQ(box.findChild<QPushButton*>("NoButton") != nullptr, r.yesNo);
    }
}

TEST(MessageBox, TextLinesBreakAtCarriageReturnLineFeed) {
    TZeMsag box(4, "first\r\nsecond");
    auto* memo = box.findChild<QPlainTextEdit*>("Memo1");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->blockCount(), 2);
    EXPECT_TRUE(memo->isReadOnly());
}

// Clicks the named button (or closes the box) once it is shown, then returns the answer.
bool answerWith(int type, const char* buttonName) {
    QTimer::singleShot(0, [buttonName] {
        auto* box = qobject_cast<TZeMsag*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (buttonName) {
            auto* button = box->findChild<QPushButton*>(buttonName);
            ASSERT_NE(button, nullptr) << buttonName;
            button->click();
        } else {
            box->reject(); // what the window's close button does
        }
    });
    return TZeMsag::ask(type, "Question?");
}

TEST(MessageBox, AnswersOfTheButtonsAndTheCloseButton) {
    struct Case {
        int type;
        const char* button; // null: the window's close button
        bool answer;
    };
    std::vector<Case> cases;
    for (int type = 1; type <= 3; ++type) {
        cases.push_back({type, "YesButton", true});
        cases.push_back({type, "NoButton", false});
        cases.push_back({type, nullptr, false});
    }
    for (int type = 4; type <= 6; ++type) {
        cases.push_back({type, "OkButton", true});
        cases.push_back({type, nullptr, false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", "
                                        << (c.button ? c.button : "close button"));
        EXPECT_EQ(answerWith(c.type, c.button), c.answer);
    }
}

TEST(MessageBox, DefaultButtonHasTheFocusWhenShown) {
    for (int type = 1; type <= 6; ++type) {
        SCOPED_TRACE(type);
        QWidget* focused = nullptr;
        QWidget* expected = nullptr;
        bool timerRuns = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<TZeMsag*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            focused = box->focusWidget();
            expected = box->findChild<QPushButton*>(type <= 3 ? "YesButton" : "OkButton");
            auto* repaint = box->findChild<QTimer*>("Timer1");
            timerRuns = repaint && repaint->isActive() && repaint->interval() == 100;
            box->reject();
        });
        TZeMsag::ask(type, "Question?");
        EXPECT_NE(expected, nullptr);
        EXPECT_EQ(focused, expected);
        EXPECT_TRUE(timerRuns);
    }
}

TEST(MessageBox, FadesOutThenHidesPicturesAndButtons) {
    TZeMsag box(2, "Sure?");
    bool visibleDuringFade = false;
    bool answerDuringFadeIgnored = false;
    QTimer::singleShot(0, &box, [&] {
        box.findChild<QPushButton*>("YesButton")->click();
        visibleDuringFade = box.isVisible() && box.fading();
        // A second answer while fading does not change the first.
        box.findChild<QPushButton*>("NoButton")->click();
        answerDuringFadeIgnored = box.result();
    });
    box.exec();
    EXPECT_TRUE(visibleDuringFade);
    EXPECT_TRUE(answerDuringFadeIgnored);
    EXPECT_TRUE(box.result());
    EXPECT_FALSE(box.isVisible());
    EXPECT_TRUE(box.findChild<QLabel*>("Image1")->isHidden());
    EXPECT_TRUE(box.findChild<QPushButton*>("YesButton")->isHidden());
    EXPECT_TRUE(box.findChild<QPushButton*>("NoButton")->isHidden());
    EXPECT_FALSE(box.findChild<QTimer*>("Timer1")->isActive());

    // Shown again, the box starts over: visible, opaque, answer preset to false.
    bool shownAgain = false;
    QTimer::singleShot(0, &box, [&] {
        shownAgain = box.findChild<QPushButton*>("YesButton")->isVisible() &&
                     box.windowOpacity() == 1.0 && !box.result();
        box.reject();
    });
    box.exec();
    EXPECT_TRUE(shownAgain);
    EXPECT_FALSE(box.result());
}

} // namespace
