"""The layering check on small made-up trees: each wrong direction it must name, and silence on a
tree that keeps its layers."""
import os
import subprocess
import sys

import pytest

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "check_layers.py")

CLEAN = {
    "common/codec.h": "",
    "installer/state/console.h": '#include "common/codec.h"\n',
    "installer/apply/copy.cpp": '#include "installer/state/console.h"\n#include "installer/apply/copy.h"\n',
    "installer/apply/copy.h": "",
    "installer/main.cpp": '#include "installer/apply/copy.h"\n',
    "setup/CMakeLists.txt": "target_link_libraries(setup_flows PUBLIC setup_disk)  # no LINK_GROUP here\n",
}

CASES = {
    "clean": ({}, []),
    "common reaches up": ({"common/codec.h": '#include "installer/state/console.h"\n'},
                          ["layer: common/codec.h (common) includes installer/state/console.h (installer/state)",
                           "folder circle: common <-> installer/state",
                           "file circle: common/codec <-> installer/state/console"]),
    "lower layer includes a higher one": (
        {"installer/state/console.h": '#include "installer/apply/copy.h"\n'},
        ["layer: installer/state/console.h (installer/state) includes installer/apply/copy.h (installer/apply)",
         "folder circle: installer/apply <-> installer/state",
         "file circle: installer/apply/copy <-> installer/state/console"]),
    "two files of one folder include each other": (
        {"setup/disk/a.h": '#include "setup/disk/b.h"\n', "setup/disk/b.h": "",
         "setup/disk/b.cpp": '#include "setup/disk/a.h"\n'},
        ["file circle: setup/disk/a <-> setup/disk/b"]),
    "program reaches into the other": ({"setup/tui/menu.cpp": '#include "installer/state/console.h"\n'},
                                        ["layer: setup/tui/menu.cpp (setup/tui) includes installer/state/console.h "
                                         "(installer/state)"]),
    "link groups": ({"setup/CMakeLists.txt": 'target_link_libraries(s "$<LINK_GROUP:RESCAN,a,b>")\n',
                     "media/build.sh": "g++ -Wl,--start-group $libs -Wl,--end-group\n"},
                    ["link group: media/build.sh:1: g++ -Wl,--start-group $libs -Wl,--end-group",
                     'link group: setup/CMakeLists.txt:1: target_link_libraries(s "$<LINK_GROUP:RESCAN,a,b>")']),
}


@pytest.mark.parametrize("name", CASES)
def test_check_layers_names_each_wrong_direction(tmp_path, name):
    changes, expected = CASES[name]
    for path, text in {**CLEAN, **changes}.items():
        (tmp_path / path).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / path).write_text(text)
    result = subprocess.run([sys.executable, SCRIPT, str(tmp_path)], capture_output=True, text=True)
    assert sorted(result.stdout.splitlines()) == sorted(expected or ["check_layers: layers point one way"])
    assert result.returncode == (1 if expected else 0)
