"""Scheduled uninstalls, enables and disables carried out at start: what the plan refuses, what it
cascades, and the order it works in."""
import pytest

import vrp
from install_harness import install, installed_names, make_root, run_installer, schedule

REGULAR = vrp.TYPE_REGULAR | 0o644


def package(name, depends=(), conflicts=(), version="1.0"):
    extra = []
    if depends:
        extra.append(vrp.part(vrp.PART_DEPENDENCIES, vrp.name_list(list(depends))))
    if conflicts:
        extra.append(vrp.part(vrp.PART_CONFLICTS, vrp.name_list(list(conflicts))))
    return vrp.raw_package(name, version, [vrp.file_record("/" + name, REGULAR, name)], extra_parts=extra)


def states(root):
    """name -> "enabled" / "disabled" for every installed record."""
    pdb = root / "var" / "pdb"
    return {name: "disabled" if (pdb / name / "disabled").exists() else "enabled" for name in installed_names(root)}


def start(root):
    return run_installer(root, "/none.vrp")


@pytest.fixture
def root(tmp_path):
    root = make_root(tmp_path / "root")
    assert install(root, package("base")).status == 0
    return root


def prepare(root, packages, disabled=(), later=()):
    """Installs packages, disables those named, then installs the later ones."""
    for data in packages:
        assert install(root, data).status == 0
    for name in disabled:
        schedule(root, name, "disable")
    if disabled:
        start(root)
        assert all(states(root)[name] == "disabled" for name in disabled)
    for data in later:
        assert install(root, data).status == 0


LIB = package("lib")
APP = package("app", depends=["lib"])

SCENARIOS = {
    "uninstall what an active package needs": dict(
        packages=[LIB, APP], requests={"lib": "uninstall"},
        messages=["WARNING: can not uninstall lib-1.0: app depends on it"],
        after={"base": "enabled", "lib": "enabled", "app": "enabled"}),
    "disable what an active package needs": dict(
        packages=[LIB, APP], requests={"lib": "disable"},
        messages=["WARNING: can not disable lib-1.0: app depends on it"],
        after={"base": "enabled", "lib": "enabled", "app": "enabled"}),
    "disable a package and its only dependent": dict(
        packages=[LIB, APP], requests={"lib": "disable", "app": "disable"},
        messages=["disabled app-1.0", "disabled lib-1.0"],
        after={"base": "enabled", "lib": "disabled", "app": "disabled"}),
    "enable a package whose dependency is disabled": dict(
        packages=[LIB, APP], disabled=["app", "lib"], requests={"app": "enable"},
        messages=["enabled lib-1.0", "enabled app-1.0"],
        after={"base": "enabled", "lib": "enabled", "app": "enabled"}),
    "enable two packages, the first conflicting with the second": dict(
        packages=[package("a", conflicts=["b"]), package("b")], disabled=["a", "b"],
        requests={"a": "enable", "b": "enable"},
        messages=["WARNING: can not enable b: a-1.0 conflicts with it", "enabled a-1.0"],
        after={"base": "enabled", "a": "enabled", "b": "disabled"}),
    "enable two packages, the second conflicting with the first": dict(
        packages=[package("a"), package("b", conflicts=["a"])], disabled=["a", "b"],
        requests={"a": "enable", "b": "enable"},
        messages=["WARNING: can not enable a: b-1.0 conflicts with it", "enabled b-1.0"],
        after={"base": "enabled", "a": "disabled", "b": "enabled"}),
    "enable a package that conflicts with an enabled one and its dependent": dict(
        packages=[package("rival", conflicts=["lib"])], disabled=["rival"], later=[LIB, APP],
        requests={"rival": "enable"},
        messages=["disabled app-1.0", "disabled lib-1.0", "enabled rival-1.0"],
        after={"base": "enabled", "lib": "disabled", "app": "disabled", "rival": "enabled"}),
    "disable every enabled package": dict(
        packages=[LIB], requests={"lib": "disable", "base": "disable"},
        messages=["ERROR: can not uninstall or disable all packages"],
        after={"base": "enabled", "lib": "enabled"}),
}


@pytest.mark.parametrize("name", SCENARIOS)
def test_scheduled_changes(root, name):
    scenario = SCENARIOS[name]
    packages = scenario["packages"]
    prepare(root, packages, scenario.get("disabled", ()), scenario.get("later", ()))
    for package_name, word in scenario["requests"].items():
        schedule(root, package_name, word)
    result = start(root)
    assert result.status == 1  # the named package file does not exist
    assert result.messages == scenario["messages"]
    assert states(root) == scenario["after"]
    # requests are consumed whatever became of them
    assert not list((root / "var" / "pdb").glob("*/schedule"))


def test_package_whose_dependency_was_never_installed_goes_at_start(root):
    prepare(root, [LIB, APP])
    (root / "var" / "pdb" / "app" / "deps").write_text("ghost 0 0\n")
    result = start(root)
    assert result.messages == []
    assert states(root) == {"base": "enabled", "lib": "enabled"}
    assert not (root / "app").exists()


def test_enabling_a_package_whose_dependency_has_no_provider_uninstalls_it(root):
    prepare(root, [LIB, APP], disabled=["app"])
    (root / "var" / "pdb" / "app" / "deps").write_text("gone 0 0\n")
    schedule(root, "app", "enable")
    result = start(root)
    assert result.messages == []
    assert states(root) == {"base": "enabled", "lib": "enabled"}
    assert not (root / "x" / "app" / "app").exists()


def test_bundle_record_follows_its_members(root, tmp_path):
    folder = tmp_path / "packages"
    folder.mkdir()
    install(root, vrp.make_bundle(folder, "sys", "1.0", [vrp.member("a", "1.0", files={"/a": "a"}),
                                                         vrp.member("b", "1.0", files={"/b": "b"})]))
    schedule(root, "a", "disable")
    schedule(root, "b", "disable")
    result = start(root)
    assert sorted(result.messages) == ["disabled a-1.0", "disabled b-1.0", "disabled sys-1.0"]
    assert states(root) == {"base": "enabled", "a": "disabled", "b": "disabled", "sys": "disabled"}
    schedule(root, "sys", "enable")
    result = start(root)
    assert sorted(result.messages) == ["enabled a-1.0", "enabled b-1.0", "enabled sys-1.0"]
    schedule(root, "a", "uninstall")
    schedule(root, "b", "uninstall")
    start(root)
    assert states(root) == {"base": "enabled"}
