#include "core/user_prompts.h"

namespace viro {
namespace {

// Where no window can ask (the command-line tool, a library used on its own), every question
// is answered with NO.
class UnansweredPrompts : public UserPrompts {
public:
    bool message(int, const QString&) override { return false; }
};

UserPrompts* installed = nullptr;
UserPrompts* defaults = nullptr;

} // namespace

UserPrompts& prompts() {
    static UnansweredPrompts unanswered;
    if (installed)
        return *installed;
    return defaults ? *defaults : unanswered;
}

void setPrompts(UserPrompts* p) { installed = p; }

void setDefaultPrompts(UserPrompts* p) { defaults = p; }

} // namespace viro
