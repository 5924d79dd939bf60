#include "comm/Outcome.h"

#include "res/Texts.h"

void Outcome::Tell(const QString& text, platform::MessageIcon icon, int helpContext) {
    messages.push_back({text, QString(res::text::AppName), icon, helpContext});
}

Outcome& Outcome::Fail(Cause why, const QString& text, platform::MessageIcon icon) {
    cause = why;
    Tell(text, icon);
    return *this;
}

Outcome& Outcome::Then(Outcome&& later) {
    cause = later.cause;
    messages.insert(messages.end(), std::make_move_iterator(later.messages.begin()),
                    std::make_move_iterator(later.messages.end()));
    details.insert(later.details);
    return *this;
}

QStringList Outcome::Texts() const {
    QStringList texts;
    for (const platform::MessageBoxRequest& message : messages)
        texts << message.text;
    return texts;
}

Outcome Outcome::Failure(Cause why, const QString& text, platform::MessageIcon icon) {
    Outcome outcome;
    outcome.Fail(why, text, icon);
    return outcome;
}

void ShowOutcome(const Outcome& outcome) {
    for (const platform::MessageBoxRequest& message : outcome.messages)
        platform::ShowMessageBox(message);
}
