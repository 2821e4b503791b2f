"""Processes forked after parallel work, interrupted calls, racing writers and
memory guards: the failure modes that only show up around the calls."""

import multiprocessing
import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

from conftest import SANITIZED
from tidemark._lib.batch import generate_batch

LENGTHS = np.array([200] * 64, dtype=np.int32)


def small_batch(n_workers):
    n = len(LENGTHS)
    return generate_batch(0, np.array([0.0, 1.0, 0.0, 0, 0.0]), [], LENGTHS,
                          np.arange(n, dtype=np.uint64), np.arange(3 * n, dtype=np.uint64),
                          {"anomalies": True, "anomaly_types": ["spike"],
                           "anomaly_fraction": 0.05}, n_workers)


def digest(result):
    return b"".join(d["values"].tobytes() for d in result)


def wait_for_child(pid, timeout=60.0):
    """The child's exit status, or kill it and fail when it hangs."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.02)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    pytest.fail("the forked child hung")


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
@pytest.mark.parametrize("parent_workers, child_workers",
                         [(0, 0), (2, 2), (2, 3), (3, 0), (0, 2)])
def test_batch_runs_in_a_child_forked_after_a_batch(parent_workers, child_workers):
    expected = digest(small_batch(parent_workers))
    pid = os.fork()
    if pid == 0:  # the child: report through the exit status only
        try:
            ok = digest(small_batch(child_workers)) == expected
            ok = ok and digest(small_batch(child_workers)) == expected
            os._exit(0 if ok else 3)
        except BaseException:
            os._exit(4)
    assert wait_for_child(pid) == 0
    assert digest(small_batch(parent_workers)) == expected  # the parent's pools still work


def _batch_digest(n_workers):
    return digest(small_batch(n_workers))


@pytest.mark.skipif("fork" not in multiprocessing.get_all_start_methods(), reason="needs fork")
def test_multiprocessing_pool_with_fork_after_batches():
    expected = _batch_digest(0)
    _batch_digest(2)
    with multiprocessing.get_context("fork").Pool(2) as pool:
        result = pool.map_async(_batch_digest, [0, 2, 3, 0])
        assert result.get(timeout=60) == [expected] * 4


def _retype_during_call(call, values):
    """Runs call(values) while another thread halves the array and then
    reinterprets it as float32 (same element count, half the bytes)."""
    import threading

    started = threading.Event()

    def mutate():
        started.wait()
        time.sleep(0.01)
        import warnings

        try:
            with warnings.catch_warnings():  # newer NumPy deprecates setting .dtype
                warnings.simplefilter("ignore", DeprecationWarning)
                values.resize(len(values) // 2, refcheck=False)
                values.dtype = np.float32
        except (ValueError, TypeError):  # the array may be in use at that moment
            pass

    t = threading.Thread(target=mutate)
    t.start()
    started.set()
    try:
        call(values)
        return None
    except (TypeError, ValueError) as exc:
        return exc
    finally:
        t.join()


def test_write_back_refuses_an_array_retyped_during_the_call():
    from tidemark._lib.pattern_injection import add_missingness

    for _ in range(20):
        values = np.zeros(4_000_000)
        before = values.nbytes
        exc = _retype_during_call(
            lambda v: add_missingness(v, 1, "random", 0.5, 1, 1), values)
        assert values.nbytes <= before
        if exc is not None:  # the change landed while the call computed
            # Halved and retyped: the dtype check; only halved so far: the length check.
            assert ("changed after the argument was converted" in str(exc)
                    or "changed length during the call" in str(exc))
            assert not np.isnan(values).any()  # nothing was written
            return
    pytest.skip("the racing thread never hit the computation window")


def _interrupt_after_start(script, delay=0.5, timeout=60.0):
    """Runs `script` in a fresh interpreter, sends SIGINT `delay` seconds after
    it prints "started", and returns (seconds from signal to exit, stderr)."""
    proc = subprocess.Popen([sys.executable, "-c", textwrap.dedent(script)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert proc.stdout.readline().strip() == "started"
        time.sleep(delay)
        proc.send_signal(signal.SIGINT)
        sent = time.monotonic()
        _, err = proc.communicate(timeout=timeout)
        return time.monotonic() - sent, err, proc.returncode
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


# A parent started in the background may pass SIGINT down ignored; the
# children restore Python's own handler first.
BIG_BATCH = """
    import signal
    signal.signal(signal.SIGINT, signal.default_int_handler)
    import numpy as np
    from tidemark._lib.batch import generate_batch
    n = 20_000
    print("started", flush=True)
    generate_batch(4, np.array([1, 0, 2.0, 1.0]), [np.array([0.5])],
                   np.full(n, 2000, dtype=np.int32), np.arange(n, dtype=np.uint64),
                   np.arange(3 * n, dtype=np.uint64), {}, {workers})
    print("finished", flush=True)
"""


@pytest.mark.parametrize("workers", [0, 1])
def test_ctrl_c_stops_a_long_batch(workers):
    seconds, err, code = _interrupt_after_start(BIG_BATCH.replace("{workers}", str(workers)))
    assert "KeyboardInterrupt" in err
    assert code != 0
    assert seconds < 1.5, f"the batch took {seconds:.2f} s to stop"


def test_ctrl_c_stops_a_long_direct_call():
    script = """
        import signal
        signal.signal(signal.SIGINT, signal.default_int_handler)
        import numpy as np
        from tidemark._lib.statistical import sarima
        print("started", flush=True)
        sarima(100_000, np.array([]), np.array([]), 100_000, 0, 0, 0.0, 0.0, 1.0, 0, 1, 0, 0.0)
        print("finished", flush=True)
    """
    seconds, err, code = _interrupt_after_start(script)
    assert "KeyboardInterrupt" in err
    assert code != 0
    assert seconds < 1.5, f"the call took {seconds:.2f} s to stop"


def test_a_signal_handler_that_returns_lets_the_call_finish():
    # Handlers run during the call; only an exception stops it.
    script = """
        import os, signal, threading, numpy as np
        from tidemark._lib.statistical import sarima
        calls = []
        signal.signal(signal.SIGUSR1, lambda *a: calls.append(1))
        threading.Timer(0.05, os.kill, (os.getpid(), signal.SIGUSR1)).start()
        x = sarima(50_000, np.array([]), np.array([]), 10_000, 0, 0, 0.0, 0.0, 1.0, 0, 1, 0, 0.0)
        y = sarima(50_000, np.array([]), np.array([]), 10_000, 0, 0, 0.0, 0.0, 1.0, 0, 1, 0, 0.0)
        print(len(calls), x.tobytes() == y.tobytes())
    """
    out = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                         text=True, timeout=120)
    assert out.stdout.split() == ["1", "True"], out.stderr


def test_refusals_come_before_the_allocation():
    from tidemark._lib.statistical import inar

    with pytest.raises(ValueError, match="working length exceeds the 32-bit range"):
        inar(2**31 - 1, 1, np.array([0.5]), 0, 1.0, 0.0, 1)


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer cannot run under an address-space cap")
def test_results_larger_than_the_memory_left_are_refused():
    # An address-space limit stands for a container's memory limit: the
    # call must be refused up front, not die while touching its pages.
    script = """
        import resource, numpy as np
        from tidemark._lib.statistical import random_walk, ets
        from tidemark._lib.distributions import norm_cdf
        from tidemark._lib.batch import generate_batch
        resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))
        for call in (lambda: random_walk(2**31 - 1, 0.0, 1.0, 0.0, 1, 0, 0.0),
                     lambda: ets(2**31 - 1, 0, 0, 0, 1, 1.0, 0.0, np.empty(0), 0.1, 0.1, 0.1,
                                 1.0, False, 1.0, 1, 0, 0.0)):
            try:
                call()
            except MemoryError as exc:
                print("MemoryError", "bytes available" in str(exc))
        n = 8
        try:
            generate_batch(0, np.zeros(5), [], np.full(n, 2**30, np.int32),
                           np.arange(n, dtype=np.uint64), np.zeros(3 * n, np.uint64), {})
        except ValueError as exc:
            print("ValueError", "bytes of memory" in str(exc))
        print(random_walk(10, 0.0, 1.0, 0.0, 1, 0, 0.0).size)
    """
    out = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                         text=True, timeout=120)
    assert out.stdout.split("\n")[:4] == ["MemoryError True", "MemoryError True",
                                          "ValueError True", "10"], out.stderr


def test_memory_of_freed_batch_results_goes_back_to_the_system():
    script = """
        import gc, numpy as np
        from tidemark._lib.batch import generate_batch
        def rss():
            with open("/proc/self/status") as f:
                return next(int(l.split()[1]) for l in f if l.startswith("VmRSS"))
        n = 200_000
        args = (0, np.array([0, 1, 0, 0, 0.]), [], np.full(n, 100, np.int32),
                np.arange(n, dtype=np.uint64), np.arange(3 * n, dtype=np.uint64),
                {"anomalies": True, "anomaly_types": ["spike"], "anomaly_fraction": 0.05}, 2)
        start = rss()
        result = generate_batch(*args)
        peak = rss()
        del result
        gc.collect()
        print((rss() - start) / (peak - start))
    """
    if not os.path.exists("/proc/self/status"):
        pytest.skip("needs /proc")
    out = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                         text=True, timeout=120)
    assert float(out.stdout) < 0.3, out.stderr


# Inputs that are valid but take minutes (as specified): Ctrl-C must stop them.
SLOW_CALLS = {
    "cyclic": "cyclic(10, 0.0, 0.0, 5.0, 1.0, 1.0, 0.1, 2**31 - 1, 0.1, 1, 0, 0.0)",
    "lorenz": "chaotic_system(100000, 0, 10.0, 28.0, 2.6, 0.0, 0.0, 0.0, 0.0, 0.0, 0, 0.0, 0.0, 0)",
    "hawkes": "hawkes_process(20, 1e19, 0.0, 1.0, 1, 1.5, 0, 2**31 - 1, 1)",
    "jumps": "jump_diffusion(21, 10.0, 8.0, -2.0, 0.0, 1.0, 1.0, -2.0**31 - 1, 1, 0, 0.0)",
}


@pytest.mark.parametrize("call", list(SLOW_CALLS.values()), ids=list(SLOW_CALLS))
def test_ctrl_c_stops_slow_stochastic_calls(call):
    script = f"""
        import signal
        signal.signal(signal.SIGINT, signal.default_int_handler)
        from tidemark._lib.stochastic import *
        print("started", flush=True)
        {call}
        print("finished", flush=True)
    """
    seconds, err, code = _interrupt_after_start(script, delay=0.3)
    assert "KeyboardInterrupt" in err
    assert seconds < 1.5, f"the call took {seconds:.2f} s to stop"
