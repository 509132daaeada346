// The outgoing queue listing and deletion of queued pairs.
#include "store/smtp_queue.h"
#include "store_test_util.h"

#include "platform/files.h"

#include <gtest/gtest.h>

using namespace store;
using SMTPQueueTest = storetest::StoreTest;

TEST_F(SMTPQueueTest, ListsItemsThatHaveARoutingFile) {
    put("a.rfc822", "item a");
    put("a.rfc822.route", "12345678");
    put("b.rfc822", "item b without routing file");
    put(".route", "no item name");
    SMTPQueue queue(dir_);
    ASSERT_EQ(queue.count(), 1);
    EXPECT_EQ(queue.entry(1)->baseName, "a.rfc822");
    EXPECT_EQ(queue.entry(1)->routingSize, 8u);
    EXPECT_EQ(queue.itemPath(1), in("a.rfc822"));
    EXPECT_EQ(queue.routingPath(1), in("a.rfc822.route"));
    EXPECT_EQ(queue.itemPath(2), "");
    EXPECT_EQ(queue.entry(0), nullptr);

    // A trailing separator only doubles it.
    SMTPQueue slashed(dir_ + "/");
    ASSERT_EQ(slashed.count(), 1);
    EXPECT_EQ(slashed.itemPath(1), dir_ + "//a.rfc822");

    EXPECT_EQ(SMTPQueue(dir_ + "/nowhere").count(), 0);
}

TEST_F(SMTPQueueTest, DeleteRemovesBothFilesEvenWithoutTheItem) {
    put("a.rfc822", "a");
    put("a.rfc822.route", "r");
    put("b.rfc822.route", "r");  // its item file is already gone
    SMTPQueue queue(dir_);
    ASSERT_EQ(queue.count(), 2);
    for (int i = 1; i <= queue.count(); ++i) EXPECT_TRUE(queue.deleteItem(i));
    EXPECT_FALSE(plat::fileExists(in("a.rfc822")));
    EXPECT_FALSE(plat::fileExists(in("a.rfc822.route")));
    EXPECT_FALSE(plat::fileExists(in("b.rfc822.route")));
    EXPECT_FALSE(queue.deleteItem(3));
}
