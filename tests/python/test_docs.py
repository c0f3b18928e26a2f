"""Every example command of the README and of kvcvrt-cli(1) runs as written, in a
copy of examples/, with the built programs first on the PATH."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def readme_blocks(kind):
    """The fenced blocks of one kind in the README's sections on using kvcvrt."""
    text = (ROOT / "README.md").read_text()
    usage = text[text.index("## Batch use"):text.index("## The matrix input text")]
    return re.findall(rf"```{kind}\n(.*?)```", usage, re.S)


def man_examples():
    """The lines between .RS and .RE of the EXAMPLES section, roff escapes undone."""
    text = (ROOT / "dist/man/kvcvrt-cli.h2m").read_text()
    section = text[text.index("[EXAMPLES]"):text.index("[EXIT STATUS]")]
    blocks = re.findall(r"^\.RS\n(.*?)^\.RE", section, re.S | re.M)
    lines = [line for block in blocks for line in block.splitlines() if not line.startswith(".")]
    return "\n".join(line.replace("\\-", "-") for line in lines) + "\n"


@pytest.fixture
def examples(tmp_path):
    folder = tmp_path / "examples"
    shutil.copytree(ROOT / "examples", folder)
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    (bin_dir / "kvcvrt-cli").symlink_to(os.environ["KVCVRT_CLI"])
    (bin_dir / "python3").symlink_to(sys.executable)  # the interpreter the module was built for
    (bin_dir / "less").symlink_to(shutil.which("cat"))  # no terminal here: the pager only passes the text on
    env = dict(os.environ, PATH=f"{bin_dir}{os.pathsep}{os.environ['PATH']}")
    return folder, env


@pytest.mark.parametrize("name, command", [(f"README sh {i + 1}", ["bash", "-euo", "pipefail", "-c", b])
                                           for i, b in enumerate(readme_blocks("sh"))] +
                         [("kvcvrt-cli(1) EXAMPLES", ["bash", "-euo", "pipefail", "-c", man_examples()])] +
                         [(f"README python {i + 1}", [sys.executable, "-c", b])
                          for i, b in enumerate(readme_blocks("python"))])
def test_examples_run(examples, name, command):
    folder, env = examples
    done = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    assert done.returncode == 0, f"{name}:\n{command[-1]}\n{done.stderr}"
    assert "inconsistent" not in done.stdout
