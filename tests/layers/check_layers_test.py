#!/usr/bin/env python3
"""Runs check_layers.py on tiny trees, clean and with one fault each, and checks its verdicts."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().with_name("check_layers.py")

# Every layer, each folder including only below it, fcgi the CGI functions beside it.
CLEAN = {
    "result/Status.h": "",
    "encoder/FormatTable.h": '#include <vector>\n#include "result/Status.h"\n',
    "render/SymbolLayout.cpp": '#include "encoder/FormatTable.h"\n#include "render/SymbolLayout.h"\n',
    "request/Answer.h": '#include "render/SymbolLayout.h"\n',
    "cgi/CgiRequest.h": '#include "request/Answer.h"\n',
    "fcgi/FastCgiResponder.cpp": '#include "cgi/CgiRequest.h"\n#include "request/Answer.h"\n',
    "include/korvex/korvex.h": '#include "korvex/export.h"\n',
    "library/Korvex.cpp": '#include "korvex/korvex.h"\n#include "request/Answer.h"\n',
    # Neither build folders nor the tests are the layers' business.
    "build/generated.cpp": '#include "cgi/CgiRequest.h"\n',
    "tests/unit/Test.cpp": '#include "fcgi/FastCgiResponder.h"\n',
    "docs/notes.txt": '#include "cgi/CgiRequest.h"\n',
}

# Each fault added to the clean tree, with the texts the report must hold.
FAULTS = [
    ("a core file including request/",
     {"encoder/FormatTable.h": '#include <vector>\n#include "request/Answer.h"\n'},
     ["encoder/FormatTable.h:2:", "higher layer", "'request'"]),
    ("request including a front end",
     {"request/Answer.h": '#include "cgi/CgiRequest.h"\n'},
     ["request/Answer.h:1:", "higher layer", "'cgi'"]),
    ("two core folders including each other",
     {"encoder/Matrix.h": '\n\n#include "render/SymbolLayout.h"\n'},
     ["encoder/Matrix.h:3:", "render/SymbolLayout.cpp:1:", "cycle encoder -> render -> encoder"]),
    ("a cycle of three core folders",
     {"encoder/Matrix.h": '#include "png/PngWriter.h"\n', "png/PngWriter.cpp": '#include "render/SymbolLayout.h"\n'},
     ["encoder/Matrix.h:1:", "cycle encoder -> png -> render -> encoder"]),
    ("two front ends including each other",
     {"cgi/HttpAnswer.cpp": '#include "fcgi/FastCgiResponder.h"\n'},
     ["cgi/HttpAnswer.cpp:1:", "fcgi/FastCgiResponder.cpp:1:", "cycle cgi -> fcgi -> cgi"]),
    ("a folder without a layer",
     {"tools/Tool.cpp": '#include "request/Answer.h"\n'},
     ["tools/Tool.cpp", "no layer"]),
    ("an include from a folder without a layer",
     {"cli/Program.cpp": '#include "support/Paths.h"\n'},
     ["cli/Program.cpp:1:", "'support'", "no layer"]),
]


def run_on(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, str(SCRIPT), root], capture_output=True, text=True)
        return done.returncode, done.stdout


class CheckLayersTest(unittest.TestCase):
    def test_clean_tree_passes(self):
        status, output = run_on(CLEAN)
        self.assertEqual(status, 0, output)
        self.assertIn("layers: 8 files, 8 include edges", output)

    def test_each_fault_fails_and_is_named(self):
        for label, changed, expected in FAULTS:
            with self.subTest(label):
                status, output = run_on({**CLEAN, **changed})
                self.assertEqual(status, 1, output)
                for text in expected:
                    self.assertIn(text, output)


if __name__ == "__main__":
    unittest.main()
