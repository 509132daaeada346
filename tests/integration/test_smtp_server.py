"""The local SMTP server of a running engine: real clients (smtplib, curl) and raw dialogues
for each rule of the conversation, with the queue checked file by file."""

import datetime
import os
import re
import shutil
import smtplib
import subprocess
import tempfile
import time
import unittest

from harness import Dialogue, Engine, wait_until

RECEIVED = re.compile(r"^Received: from localhost by localhost \(Tarnwick MTA\) ; "
                      r"\d{2} [A-Z][a-z]{2} \d{4} \d{2}:\d{2}:\d{2} [+-]\d{4}\r\n")
UNRECOGNISED = "500 command unrecognised"


class SmtpServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.engine = Engine(env={"TZ": "IST-5:30"}).start()

    @classmethod
    def tearDownClass(cls):
        cls.engine.stop()

    def setUp(self):
        outgoing = os.path.join(self.engine.work, "outgoing")
        for name in os.listdir(outgoing):
            os.unlink(os.path.join(outgoing, name))

    def dialogue(self, helo=True):
        d = Dialogue(self.engine.smtp_port)
        self.assertEqual(d.line(), "220 LOCALHOST Service ready")
        if helo:
            self.assertEqual(d.cmd("HELO client.example"), "250 HELO accepted")
        self.addCleanup(d.close)
        return d

    def items(self):
        return self.engine.queued_items()

    def send_message(self, d, sender, recipients, lines):
        self.assertEqual(d.cmd("MAIL FROM:" + sender), "250 Return-path '%s' okay" % sender)
        for r in recipients:
            self.assertEqual(d.cmd("RCPT TO:" + r), "250 Recipient '%s' okay" % r)
        self.assertEqual(d.cmd("DATA"), "354 Start mail input; end with <CRLF>.<CRLF>")
        for l in lines:
            d.send(l)
        return d.cmd(".")

    # -- the conversation ------------------------------------------------------------------
    def test_helo_rules(self):
        d = self.dialogue(helo=False)
        self.assertEqual(d.cmd("MAIL FROM:<a@x>"), UNRECOGNISED)   # before HELO
        self.assertEqual(d.cmd("HELO"), UNRECOGNISED)              # no argument
        self.assertEqual(d.cmd("EHLO"), UNRECOGNISED)              # no argument either
        self.assertEqual(d.cmd("helo client"), "250 HELO accepted")
        self.assertEqual(d.cmd("HELO again"), UNRECOGNISED)        # once ready
        self.assertEqual(d.cmd("NOOP"), UNRECOGNISED)
        self.assertEqual(d.cmd(""), UNRECOGNISED)

    def test_envelope_rules(self):
        d = self.dialogue()
        self.assertEqual(d.cmd("RCPT TO:<b@y>"), UNRECOGNISED)     # no MAIL yet
        self.assertEqual(d.cmd("MAIL FROM:"), UNRECOGNISED)        # no word
        self.assertEqual(d.cmd("MAIL <a@x>"), UNRECOGNISED)
        self.assertEqual(d.cmd("mail from: <a@x> SIZE=10"), "250 Return-path '<a@x>' okay")
        self.assertEqual(d.cmd("MAIL FROM:<c@x>"), UNRECOGNISED)   # twice in one transaction
        self.assertEqual(d.cmd("DATA"), UNRECOGNISED)              # no recipient
        self.assertEqual(d.cmd("RCPT TO:"), UNRECOGNISED)
        self.assertEqual(d.cmd("rcpt to:<b@y>"), "250 Recipient '<b@y>' okay")
        self.assertEqual(d.cmd("DATA now"), UNRECOGNISED)          # trailing text
        self.assertEqual(d.cmd("RSET x"), UNRECOGNISED)
        self.assertEqual(d.cmd("rset"), "250 RSET okay")
        self.assertEqual(d.cmd("RCPT TO:<b@y>"), UNRECOGNISED)     # the envelope is empty again

    def test_a_command_line_over_80_characters_counts_as_empty(self):
        d = self.dialogue(helo=False)
        self.assertEqual(d.cmd("HELO " + "a" * 76), UNRECOGNISED)   # 81 characters
        self.assertEqual(d.cmd("HELO " + "a" * 75), "250 HELO accepted")   # 80 characters

    def test_quit_rules(self):
        d = self.dialogue()
        self.assertEqual(d.cmd("QUIT now"), UNRECOGNISED)
        self.assertEqual(d.cmd("quit"), "221 LOCALHOST Service closing transmission channel")
        self.assertTrue(d.closed_by_peer())

    # -- what is stored ----------------------------------------------------------------------
    def test_a_message_is_stored_exactly_with_its_envelope(self):
        d = self.dialogue()
        reply = self.send_message(d, "<ann@example.org>", ["<bob@example.net>"],
                                  ["Subject: hi", "", "..starts with two dots"])
        self.assertEqual(reply, "250 okay mail item received")
        names = self.engine.queue()
        self.assertEqual(len(names), 2, names)
        self.assertRegex(names[0], r"^\d{17}\.rfc822$")
        self.assertEqual(names[1], names[0] + ".route")
        [(text, route)] = self.items()
        m = RECEIVED.match(text.decode("latin-1"))
        self.assertIsNotNone(m, text[:120])
        self.assertTrue(m.group(0).endswith("+0530\r\n"), m.group(0))   # TZ of this engine
        self.assertEqual(text[m.end():], b"Subject: hi\r\n\r\n..starts with two dots\r\n")
        self.assertEqual(route, ["<ann@example.org>", "<bob@example.net>"])
        # Nothing is left behind in the working directory.
        self.assertEqual([n for n in os.listdir(self.engine.work) if "rfc822" in n], [])

    def test_each_transaction_gets_its_own_item_and_envelope(self):
        d = self.dialogue()
        self.assertEqual(self.send_message(d, "<a@x>", ["<one@y>", "<two@y>"], ["first"]),
                         "250 okay mail item received")
        self.assertEqual(d.cmd("RSET"), "250 RSET okay")
        self.assertEqual(self.send_message(d, "<a@x>", ["<three@y>"], ["second"]),
                         "250 okay mail item received")
        # Without RSET the next MAIL starts a new transaction too, with only its own recipients.
        self.assertEqual(self.send_message(d, "<c@x>", ["<four@y>"], ["third"]),
                         "250 okay mail item received")
        items = self.items()
        self.assertEqual(len(items), 3)
        routes = sorted(route for _, route in items)
        self.assertEqual(routes, [["<a@x>", "<one@y>", "<two@y>"], ["<a@x>", "<three@y>"],
                                  ["<c@x>", "<four@y>"]])
        bodies = sorted(RECEIVED.sub("", t.decode()) for t, _ in items)
        self.assertEqual(bodies, ["first\r\n", "second\r\n", "third\r\n"])

    def test_long_data_lines_are_stored_whole(self):
        d = self.dialogue()
        long_line = "<p>" + "x" * 5000 + "</p>"
        crlf_inside = "a lone\nLF and a lone\rCR"
        self.assertEqual(self.send_message(d, "<a@x>", ["<b@y>"], [long_line, crlf_inside]),
                         "250 okay mail item received")
        [(text, _)] = self.items()
        self.assertEqual(RECEIVED.sub("", text.decode()), long_line + "\r\n" + crlf_inside + "\r\n")

    def test_a_connection_lost_in_the_data_leaves_no_item(self):
        d = self.dialogue()
        d.cmd("MAIL FROM:<a@x>")
        d.cmd("RCPT TO:<b@y>")
        self.assertEqual(d.cmd("DATA"), "354 Start mail input; end with <CRLF>.<CRLF>")
        d.send("Subject: never finished")
        time.sleep(0.2)
        self.assertEqual(len([n for n in os.listdir(self.engine.work) if n.endswith(".rfc822")]), 1)
        d.close()
        self.assertTrue(wait_until(
            lambda: not [n for n in os.listdir(self.engine.work) if n.endswith(".rfc822")]))
        self.assertEqual(self.engine.queue(), [])

    # -- real e-mail programs --------------------------------------------------------------
    def test_smtplib_and_curl_deliver_and_the_controller_hears_of_it(self):
        watch = self.engine.ctl_background("watch", "--timeout", "20")
        self.addCleanup(lambda: watch.poll() is None and watch.kill())
        time.sleep(0.3)
        body = "From: ann@example.org\r\nSubject: smtplib\r\n\r\nHello.\r\n.dot line\r\n"
        with smtplib.SMTP("127.0.0.1", self.engine.smtp_port, timeout=10) as s:
            refused = s.sendmail("ann@example.org", ["bob@example.net", "cy@example.net"], body)
            self.assertEqual(refused, {})
        self.assertTrue(wait_until(lambda: len(self.items()) == 1))

        mail = os.path.join(self.engine.root, "curl-mail.txt")
        with open(mail, "wb") as f:
            f.write(b"From: ann@example.org\r\nSubject: curl\r\n\r\nHi from curl.\r\n")
        r = subprocess.run(["curl", "-sS", "smtp://127.0.0.1:%d" % self.engine.smtp_port,
                            "--mail-from", "ann@example.org", "--mail-rcpt", "dee@example.net",
                            "--upload-file", mail], capture_output=True, text=True, env=self.engine.env, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(wait_until(lambda: len(self.items()) == 2))

        texts = {tuple(route): RECEIVED.sub("", t.decode()) for t, route in self.items()}
        self.assertEqual(texts[("<ann@example.org>", "<bob@example.net>", "<cy@example.net>")],
                         "From: ann@example.org\r\nSubject: smtplib\r\n\r\nHello.\r\n..dot line\r\n")
        self.assertEqual(texts[("<ann@example.org>", "<dee@example.net>")],
                         "From: ann@example.org\r\nSubject: curl\r\n\r\nHi from curl.\r\n")
        time.sleep(0.3)
        watch.kill()
        out, _ = watch.communicate()
        self.assertEqual(out.split(), ["NEW_OUTGOING_MAIL", "NEW_OUTGOING_MAIL"])


class SmtpServerFailures(unittest.TestCase):
    def ready_envelope(self, engine):
        d = Dialogue(engine.smtp_port)
        self.addCleanup(d.close)
        d.line()
        d.cmd("HELO x")
        d.cmd("MAIL FROM:<a@x>")
        d.cmd("RCPT TO:<b@y>")
        return d

    def test_an_item_file_that_cannot_be_created_gets_451(self):
        with Engine() as e:
            d = self.ready_envelope(e)
            shutil.rmtree(e.work)   # nothing can be created in the engine's working directory
            self.assertEqual(d.cmd("DATA"), "451 Unable to open file for incoming mail data")
            self.assertEqual(d.cmd("RCPT TO:<c@y>"), "250 Recipient '<c@y>' okay")   # envelope kept

    def test_a_routing_file_that_cannot_be_written_gets_554(self):
        with Engine() as e:
            d = self.ready_envelope(e)
            # Every routing file name of the next seconds is taken by a directory.
            now = datetime.datetime.now(datetime.timezone.utc)
            for ms in range(0, 4000):
                t = now + datetime.timedelta(milliseconds=ms)
                name = t.strftime("%Y%m%d%H%M%S") + "%03d.rfc822.route" % (t.microsecond // 1000)
                os.makedirs(os.path.join(e.work, name), exist_ok=True)
            self.assertEqual(d.cmd("DATA"), "354 Start mail input; end with <CRLF>.<CRLF>")
            d.send("Subject: x")
            self.assertEqual(d.cmd("."), "554 failed writing routing file")
            self.assertEqual(e.queue(), [])
            self.assertIn("MAIL HIGH SMTP mail item failure (routing failed)", e.log_texts())
            # The session goes on, with an empty envelope.
            self.assertEqual(d.cmd("RCPT TO:<b@y>"), "500 command unrecognised")
            self.assertEqual(d.cmd("MAIL FROM:<a@x>"), "250 Return-path '<a@x>' okay")


if __name__ == "__main__":
    unittest.main()
