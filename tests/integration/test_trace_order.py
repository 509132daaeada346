"""The durability-order checker on crafted strace logs: a log in the right order passes, and
each way of getting the order wrong (a flush after the DELE, a flush that failed or had not
returned yet, a directory left unflushed, a record never written, an item removed before the
provider's reply or after its refusal, a 250 before the queue was flushed) is found, so that
a checker fault cannot make the durability test pass without looking."""

import unittest

from trace_order import Trace, c_string, check_delivery, check_intake, check_retrieval

W = "/w"


def esc(text):
    return text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace("\n", "\\n")


def send(pid, fd, text, mark=""):
    """A socket write of text, as strace shows it."""
    return '%d  sendto(%s, "%s", %d, MSG_NOSIGNAL, NULL, 0) = %d%s' % (pid, fd, esc(text), len(text), len(text), mark)


def recv(pid, fd, text, mark=""):
    return '%d  recvfrom(%s, "%s", 65536, 0, NULL, NULL) = %d%s' % (pid, fd, esc(text), len(text), mark)


TCP_POP = "7<TCP:[127.0.0.1:40000->127.0.0.1:110]>"

RETRIEVAL = [
    send(100, TCP_POP, "USER u\r\n"),
    '100  openat(AT_FDCWD</w>, "accounts/holding", O_WRONLY|O_CLOEXEC|O_TMPFILE, 0600) = 5</w/accounts/holding/#12>(deleted)',
    '100  write(5</w/accounts/holding/#12>(deleted), "Subject: a\\r\\n\\344\\1", 14) = 14',
    '100  fsync(5</w/accounts/holding/#12>(deleted)) = 0 # ITEM FLUSH',
    '100  linkat(AT_FDCWD</w>, "/proc/self/fd/5", AT_FDCWD</w>, "accounts/holding/[u]1.rfc822", AT_SYMLINK_FOLLOW) = 0',
    '100  close(5</w/accounts/holding/[u]1.rfc822>) = 0',
    '100  renameat2(AT_FDCWD</w>, "accounts/holding/[u]1.rfc822", AT_FDCWD</w>, "accounts/box/[u]1.rfc822", RENAME_NOREPLACE) = 0',
    '100  openat(AT_FDCWD</w>, "accounts/box", O_RDONLY|O_CLOEXEC|O_DIRECTORY) = 6</w/accounts/box>',
    '100  fsync(6</w/accounts/box>) = 0 # MAILBOX FLUSH',
    '100  close(6</w/accounts/box>) = 0',
    '100  openat(AT_FDCWD</w>, "box.uidl.tmp", O_WRONLY|O_CREAT|O_TRUNC|O_CLOEXEC, 0666) = 6</w/box.uidl.tmp>',
    '100  write(6</w/box.uidl.tmp>, "\\1\\0\\0\\0\\5\\0\\0\\0uid 1", 13) = 13 # RECORD',
    '100  fsync(6</w/box.uidl.tmp>) = 0',
    '100  close(6</w/box.uidl.tmp>) = 0',
    '100  rename("box.uidl.tmp", "box.uidl") = 0',
    '100  openat(AT_FDCWD</w>, ".", O_RDONLY|O_CLOEXEC|O_DIRECTORY) = 6</w>',
    '100  fsync(6</w>) = 0 # RECORD DIR FLUSH',
    '100  close(6</w>) = 0',
    send(100, TCP_POP, "DELE 1\r\nRETR 2\r\n", " # DELE"),
]
ACCOUNTS = {"u": {"targets": {1: (W + "/accounts/box/[u]1.rfc822", b"uid 1")}, "mailbox": W + "/accounts/box",
                  "uidl": W + "/box.uidl"}}


def retrieval(lines):
    return check_retrieval(Trace.parse("\n".join(lines), W), 110, ACCOUNTS)


def without(lines, marker):
    return [l for l in lines if marker not in l]


def moved_after_dele(lines, marker):
    """The line marked with marker moved to just after the DELE."""
    kept = without(lines, marker)
    moved = [l for l in lines if marker in l]
    at = next(i for i, l in enumerate(kept) if "DELE" in l) + 1
    return kept[:at] + moved + kept[at:]


def marked(lines, marker):
    return next(i for i, l in enumerate(lines) if marker in l)


class Retrieval(unittest.TestCase):
    def test_the_right_order_passes_and_counts_its_dele(self):
        found = retrieval(RETRIEVAL)
        self.assertEqual(found.problems, [])
        self.assertEqual(found.checked, 1)

    def test_a_flush_after_the_dele_is_found(self):
        for marker, words in (("ITEM FLUSH", "item"), ("MAILBOX FLUSH", "not flushed into /w/accounts/box"),
                              ("RECORD DIR FLUSH", "identifier file: the entry")):
            found = retrieval(moved_after_dele(RETRIEVAL, marker))
            self.assertEqual(len(found.problems), 1, (marker, found))
            self.assertIn(words, found.problems[0])
            self.assertIn("DELE 1", found.problems[0])

    def test_a_failed_flush_does_not_count(self):
        lines = list(RETRIEVAL)
        i = marked(lines, "ITEM FLUSH")
        lines[i] = lines[i].replace(") = 0", ") = -1 EIO (Input/output error)")
        found = retrieval(lines)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("not flushed before", found.problems[0])

    def test_a_flush_of_another_thread_counts_only_once_it_has_returned(self):
        lines = list(RETRIEVAL)
        i = marked(lines, "ITEM FLUSH")
        dele = lines.pop()
        lines[i] = '101  fsync(5</w/accounts/holding/#12>(deleted) <unfinished ...>'
        late = lines + [dele, "101  <... fsync resumed>) = 0"]
        self.assertEqual(len(retrieval(late).problems), 1)
        in_time = lines + ["101  <... fsync resumed>) = 0", dele]
        self.assertEqual(retrieval(in_time).problems, [])

    def test_a_record_not_written_before_the_dele_is_found(self):
        lines = list(RETRIEVAL)
        i = marked(lines, "RECORD")
        lines[i] = lines[i].replace("uid 1", "uid 9")
        found = retrieval(lines)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("identifier b'uid 1' not written", found.problems[0])

    def test_a_mailbox_made_in_the_run_needs_its_parent_flushed(self):
        made = ['100  mkdir("accounts/box", 0700) = 0']
        found = retrieval(made + RETRIEVAL)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("the mailbox made by", found.problems[0])
        flushed = made + ['100  openat(AT_FDCWD</w>, "accounts", O_RDONLY|O_DIRECTORY) = 9</w/accounts>',
                          '100  fsync(9</w/accounts>) = 0']
        self.assertEqual(retrieval(flushed + RETRIEVAL).problems, [])

    def test_strings_are_read_with_every_escape(self):
        self.assertEqual(c_string('"a\\r\\n\\1\\344\\"\\\\\\x7f"...'), b'a\r\n\x01\xe4"\\\x7f')


TCP_OUT = "7<TCP:[127.0.0.1:40000->127.0.0.1:2525]>"
ITEM_TEXT = "Subject: a\\r\\n\\r\\nhi\\r\\n"
DELIVERY = [
    '200  openat(AT_FDCWD</w>, "outgoing/1.rfc822", O_RDONLY|O_CLOEXEC) = 5</w/outgoing/1.rfc822>',
    '200  read(5</w/outgoing/1.rfc822>, "' + ITEM_TEXT + '", 65536) = 18',
    recv(200, TCP_OUT, "220 hi\r\n"),
    send(200, TCP_OUT, "EHLO x\r\n"),
    recv(200, TCP_OUT, "250-hi\r\n250 PIPELINING\r\n"),
    send(200, TCP_OUT, "MAIL FROM:<a>\r\nRCPT TO:<b>\r\nDATA\r\n"),
    recv(200, TCP_OUT, "250 ok\r\n250 ok\r\n354 go\r\n"),
    send(200, TCP_OUT, "Subject: a\r\n\r\nhi\r\n.\r\n"),
    recv(200, TCP_OUT, "250 queued\r\n", " # REPLY"),
    '200  unlink("outgoing/1.rfc822.route") = 0',
    '200  unlink("outgoing/1.rfc822") = 0 # REMOVAL',
]


def delivery(lines):
    return check_delivery(Trace.parse("\n".join(lines), W), 2525, W + "/outgoing")


class Delivery(unittest.TestCase):
    def test_removal_after_the_reply_to_the_dot_passes(self):
        found = delivery(DELIVERY)
        self.assertEqual((found.problems, found.checked), ([], 1))

    def test_removal_before_the_reply_or_after_a_refusal_is_found(self):
        early = without(DELIVERY, "REPLY")
        early.insert(marked(early, "REMOVAL") + 1, DELIVERY[marked(DELIVERY, "REPLY")])
        found = delivery(early)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("before the provider's reply", found.problems[0])
        refused = [l.replace("250 queued", "554 no!!") for l in DELIVERY]
        found = delivery(refused)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("after the refusal '554 no!!'", found.problems[0])

    def test_a_reply_to_another_command_is_not_the_reply_to_the_dot(self):
        # The reply to the dot never came: the only 250 after it answers nothing of its own.
        lines = without(DELIVERY, "REPLY")
        found = delivery(lines)
        self.assertEqual(len(found.problems), 1, found)


# The same by BDAT, with QUIT in the same write: the chunk carries the message unstuffed.
BDAT_DELIVERY = [
    '200  openat(AT_FDCWD</w>, "outgoing/1.rfc822", O_RDONLY|O_CLOEXEC) = 5</w/outgoing/1.rfc822>',
    '200  read(5</w/outgoing/1.rfc822>, "Subject: a\\r\\n\\r\\n..dot\\r\\n", 21) = 21',
    recv(200, TCP_OUT, "220 hi\r\n"),
    send(200, TCP_OUT, "EHLO x\r\n"),
    recv(200, TCP_OUT, "250-hi\r\n250-PIPELINING\r\n250 CHUNKING\r\n"),
    send(200, TCP_OUT, "MAIL FROM:<a>\r\nRCPT TO:<b>\r\nBDAT 20 LAST\r\nSubject: a\r\n\r\n.dot\r\nQUIT\r\n"),
    recv(200, TCP_OUT, "250 ok\r\n250 ok\r\n"),
    recv(200, TCP_OUT, "250 queued\r\n221 bye\r\n", " # REPLY"),
    '200  unlink("outgoing/1.rfc822.route") = 0',
    '200  unlink("outgoing/1.rfc822") = 0 # REMOVAL',
]


class BdatDelivery(unittest.TestCase):
    def test_removal_after_the_reply_to_the_chunk_passes_and_before_it_is_found(self):
        found = delivery(BDAT_DELIVERY)
        self.assertEqual((found.problems, found.checked), ([], 1))
        early = without(BDAT_DELIVERY, "REPLY")
        early.insert(marked(early, "REMOVAL") + 1, BDAT_DELIVERY[marked(BDAT_DELIVERY, "REPLY")])
        found = delivery(early)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("before the provider's reply", found.problems[0])
        # QUIT's 221 is not the chunk's reply.
        refused = [l.replace("250 queued", "554 no!!") for l in BDAT_DELIVERY]
        found = delivery(refused)
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("after the refusal '554 no!!'", found.problems[0])


TCP_IN = "8<TCP:[127.0.0.1:2526->127.0.0.1:50000]>"
INTAKE = [
    '300  accept4(3<TCP:[127.0.0.1:2526]>, {sa_family=AF_INET, sin_port=htons(50000), sin_addr=inet_addr("127.0.0.1")}, [16], SOCK_CLOEXEC|SOCK_NONBLOCK) = ' + TCP_IN,
    send(300, TCP_IN, "220 hi\r\n"),
    recv(300, TCP_IN, "HELO x\r\nMAIL FROM:<a>\r\nRCPT TO:<b>\r\nDATA\r\n"),
    send(300, TCP_IN, "250 hi\r\n250 ok\r\n250 ok\r\n354 go\r\n"),
    '300  openat(AT_FDCWD</w>, "2026.rfc822", O_WRONLY|O_CREAT|O_EXCL|O_CLOEXEC, 0600) = 9</w/2026.rfc822>',
    recv(300, TCP_IN, "Subject: a\r\n\r\nhi\r\n.\r\n"),
    '300  write(9</w/2026.rfc822>, "' + ITEM_TEXT + '", 18) = 18',
    '300  fsync(9</w/2026.rfc822>) = 0 # ITEM FLUSH',
    '300  openat(AT_FDCWD</w>, "2026.rfc822.route", O_WRONLY|O_CREAT|O_TRUNC|O_CLOEXEC, 0600) = 10</w/2026.rfc822.route>',
    '300  write(10</w/2026.rfc822.route>, "\\2\\0\\0\\0", 4) = 4',
    '300  fsync(10</w/2026.rfc822.route>) = 0 # ROUTE FLUSH',
    '300  rename("2026.rfc822", "outgoing/2026.rfc822") = 0',
    '300  rename("2026.rfc822.route", "outgoing/2026.rfc822.route") = 0',
    '300  openat(AT_FDCWD</w>, "outgoing", O_RDONLY|O_DIRECTORY|O_CLOEXEC) = 11</w/outgoing>',
    '300  fsync(11</w/outgoing>) = 0 # QUEUE FLUSH',
    send(300, TCP_IN, "250 queued\r\n"),
]


def intake(lines):
    return check_intake(Trace.parse("\n".join(lines), W), 2526, W + "/outgoing")


class Intake(unittest.TestCase):
    def test_a_250_after_everything_was_flushed_passes(self):
        found = intake(INTAKE)
        self.assertEqual((found.problems, found.checked), ([], 1))

    def test_a_250_before_a_flush_is_found(self):
        for marker in ("ITEM FLUSH", "ROUTE FLUSH", "QUEUE FLUSH"):
            lines = without(INTAKE, marker)
            found = intake(lines)
            self.assertEqual(len(found.problems), 1 if marker != "QUEUE FLUSH" else 2, (marker, found))
            self.assertTrue(all("250 at line" in p for p in found.problems), found)

    def test_a_250_with_nothing_queued_is_found(self):
        found = intake([l for l in INTAKE if "rename" not in l])
        self.assertEqual(len(found.problems), 1, found)
        self.assertIn("no item and routing file", found.problems[0])


if __name__ == "__main__":
    unittest.main()
