"""Fixtures of the end-to-end suite: data_dir, a fresh folder after
`rentdesk-admin init N` (N from @pytest.mark.slots(N), else 13), and
make_data_dir for more; rentdesk(date=..., program=..., folder=...) and
spawn(argv, cwd=..., date=...) start sessions, all ended at teardown."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line("markers", "slots(n): slot count given to rentdesk-admin init "
                                       "for the data_dir fixture (default 13)")


@pytest.fixture
def make_data_dir(tmp_path):
    made = []

    def make(slots: int = 13) -> harness.DataDir:
        made.append(harness.DataDir.create(tmp_path / f"data{len(made)}", slots))
        return made[-1]

    return make


@pytest.fixture
def data_dir(request, make_data_dir) -> harness.DataDir:
    marker = request.node.get_closest_marker("slots")
    return make_data_dir(marker.args[0] if marker else 13)


@pytest.fixture
def sessions():
    """Every session a test starts; all are ended at teardown, and one that
    had to be killed is reported, since a program must end on end of input."""
    started = []
    yield started
    killed = [s for s in started if s.exit_status is None and s.close().how == "killed"]
    if killed:
        pytest.fail("killed after ignoring end of input and hangup: "
                    + ", ".join(" ".join(s.argv) for s in killed), pytrace=False)


@pytest.fixture
def rentdesk(request, sessions):
    def start(date="2009-03-05", program="rentdesk", folder=None, **kw) -> harness.Session:
        folder = folder if folder is not None else request.getfixturevalue("data_dir")
        path = folder.path if isinstance(folder, harness.DataDir) else folder
        sessions.append(harness.start_program(program, path, date=date, **kw))
        return sessions[-1]

    return start


@pytest.fixture
def spawn(tmp_path, sessions):
    def start(argv, cwd=None, **kw) -> harness.Session:
        sessions.append(harness.Session(argv, cwd if cwd is not None else tmp_path, **kw))
        return sessions[-1]

    return start
