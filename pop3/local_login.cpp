#include "pop3/local_login.h"

#include "secrets/secret_settings.h"

#include <optional>
#include <utility>

LocalLogin::LocalLogin(std::string accountsKey, LoginThrottle* throttle)
    : accountsKey_(std::move(accountsKey)),
      throttle_(throttle) {}

LocalLogin::~LocalLogin() {
    cancel();
}

void LocalLogin::check(const std::string& title, const std::string& password, Checked checked) {
    cancel();
    auto run = [this, title, password, checked = std::move(checked)] { checkNow(title, password, checked); };
    if (!throttle_) {
        run();
        return;
    }
    // A check made at once may already have set the ticket of a delayed answer.
    if (LoginThrottle::Ticket turn = throttle_->whenCheckAllowed(run)) ticket_ = turn;
}

void LocalLogin::checkNow(const std::string& title, const std::string& password, const Checked& checked) {
    bool fromLoop = ticket_ != 0;
    ticket_ = 0;
    std::optional<config::SecretSource> source;
    if (!title.empty()) source = config::localLoginSource(title, accountsKey_);
    if (!source) {
        checked(false, fromLoop);
        return;
    }
    std::string expected;
    read_ = std::make_unique<oauth::SecretRead>();
    bool known = read_->start(*source, expected,
                              [checked, password](bool ok, plat::SecretStatus, const std::string& stored) {
                                  checked(ok && !stored.empty() && stored == password, true);
                              });
    if (known) checked(!expected.empty() && expected == password, fromLoop);
}

void LocalLogin::answerRefusal(bool fromLoop, Answer answer) {
    if (!throttle_) {
        answer(fromLoop);
        return;
    }
    ticket_ = throttle_->afterFailureDelay([this, answer = std::move(answer)] {
        ticket_ = 0;
        answer(true);
    });
}

void LocalLogin::cancel() {
    if (throttle_) throttle_->cancel(ticket_);
    ticket_ = 0;
    // Not from inside the store's own answer: a read that has answered is no longer running.
    if (read_ && read_->running()) read_.reset();
}
