"""Loading the package database: every run consumes the schedule files of every record."""
import pytest

from database_roots import run_installer, write_record


@pytest.mark.parametrize("word", ["uninstall", "enable", "disable", "reboot", ""])
def test_schedule_files_are_consumed_even_by_file_collection(tmp_path, word):
    records = [
        write_record(tmp_path, "base", files=[], schedule=word),
        write_record(tmp_path, "netset", schedule=word),                             # bundle record
        write_record(tmp_path, "broken", files=[], version_line="", schedule=word),  # damaged
    ]
    hidden = write_record(tmp_path, ".staged", files=[], schedule=word)
    (tmp_path / "data").mkdir()
    result = run_installer(tmp_path, "--filegc", "/data")
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert [(record / "schedule").exists() for record in records] == [False, False, False]
    assert (hidden / "schedule").read_text() == word

