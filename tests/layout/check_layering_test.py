#!/usr/bin/env python3
"""The layering check on small source trees: what it lets through and what it reports."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import check_layering  # noqa: E402


class LayeringCheckTest(unittest.TestCase):
    def check(self, files: dict[str, str]) -> list[str]:
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                path = pathlib.Path(root, name)
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_text(text, encoding="utf-8")
            return check_layering.violations(pathlib.Path(root))

    def test_allowed_includes_pass(self):
        cases = {
            "own folder": {"infra/text/A.cpp": '#include "infra/xml/B.h"\n'},
            "below": {"database/D.cpp": '#include "infra/text/A.h"\n#include "service/Service.Config.h"\n'},
            "session uses the core": {"session/S.h": '#include "report/R.h"\n#include "drift/D.h"\n'},
            "front ends use the session": {"gui/W.cpp": '#include "session/S.h"\n', "cli/C.cpp": '# include "session/S.h"\n'},
            "system and unfoldered includes": {"infra/A.cpp": '#include <QString>\n#include "A.h"\n#include <Qsci/q.h>\n'},
            "commented out": {"infra/A.cpp": '// #include "gui/W.h"\n'},
        }
        for name, files in cases.items():
            with self.subTest(name):
                self.assertEqual(self.check(files), [])

    def test_forbidden_includes_name_file_and_line(self):
        cases = {
            "upwards": ({"infra/logging/L.cpp": '#include <QFile>\n\n#include "gui/W.h"\n'},
                        ['infra/logging/L.cpp:3: infra may not include gui: #include "gui/W.h"']),
            "sideways": ({"diff/D.h": '#pragma once\n#include "service/S.h"\n'},
                         ['diff/D.h:2: diff may not include service: #include "service/S.h"']),
            "core into a front end": ({"session/S.cpp": '#include "cli/C.h"\n'},
                                      ['session/S.cpp:1: session may not include cli: #include "cli/C.h"']),
            "one front end into the other": ({"gui/W.cpp": '  #  include "cli/C.h"\n'},
                                             ['gui/W.cpp:1: gui may not include cli: #  include "cli/C.h"']),
            "unknown folder included": ({"report/R.cpp": '#include "widgets/W.h"\n'},
                                        ['report/R.cpp:1: report may not include widgets: #include "widgets/W.h"']),
        }
        for name, (files, expected) in cases.items():
            with self.subTest(name):
                self.assertEqual(self.check(files), expected)

    def test_a_folder_without_a_row_is_reported(self):
        found = self.check({"plugins/P.cpp": '#include "infra/A.h"\n'})
        self.assertEqual(len(found), 1)
        self.assertTrue(found[0].startswith("plugins/: no row in the layering table"), found[0])


if __name__ == "__main__":
    unittest.main()
