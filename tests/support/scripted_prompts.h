#pragma once

#include "core/user_prompts.h"

#include <QString>

#include <deque>
#include <vector>

// Answers message boxes from a script and records every question, so a test can drive and
// check what the user was asked. Installs itself for its lifetime.
class ScriptedPrompts : public viro::UserPrompts {
public:
    struct Asked {
        int type;
        QString text;
    };

    ScriptedPrompts() { viro::setPrompts(this); }
    ~ScriptedPrompts() override { viro::setPrompts(nullptr); }

    // The next answers, in order; once used up every question is answered with false.
    void answer(std::initializer_list<bool> answers) {
        answers_.insert(answers_.end(), answers.begin(), answers.end());
    }

    // Forgets the questions asked and the answers not yet used.
    void reset() {
        asked.clear();
        answers_.clear();
    }

    bool message(int type, const QString& text) override {
        asked.push_back({type, text});
        if (answers_.empty())
            return false;
        const bool a = answers_.front();
        answers_.pop_front();
        return a;
    }

    std::vector<Asked> asked;

private:
    std::deque<bool> answers_;
};
