"""Loading the package database: schedule files are requests that stay until a run carries them out
or refuses them; file collection carries out none and leaves them."""
import pytest

from database_roots import run_installer, write_record


@pytest.mark.parametrize("word", ["uninstall", "enable", "disable", "reboot", ""])
def test_schedule_files_stay_through_file_collection_and_go_after_a_run(tmp_path, word):
    records = [
        write_record(tmp_path, "base", files=[], schedule=word),
        write_record(tmp_path, "netset", schedule=word),                             # bundle record
        write_record(tmp_path, "broken", files=[], version_line="", schedule=word),  # damaged
    ]
    hidden = write_record(tmp_path, ".staged", files=[], schedule=word)
    (tmp_path / "data").mkdir()
    result = run_installer(tmp_path, "--filegc", "/data")
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert [(record / "schedule").read_text() for record in records] == [word] * 3
    run_installer(tmp_path, "missing.vrp")
    assert [(record / "schedule").exists() for record in records] == [False, False, False]
    assert (hidden / "schedule").read_text() == word
