#!/usr/bin/env python3
"""The threads check on code it must refuse or let through, and its allow-list."""

import importlib.util
import pathlib
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-threads.py"
spec = importlib.util.spec_from_file_location("check_threads", SCRIPT)
check = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check)

REFUSED = {
    "a temporary thread": "std::thread([] { run(); }).detach();",
    "a thread variable": "std::thread worker(run, 3);",
    "braces": "std::jthread worker{run};",
    "make_unique": "auto t = std::make_unique<std::thread>(run);",
    "boost": "boost::thread t(run);",
    "a container filled in place": "std::vector<std::thread> workers;\nworkers.emplace_back([] { run(); });",
    "pthread_create": "pthread_create(&id, nullptr, body, nullptr);",
    "std::async": "auto done = std::async(std::launch::async, run);",
}
ACCEPTED = {
    "an empty thread": "std::thread mThread;\nstd::thread none{};\nstd::thread other = std::thread();",
    "startThread's result": "std::thread t = platform::startThread(run);\nmThread = startThread([this] { loop(); });",
    "a container of startThread's results":
        "std::vector<std::thread> workers;\nworkers.emplace_back(platform::startThread(run));",
    "members of std::thread":
        "std::this_thread::yield();\nauto n = std::thread::hardware_concurrency();\nstd::thread::id id;",
    "comments and texts": '// std::thread(run) is refused\nLogInfo("pthread_create(%d)", 1);\n/* std::async(run) */',
}


def violations(files, allowed=None):
    check.ALLOWED = allowed or {}
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        for relative, code in files.items():
            (root / relative).parent.mkdir(parents=True, exist_ok=True)
            (root / relative).write_text(code)
        return list(check.violations(root))


class ThreadsCheck(unittest.TestCase):
    def test_finds_each_way_of_starting_a_thread_and_nothing_else(self):
        for name, code in {**REFUSED, **ACCEPTED}.items():
            with self.subTest(name):
                found = violations({"engine/services/Code.cpp": code})
                self.assertEqual([line.split(":")[0] for line in found],
                                 ["engine/services/Code.cpp"] if name in REFUSED else [], found)

    def test_lines_are_those_of_the_file_and_tests_are_not_looked_at(self):
        code = '/* one\ntwo */\nconst char* text = "a\\"b";\nstd::thread t(run);\n'
        self.assertEqual(violations({"app/A.cpp": code, "tests/app/T.cpp": "std::thread t(run);",
                                     "bench/B.cpp": "std::thread t(run);",
                                     check.IMPLEMENTATION: "return std::thread([] {});"}),
                         ["app/A.cpp:4: makes a thread; start it with platform::startThread"])

    def test_the_allow_list_takes_a_reason_and_no_stale_entry(self):
        files = {"app/A.cpp": "std::thread t(run);", "app/B.cpp": "int b;"}
        self.assertEqual(violations(files, {"app/A.cpp": "a reason"}), [])
        self.assertEqual(violations(files, {"app/A.cpp": " "}), ["app/A.cpp: allowed without a reason"])
        self.assertEqual(violations(files, {"app/A.cpp": "a reason", "app/B.cpp": "another"}),
                         ["app/B.cpp: allowed, but starts no thread any more; take it off the list"])


if __name__ == "__main__":
    unittest.main()
