#!/usr/bin/env python3
"""The threads check on code it must refuse and code it must let through,
in a tree of its own; then on the allow-list's rules."""

import importlib.util
import pathlib
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-threads.py"
spec = importlib.util.spec_from_file_location("check_threads", SCRIPT)
check = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check)

# (name, code, places found)
CASES = [
    ("a temporary thread", "std::thread([] { run(); }).detach();", 1),
    ("a thread variable", "std::thread worker(run, 3);", 1),
    ("braces", "std::jthread worker{run};", 1),
    ("new", "auto* t = new std::thread(run);", 1),
    ("make_unique", "auto t = std::make_unique<std::thread>(run);", 1),
    ("boost", "boost::thread t(run);", 1),
    ("a container filled in place",
     "std::vector<std::thread> workers;\nworkers.emplace_back([] { run(); });", 1),
    ("pthread_create", "pthread_create(&id, nullptr, body, nullptr);", 1),
    ("std::async", "auto done = std::async(std::launch::async, run);", 1),
    ("an empty thread", "std::thread mThread;\nstd::thread none{};\nstd::thread other = std::thread();", 0),
    ("startThread's result", "std::thread t = platform::startThread(run);\nmThread = startThread([this] { loop(); });", 0),
    ("a container of startThread's results",
     "std::vector<std::thread> workers;\nworkers.emplace_back(platform::startThread(run));", 0),
    ("members of std::thread", "std::this_thread::yield();\nauto n = std::thread::hardware_concurrency();\n"
                               "std::thread::id id;", 0),
    ("comments and texts", '// std::thread(run) is refused\nLogInfo("pthread_create(%d)", 1);\n'
                           "/* std::async(run) */", 0),
]


class ThreadsCheck(unittest.TestCase):
    def tree_with(self, files):
        folder = tempfile.TemporaryDirectory()
        root = pathlib.Path(folder.name)
        for relative, code in files.items():
            (root / relative).parent.mkdir(parents=True, exist_ok=True)
            (root / relative).write_text(code)
        return folder, root

    def test_finds_each_way_of_starting_a_thread_and_nothing_else(self):
        for name, code, places in CASES:
            with self.subTest(name):
                folder, root = self.tree_with({"engine/services/Code.cpp": code})
                with folder:
                    found = list(check.violations(root))
                self.assertEqual(len(found), places, found)
                for line in found:
                    self.assertTrue(line.startswith("engine/services/Code.cpp:"), line)

    def test_lines_are_those_of_the_file_and_tests_are_not_looked_at(self):
        code = '/* one\ntwo */\nconst char* text = "a\\"b";\nstd::thread t(run);\n'
        folder, root = self.tree_with({"app/A.cpp": code, "tests/app/T.cpp": "std::thread t(run);",
                                       "bench/B.cpp": "std::thread t(run);",
                                       check.IMPLEMENTATION: "return std::thread([] {});"})
        with folder:
            self.assertEqual(list(check.violations(root)),
                             ["app/A.cpp:4: makes a thread; start it with platform::startThread"])

    def test_the_allow_list_takes_a_reason_and_no_stale_entry(self):
        folder, root = self.tree_with({"app/A.cpp": "std::thread t(run);", "app/B.cpp": "int b;"})
        with folder:
            check.ALLOWED = {"app/A.cpp": "a reason"}
            self.assertEqual(list(check.violations(root)), [])
            check.ALLOWED = {"app/A.cpp": " "}
            self.assertEqual(list(check.violations(root)), ["app/A.cpp: allowed without a reason"])
            check.ALLOWED = {"app/A.cpp": "a reason", "app/B.cpp": "another"}
            self.assertEqual(list(check.violations(root)),
                             ["app/B.cpp: allowed, but starts no thread any more; take it off the list"])
        check.ALLOWED = {}


if __name__ == "__main__":
    unittest.main()
