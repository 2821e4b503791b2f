"""Writing the Parquet shards of one dataset on a Dask cluster.

Each shard is an independent task: its series' seeds depend only on the
master seed and the series index, so a shard written by any worker has
exactly the bytes of the same shard written by ``tidemark generate``.

    from dask.distributed import Client
    from tidemark.distributed import generate_on_dask

    with Client("scheduler:8786") as client:
        generate_on_dask("dataset.toml", "/shared/dataset", client)

The output directory must be reachable under the same path from every
worker (a shared file system).
"""

from __future__ import annotations

from pathlib import Path
from typing import Any

from tidemark.config import Plan, plan_from_config
from tidemark.dataset import prepare_directory, require, write_shard


def _plan(description) -> Plan:
    if isinstance(description, Plan):
        return description
    if isinstance(description, (str, Path)):
        from tidemark.cli import read_config
        return plan_from_config(read_config(str(description)))
    return plan_from_config(description)


def _write_one(description: dict[str, Any], directory: str, k: int, n_workers: int) -> str:
    plan = plan_from_config(description)
    plan.n_workers = n_workers
    return str(write_shard(plan, Path(directory), k))


def generate_on_dask(description, directory, client=None, shards=None, n_workers: int = 1,
                     force: bool = False) -> list[str]:
    """Write the shards of a dataset as Dask tasks; returns their paths.

    ``description``: a TOML path, a description dict or a Plan.
    ``client``: a ``dask.distributed.Client`` (default: the current one).
    ``shards``: the shard indices to write (default: all).
    ``n_workers``: native threads per task (0 = all processors of the worker).
    """
    require("pyarrow", "parquet", "Parquet output")
    distributed = require("dask.distributed", "dask", "generate_on_dask")
    plan = _plan(description)
    directory = Path(directory).absolute()
    prepare_directory(plan, directory, force)
    client = client or distributed.get_client()
    ks = list(range(plan.n_shards)) if shards is None else list(shards)
    resolved = plan.describe()
    futures = client.map(_write_one, [resolved] * len(ks), [str(directory)] * len(ks), ks,
                         [n_workers] * len(ks), pure=False)
    return client.gather(futures)
