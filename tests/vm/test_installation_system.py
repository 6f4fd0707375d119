"""The installation system as built, with setup itself as the first process."""
import vm_runner


def test_setup_starts_on_the_serial_console_and_reports_a_missing_disk(media):
    # A CD-ROM installation that finds no disk still waits for Enter before it restarts.
    run = vm_runner.boot(media, {"/TYPE": (0o644, b"cdrom\n")}, timeout=120,
                         answers=[("Press ENTER to reboot", "\r")])
    assert "Looking for harddrives..." in run.output, run.output[-3000:]
    assert "\nFATAL ERROR: no harddrives found" in run.output
    assert "Rebooting..." in run.output
    assert run.finished
