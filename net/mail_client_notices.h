// The notices a mail-client protocol phase sends to the component that owns the client:
// message WM_MAILCLIENT, wParam = code, sent synchronously (FINISHED is posted).
// One numbering for the SMTP and the POP3 client.
#pragma once

#include "platform/window.h"

constexpr plat::UINT WM_MAILCLIENT = plat::WM_USER + 2;   // 1026

namespace MailClient {
enum Notice : int {
    OPEN_COMPLETE = 1,
    OPEN_FAIL = 2,
    AUTH_COMPLETE = 3,          // POP3 login
    AUTH_FAIL = 4,
    IDENT_COMPLETE = 5,         // SMTP HELO
    IDENT_FAIL = 6,
    RETRIEVE_COMPLETE = 7,      // POP3 retrieval
    RETRIEVE_ITEM = 8,          // lParam: path of the item just stored, valid during the call
    RETRIEVE_FAIL = 9,
    SENDMAILENV_COMPLETE = 10,  // SMTP envelope
    SENDMAILENV_ERROR = 11,     // lParam: the refused address, valid during the call
    SENDMAILENV_FAIL = 12,      // lParam: 0 permanent, 1 transient
    SENDMAILDATA_COMPLETE = 13, // SMTP data
    SENDMAILDATA_FAIL = 14,
    CLOSE_COMPLETE = 15,
    RETRIEVE_SKIPPED = 16,      // POP3: lParam: const SkippedMessage* (pop3/pop_client.h),
                                // valid during the call
    RETRIEVE_FLUSH = 17,        // POP3: the items reported since the last one must now be on
                                // disk where the owner put them; their DELEs follow
    FINISHED = 0xFF00,
};
}  // namespace MailClient
