"""The local POP3 server of a running engine, in raw dialogues: log-in by account title, the
snapshot listing, the commands' replies and refusals, read state, deletion at QUIT only,
identifiers, and replies kept in order for clients that pipeline."""

import os
import socket
import time
import unittest

from pop3_world import CORPUS, EngineWithMailboxes, Pop3, stuff, unstuff

AUTH_FAILED = "-ERR Authentication failed"
BAD_PARAMETERS = "-ERR invalid number of paramters"
BAD_NUMBER = "-ERR invalid mail item number"


class Pop3Server(EngineWithMailboxes):
    MAILBOXES = [("box", "Home Mail", "s3cret", "ann"), ("other", "work", "pw", "bob"),
                 ("spaced", "spaced", "two words ", "cy")]

    def setUp(self):
        self.box.clear()
        self.other.clear()

    def session(self, title="work", password="pw"):
        p = Pop3(self.engine.pop3_port)
        self.addCleanup(p.close)
        return p.login(title, password)

    def corpus(self):
        """The corpus in 'work'; answers the item file names in listing order."""
        self.other.add_corpus()
        p = self.session()
        p.send("UIDL")
        self.assertEqual(p.line(), b"+OK ")
        names = [self.other.name_of(l.split(b" ", 1)[1]) for l in p.multi()]
        p.close()
        return names

    def message_of(self, name):
        """The message an item holds, as its sender wrote it."""
        with open(os.path.join(self.other.path, name), "rb") as f:
            return CORPUS[[stuff(m) for m in CORPUS].index(f.read())]

    # -- log-in ----------------------------------------------------------------------------
    def test_login_by_title(self):
        # USER in either case, the title compared as the registry compares key names; the
        # title's first word only, as the argument is one word.
        p = Pop3(self.engine.pop3_port)
        self.addCleanup(p.close)
        self.assertEqual(p.line(), b"+OK POP3 server ready")
        self.assertEqual(p.cmd("PASS pw"), AUTH_FAILED)              # no USER before it
        self.assertEqual(p.cmd("user WORK"), "+OK USER accepted")
        self.assertEqual(p.cmd("PASS wrong"), AUTH_FAILED)
        self.assertEqual(p.cmd("PASS pw"), AUTH_FAILED)              # the failure forgot the name
        self.assertEqual(p.cmd("USER"), "-ERR ")
        self.assertEqual(p.cmd("USER nobody"), "+OK USER accepted")   # any name, until PASS
        self.assertEqual(p.cmd("PASS pw"), AUTH_FAILED)
        self.assertEqual(p.cmd("STAT"), "-ERR ")                      # not yet in the mailbox
        self.assertEqual(p.cmd("USER Work"), "+OK USER accepted")
        self.assertEqual(p.cmd("PASS"), "-ERR ")
        self.assertEqual(p.cmd("PASS pw"), "+OK Maildrop accessed")
        self.assertEqual(p.cmd("USER work"), "-ERR ")                 # once logged in

    def test_a_password_is_its_whole_argument_blanks_included(self):
        # The account "Home Mail" cannot be named by a one-word USER argument.
        p = Pop3(self.engine.pop3_port)
        self.addCleanup(p.close)
        p.line()
        self.assertEqual(p.cmd("USER Home"), "+OK USER accepted")
        self.assertEqual(p.cmd("PASS s3cret"), AUTH_FAILED)   # no account titled "Home"
        self.assertEqual(p.cmd("USER work"), "+OK USER accepted")
        self.assertEqual(p.cmd("PASS pw and more"), AUTH_FAILED)   # its first word is not enough
        for wrong in ("PASS two words", "PASS two", "PASS  two words "):
            self.assertEqual(p.cmd("USER spaced"), "+OK USER accepted")
            self.assertEqual(p.cmd(wrong), AUTH_FAILED)
        self.assertEqual(p.cmd("USER spaced"), "+OK USER accepted")
        self.assertEqual(p.cmd("PASS two words "), "+OK Maildrop accessed")

    def test_the_password_never_reaches_the_log(self):
        p = Pop3(self.engine.pop3_port)
        p.login("work", "pw")
        p.cmd("USER x")
        p.cmd("PASS hunter2-secret")
        p.close()
        self.assertFalse([l for l in self.engine.log_lines() if "hunter2" in l or " pw" in l])

    # -- listing ---------------------------------------------------------------------------
    def test_listing_commands_and_their_refusals(self):
        names = self.corpus()
        sizes = [len(stuff(m)) for m in CORPUS]
        by_name = {n: os.path.getsize(os.path.join(self.other.path, n)) for n in names}
        p = self.session()
        self.assertEqual(p.cmd("STAT"), "+OK 3 %d" % sum(sizes))
        p.send("list")
        self.assertEqual(p.line(), b"+OK ")
        self.assertEqual(p.multi(), [b"%d %d" % (i + 1, by_name[n]) for i, n in enumerate(names)])
        self.assertEqual(p.cmd("LIST 2"), "+OK 2 %d" % by_name[names[1]])
        for bad in ("LIST 0", "LIST 4", "LIST x", "LIST 1x", "UIDL 0", "DELE 9", "DELE", "NOOP x",
                    "QUIT now", "STAT 1", "RSET", "APOP a b", "LAST", "CAPA", ""):
            self.assertEqual(p.cmd(bad), "-ERR ", bad)
        for bad in ("RETR 0", "RETR 99", "RETR -1", "TOP 0 1", "TOP 4 0"):
            self.assertEqual(p.cmd(bad), BAD_NUMBER, bad)
        for bad in ("RETR", "RETR x", "TOP 1", "TOP", "TOP 1 x", "TOP 1 2 3"):
            self.assertEqual(p.cmd(bad), BAD_PARAMETERS, bad)
        self.assertEqual(p.cmd("NOOP"), "+OK NOOP")
        self.assertEqual(p.cmd("UIDL 3"), "+OK 3 " + names[2].split("]")[1][:-7].replace("_2D", "-"))

    def test_a_line_over_80_characters_or_with_a_nul_is_refused(self):
        self.other.add_corpus()
        p = self.session()
        self.assertEqual(p.cmd("STAT" + " " * 76), "-ERR ")            # 80: read, and not "STAT"
        self.assertTrue(p.cmd("LIST " + "0" * 74 + "1").startswith("+OK 1 "))   # 80
        self.assertEqual(p.cmd("LIST " + "0" * 75 + "1"), "-ERR ")     # 81
        self.assertEqual(p.cmd("LIST 1" + " " * 80), "-ERR ")
        self.assertEqual(p.cmd(b"NOOP\x00"), "-ERR ")
        self.assertEqual(p.cmd(b"LIST\x00 1"), "-ERR ")
        self.assertEqual(p.cmd("NOOP"), "+OK NOOP")

    def test_uidl_reports_the_providers_identifiers_and_never_a_line_end(self):
        self.other.add(b"AB.12", CORPUS[0])
        self.other.add(b"0000abc_x-y", CORPUS[1])
        self.other.add(b"evil\r\n+OK injected\r\n", CORPUS[2])
        p = self.session()
        p.send("UIDL")
        self.assertEqual(p.line(), b"+OK ")
        ids = sorted(l.split(b" ", 1)[1] for l in p.multi())
        self.assertEqual(ids, sorted([b"AB.12", b"0000abc_x-y", b"evil_0D_0A+OK_20injected_0D_0A"]))
        for n in (1, 2, 3):
            reply = p.cmd("UIDL %d" % n)
            self.assertRegex(reply, r"^\+OK %d [!-~]+$" % n)
        self.assertEqual(p.cmd("NOOP"), "+OK NOOP")   # nothing was injected

    # -- retrieval -------------------------------------------------------------------------
    def test_retr_sends_the_stored_form_and_marks_read_top_does_not(self):
        names = self.corpus()
        message = self.message_of(names[0])
        header = message.split(b"\r\n\r\n")[0].split(b"\r\n")
        body = message.split(b"\r\n\r\n", 1)[1].split(b"\r\n")[:-1]
        p = self.session()
        self.assertEqual(p.cmd("TOP 1 0"), "+OK ")
        self.assertEqual(p.multi(), header + [b""])
        self.assertEqual(p.cmd("TOP 1 2"), "+OK ")
        self.assertEqual(unstuff(p.multi()), b"\r\n".join(header + [b""] + body[:2]) + b"\r\n")
        self.assertEqual(p.cmd("TOP 1 -1"), "+OK ")
        self.assertEqual(unstuff(p.multi()), message)
        self.assertFalse(self.other.is_read(names[0]))
        for i, name in enumerate(names, 1):
            self.assertEqual(p.cmd("RETR %d" % i), "+OK ")
            self.assertEqual(unstuff(p.multi()), self.message_of(name))
            # The mark follows the final "."; the next reply comes after it.
            self.assertEqual(p.cmd("NOOP"), "+OK NOOP")
            self.assertTrue(self.other.is_read(name))
        self.assertEqual(p.cmd("QUIT"), "+OK connection closing")

    def test_an_item_without_a_final_line_end_still_ends_with_a_lone_dot(self):
        name = self.other.add(b"u1", b"Subject: x\r\n\r\nno line end")
        with open(os.path.join(self.other.path, name), "ab") as f:
            f.write(b".")   # "no line end." without CRLF
        p = self.session()
        self.assertEqual(p.cmd("RETR 1"), "+OK ")
        self.assertEqual(p.multi(), [b"Subject: x", b"", b"no line end."])
        self.assertEqual(p.cmd("TOP 1 5"), "+OK ")
        self.assertEqual(p.multi(), [b"Subject: x", b"", b"no line end."])
        self.assertEqual(p.cmd("NOOP"), "+OK NOOP")

    # -- deletion --------------------------------------------------------------------------
    def test_deleted_items_stay_addressable_until_quit_and_go_then(self):
        names = self.corpus()
        p = self.session()
        stat = p.cmd("STAT")
        self.assertEqual(p.cmd("DELE 2"), "+OK Item marked for deletion")
        self.assertEqual(p.cmd("DELE 2"), "+OK Item marked for deletion")
        self.assertEqual(p.cmd("STAT"), stat)
        p.send("LIST")
        p.line()
        self.assertEqual([l.split(b" ")[0] for l in p.multi()], [b"1", b"3"])
        self.assertTrue(p.cmd("LIST 2").startswith("+OK 2 "))
        self.assertTrue(p.cmd("UIDL 2").startswith("+OK 2 uid-"))
        self.assertEqual(p.cmd("RETR 2"), "+OK ")
        p.multi()   # now read-only: deleting it must clear that first
        self.assertEqual(p.cmd("NOOP"), "+OK NOOP")
        self.assertTrue(self.other.is_read(names[1]))
        self.assertEqual(p.cmd("QUIT"), "+OK connection closing")
        self.assertTrue(p.closed_by_peer())
        self.assertEqual(self.other.names(), sorted([names[0], names[2]]))

    def test_a_close_without_quit_deletes_nothing(self):
        names = self.corpus()
        p = self.session()
        p.cmd("DELE 1")
        p.cmd("DELE 3")
        p.close()
        time.sleep(0.3)
        q = self.session()   # a new session sees everything
        self.assertEqual(q.cmd("STAT").split()[1], "3")
        self.assertEqual(self.other.names(), sorted(names))

    def test_an_item_that_cannot_be_deleted_gives_a_negative_quit_and_loses_its_read_state(self):
        names = self.corpus()
        p = self.session()
        p.cmd("DELE 1")
        p.cmd("DELE 2")
        # Item 1 becomes a directory holding a file: unlink refuses it even for root.
        stuck = os.path.join(self.other.path, names[0])
        os.unlink(stuck)
        os.mkdir(stuck)
        open(os.path.join(stuck, "keep"), "w").close()
        os.chmod(stuck, 0o555)   # read
        self.assertEqual(p.cmd("QUIT"), "-ERR connection closing")
        self.assertTrue(os.path.isdir(stuck))
        self.assertTrue(os.stat(stuck).st_mode & 0o200, "the read state must be cleared")
        self.assertFalse(os.path.exists(os.path.join(self.other.path, names[1])))
        self.assertIn(" APP HIGH NOT DELETED : " + self.other.dropdir + names[0], self.engine.log_texts())

    def test_two_sessions_on_one_mailbox_have_their_own_listings(self):
        self.corpus()
        a = self.session()
        self.other.add(b"late", CORPUS[0])
        b = self.session()
        self.assertEqual(a.cmd("STAT").split()[1], "3")
        self.assertEqual(b.cmd("STAT").split()[1], "4")
        a.cmd("DELE 1")
        self.assertEqual(a.cmd("QUIT"), "+OK connection closing")
        self.assertTrue(a.closed_by_peer())
        self.assertEqual(b.cmd("STAT").split()[1], "4")
        self.assertEqual(len(self.other.names()), 3)

    # -- order and flow --------------------------------------------------------------------
    def test_pipelined_commands_are_answered_in_order(self):
        self.corpus()
        p = self.session()
        p.sock.sendall(b"LIST\r\nUIDL\r\nRETR 1\r\nTOP 2 0\r\nSTAT\r\nNOOP\r\n")
        self.assertEqual(p.line(), b"+OK ")
        self.assertEqual(len(p.multi()), 3)
        self.assertEqual(p.line(), b"+OK ")
        self.assertEqual(len(p.multi()), 3)
        self.assertEqual(p.line(), b"+OK ")
        self.assertIn(unstuff(p.multi()), CORPUS)
        self.assertEqual(p.line(), b"+OK ")
        p.multi()
        self.assertTrue(p.line().startswith(b"+OK 3 "))
        self.assertEqual(p.line(), b"+OK NOOP")

    def test_a_slow_reader_gets_large_items_whole_and_in_order(self):
        big = b"Subject: big\r\n\r\n" + b"".join(b"line %07d " % i + b"z" * 100 + b"\r\n" for i in range(60000))
        self.other.add(b"big1", big)
        self.other.add(b"big2", big.replace(b"big", b"BIG"))
        p = self.session()
        p.sock.sendall(b"RETR 1\r\nRETR 2\r\nLIST 1\r\nQUIT\r\n")
        time.sleep(1.0)   # 14 MB fill the sockets: the engine must wait, not drop bytes
        got = []
        for _ in range(2):
            self.assertEqual(p.line(), b"+OK ")
            got.append(unstuff(p.multi()))
        self.assertEqual(sorted(got), sorted([big, big.replace(b"big", b"BIG")]))
        self.assertTrue(p.line().startswith(b"+OK 1 "))
        self.assertEqual(p.line(), b"+OK connection closing")
        self.assertTrue(all(self.other.is_read(n) for n in self.other.names()))

    def test_a_retr_cut_off_by_the_client_leaves_the_item_unread(self):
        big = b"Subject: big\r\n\r\n" + b"y" * 120 * 1024 * 80 + b"\r\n"   # ~10 MB
        name = self.other.add(b"big", big)
        p = self.session()
        p.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        p.send("RETR 1")
        self.assertEqual(p.line(), b"+OK ")
        p.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        p.close()   # reset in the middle of the item
        time.sleep(0.5)
        self.assertFalse(self.other.is_read(name))
        self.assertEqual(self.session().cmd("STAT").split()[1], "1")   # the engine serves on

    def test_an_endless_line_is_answered_and_the_connection_closed(self):
        p = Pop3(self.engine.pop3_port)
        self.addCleanup(p.close)
        p.line()
        chunk = b"U" * 65536
        try:
            for _ in range(40):   # 2.5 MB without CRLF
                p.sock.sendall(chunk)
        except OSError:
            pass
        self.assertEqual(p.line(), b"-ERR line too long")
        self.assertTrue(p.closed_by_peer())


if __name__ == "__main__":
    unittest.main()
