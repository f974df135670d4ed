"""The installed tree: the README's C example builds against it and runs; pip installs the
package offline and it finds the installed library."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from qxcm._native import native

REPO = Path(__file__).resolve().parents[2]


def run(*args, **kwargs):
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=600,
                          **kwargs)
    assert done.returncode == 0, f"{args}\n{done.stdout}\n{done.stderr}"
    return done.stdout


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    build = native().folder.parent
    if not (build / "CMakeCache.txt").is_file():
        pytest.fail(f"{native().folder} is not a build tree to install from")
    prefix = tmp_path_factory.mktemp("prefix")
    run("cmake", "--install", build, "--prefix", prefix)
    example = tmp_path_factory.mktemp("example")
    readme = (REPO / "README.md").read_text()
    (example / "example.c").write_text(re.search(r"```c\n(.*?)```", readme, re.S).group(1))
    return prefix, example


def test_the_readme_example_builds_with_find_package_and_with_pkg_config_and_runs(installed):
    prefix, example = installed
    (example / "CMakeLists.txt").write_text(
        "cmake_minimum_required(VERSION 3.20)\nproject(example C)\n"
        "find_package(qxcm 4 REQUIRED)\nadd_executable(example example.c)\n"
        "target_link_libraries(example PRIVATE qxcm::qxcm)\n")
    build = example / "build"
    run("cmake", "-S", example, "-B", build, "-G", "Ninja", f"-DCMAKE_PREFIX_PATH={prefix}")
    run("cmake", "--build", build)
    run(build / "example")
    pc = next(prefix.rglob("qxcm.pc"))
    env = dict(os.environ, PKG_CONFIG_PATH=str(pc.parent))
    flags = run("pkg-config", "--cflags", "--libs", "qxcm", env=env).split()
    libdir = run("pkg-config", "--variable=libdir", "qxcm", env=env).strip()
    run("cc", "-o", example / "example_pc", example / "example.c", *flags, f"-Wl,-rpath,{libdir}")
    run(example / "example_pc")


def test_pip_installs_offline_and_the_package_finds_the_installed_library(installed, tmp_path):
    prefix, _ = installed
    source = tmp_path / "src"
    shutil.copytree(REPO / "python", source, ignore=shutil.ignore_patterns("build", "*.egg-info",
                                                                           "__pycache__"))
    env_dir = tmp_path / "env"
    run(sys.executable, "-m", "venv", "--system-site-packages", env_dir)
    run(env_dir / "bin" / "python", "-m", "pip", "install", "--no-index", "-q", source)
    library = next(prefix.rglob("libqxcm.so")).parent
    out = run(env_dir / "bin" / "python", "-m", "qxcm", "--camera", "1", cwd=tmp_path,
              env=dict(os.environ, QXCM_LIBRARY=str(library)))
    assert "C-SIMEM512" in out and "EXPOSURE TIME" in out and "frame 0: (512, 512) uint16" in out
    # The live view's page travels with the package, and its console script is there.
    out = run(env_dir / "bin" / "python", "-c", "from importlib import resources; print(resources"
              ".files('qxcm.view').joinpath('page.html').read_text()[:15])", cwd=tmp_path)
    assert out.startswith("<!DOCTYPE html>") and (env_dir / "bin" / "qxcm-view").exists()


def test_the_python_readme_example_runs(sim, tmp_path):
    readme = (REPO / "python" / "README.md").read_text()
    code = re.search(r"```python\n(.*?)```", readme, re.S).group(1)
    sim.reset()
    exec(compile(code.replace("/tmp/", f"{tmp_path}/"), "README.md", "exec"), {})
    assert sorted(p.name for p in tmp_path.iterdir()) == ["run1.vlseq", "run2.vlseq"]
    sim.reset()


@pytest.mark.parametrize("beside, env, expect", [
    (True, "nowhere", "beside"),   # a library beside the package wins
    (False, "folder", "folder"),   # then QXCM_LIBRARY, a folder
    (False, "file", "folder"),     # or the file itself
])
def test_the_library_is_looked_for_beside_then_through_the_variable(
        tmp_path, beside, env, expect):
    built = native().folder / "libqxcm.so"
    package = tmp_path / "beside" / "qxcm"
    shutil.copytree(REPO / "python" / "qxcm", package,
                    ignore=shutil.ignore_patterns("__pycache__"))
    if beside:
        (package / "libqxcm.so").symlink_to(built)
    (folder := tmp_path / "folder").mkdir()
    (folder / "libqxcm.so").symlink_to(built)
    environment = {k: v for k, v in os.environ.items() if k != "QXCM_LIBRARY"}
    environment["PYTHONPATH"] = str(package.parent)
    environment["QXCM_LIBRARY"] = {"nowhere": "/nonexistent", "folder": str(folder),
                                   "file": str(folder / "libqxcm.so")}[env]
    script = "import qxcm._native as n; print(n.native().path)"
    out = run(sys.executable, "-c", script, env=environment, cwd=tmp_path).strip()
    assert Path(out) == {"beside": package, "folder": folder}[expect] / "libqxcm.so"


def test_without_numpy_the_program_prints_how_to_get_it(tmp_path):
    (tmp_path / "numpy").mkdir()
    (tmp_path / "numpy" / "__init__.py").write_text("raise ImportError('no numpy here')\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(tmp_path), str(REPO / "python")]))
    done = subprocess.run([sys.executable, "-m", "qxcm"], capture_output=True, text=True,
                          timeout=60, env=env, cwd=tmp_path)
    assert done.returncode == 1 and done.stdout == ""
    assert done.stderr.count("\n") == 1 and "apt-get install python3-numpy" in done.stderr
