#include "engine/private_folders.h"

#include "platform/registry.h"
#include "config/settings.h"
#include "store/private_folder.h"

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

bool prepareWorkingFolders(const std::string& queueDirectory, const std::string& holdingDirectory,
                           const std::string& accountsKey) {
    bool ready = true;
    // Parents before children: "accounts" before "accounts/holding".
    for (const std::string& folder : {std::string("."), withoutTrailingSlash(queueDirectory), std::string("accounts"),
                                      withoutTrailingSlash(holdingDirectory)}) {
        ready = store::preparePrivateFolder(folder, store::FolderFlush::Always) && ready;
    }
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts, accountsKey) || !accounts.isOpen()) return ready;
    config::AccountRecord record;
    for (int i = 0; config::readAccountRecord(accounts, i, record); ++i) {
        std::string mailbox = store::mailboxFolder(record.destMailbox);
        if (!mailbox.empty()) ready = store::preparePrivateFolder(mailbox, store::FolderFlush::Always) && ready;
    }
    return ready;
}
