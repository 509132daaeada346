// What the mail clients' phases tell their owner, written down as numbered notices that a test
// can list and compare. value: for an envelope or text that failed, 0 when refused for good
// and 1 when kept; text: the refused recipient, or the stored item's path.
#pragma once

#include "net/mail_client_observer.h"

#include <functional>
#include <string>

namespace MailClient {
enum Notice : int {
    OPEN_COMPLETE = 1,
    OPEN_FAIL = 2,
    AUTH_COMPLETE = 3,
    AUTH_FAIL = 4,
    IDENT_COMPLETE = 5,
    IDENT_FAIL = 6,
    RETRIEVE_COMPLETE = 7,
    RETRIEVE_ITEM = 8,
    RETRIEVE_FAIL = 9,
    SENDMAILENV_COMPLETE = 10,
    SENDMAILENV_ERROR = 11,
    SENDMAILENV_FAIL = 12,
    SENDMAILDATA_COMPLETE = 13,
    SENDMAILDATA_FAIL = 14,
    CLOSE_COMPLETE = 15,
    RETRIEVE_SKIPPED = 16,
    RETRIEVE_FLUSH = 17,
    FINISHED = 0xFF00,
};
}  // namespace MailClient

namespace mailtest {

using Told = std::function<void(int code, long value, const std::string& text)>;

// Every notice goes to told; Base is MailClientObserver or a protocol's observer.
template <class Base = MailClientObserver>
class Recorder : public Base {
public:
    explicit Recorder(Told told) : told_(std::move(told)) {}
    void opened(bool ok) override { tell(ok ? MailClient::OPEN_COMPLETE : MailClient::OPEN_FAIL); }
    void closed() override { tell(MailClient::CLOSE_COMPLETE); }
    void finished() override { tell(MailClient::FINISHED); }

protected:
    void tell(int code, long value = 0, const std::string& text = {}) { told_(code, value, text); }
    static long outcomeValue(ItemOutcome outcome) { return outcome == ItemOutcome::RefusedForGood ? 0 : 1; }

private:
    Told told_;
};

}  // namespace mailtest
