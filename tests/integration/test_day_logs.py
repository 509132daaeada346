"""The engine's day logs do not pile up: at start-up it removes those older than LogKeepDays
(30 unless set; 0 keeps all), and nothing else in its working directory."""

import datetime
import os
import unittest

from harness import Engine


def log_name(days_ago):
    return (datetime.date.today() - datetime.timedelta(days=days_ago)).strftime("%Y%m%d.log")


class DayLogs(unittest.TestCase):
    def plant(self, e, names):
        for name in names:
            with open(os.path.join(e.work, name), "w") as f:
                f.write("120000   APP  MED old line\n")

    def test_start_up_removes_logs_older_than_thirty_days_and_nothing_else(self):
        e = Engine()
        try:
            old, kept = log_name(31), log_name(30)
            self.plant(e, [old, kept, "notes.log", "20261399.log"])
            e.start()
            names = os.listdir(e.work)
            self.assertNotIn(old, names)
            for name in (kept, "notes.log", "20261399.log"):
                self.assertIn(name, names)
            self.assertIn(" APP  MED Removed old day log : " + old, e.log_texts())
        finally:
            e.stop()

    def test_log_keep_days_sets_the_age_and_zero_keeps_all(self):
        e = Engine()
        try:
            e.write_registry({"LogKeepDays": 0})
            self.plant(e, [log_name(400)])
            e.start()
            self.assertIn(log_name(400), os.listdir(e.work))
            e.ctl("shutdown", timeout=10)
            e.proc.wait(timeout=10)
            e.stderr_file.close()

            e.write_registry({"LogKeepDays": 3})
            self.plant(e, [log_name(3), log_name(4)])
            e.start()
            names = os.listdir(e.work)
            self.assertEqual([n for n in (log_name(400), log_name(4), log_name(3)) if n in names],
                             [log_name(3)])
        finally:
            e.stop()


if __name__ == "__main__":
    unittest.main()
