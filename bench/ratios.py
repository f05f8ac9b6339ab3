#!/usr/bin/env python3
"""Speed ratios of the conversion kernels, from convert_bench's JSON output.

    convert_bench --benchmark_format=json | python3 bench/ratios.py
    python3 bench/ratios.py results.json

For each case (channels, size) prints the selected kernel's throughput and
its ratio to three baselines: the scalar reference, the vectorised three-pass
conversion, and numpy's best in-place pipeline (measured here, right after
the benchmark, on the same workload); then the selected kernel against a
memcpy of the input, and every other kernel's ratio to the scalar reference.
"""
import json
import sys
import timeit

BLOCK_FRAMES = 4096            # the 40 ms case: frames per block
LARGE_VALUES = (32 << 20) // 8  # the 32 MiB case: doubles


def load(argv):
    if len(argv) > 1:
        with open(argv[1], encoding="utf-8") as f:
            return json.load(f)
    return json.load(sys.stdin)


def throughputs(report):
    """{(channels, size): {implementation: items per second}}, mean of repetitions."""
    runs = {}
    for b in report.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration" or "items_per_second" not in b:
            continue
        _, impl, channels, size = b["name"].split("/")[:4]
        runs.setdefault((channels, size), {}).setdefault(impl, []).append(b["items_per_second"])
    return {case: {impl: sum(v) / len(v) for impl, v in impls.items()} for case, impls in runs.items()}


def numpy_rate(channels, size):
    """Values per second of numpy's fastest in-place pipeline on convert_bench's
    workload: subtract (broadcast, no expanded block), multiply, round, clip,
    store as int16. None without numpy."""
    try:
        import numpy as np
    except ImportError:
        return None
    values = BLOCK_FRAMES * channels if size == "40ms" else LARGE_VALUES
    ch = np.arange(channels)
    half = np.where(ch % 2 == 0, 10.0, 5.0)
    offsets = np.where(ch % 2 == 0, 0.0, 5.0)
    scales = 32000.0 / half
    rng = np.random.default_rng(42)
    frames = values // channels
    x = offsets + rng.uniform(-1.05, 1.05, (frames, channels)) * half
    work = np.empty_like(x)
    out = np.empty(x.shape, np.int16)
    has_offset = bool(np.any(offsets != 0))

    def run():
        if has_offset:
            np.subtract(x, offsets, out=work)
            np.multiply(work, scales, out=work)
        else:
            np.multiply(x, scales, out=work)
        np.rint(work, out=work)
        np.clip(work, -32768, 32767, out=work)
        np.copyto(out, work, casting="unsafe")

    timer = timeit.Timer(run)
    number, _ = timer.autorange()
    best = min(timer.repeat(repeat=5, number=number)) / number
    return x.size / best


def main(argv):
    report = load(argv)
    selected = report.get("context", {}).get("selected_kernel", "?")
    cases = throughputs(report)
    print(f"selected kernel: {selected}; 40ms stays in cache, 32MiB does not")
    print(f"{'case':<16}{'Mval/s':>9}{'x scalar':>10}{'x 3-pass':>10}{'x numpy':>9}"
          f"{'memcpy Mval/s':>15}{'/ memcpy':>10}   others x scalar")
    order = sorted(cases, key=lambda c: (c[1] != "40ms", int(c[0].split(":")[1])))
    for case in order:
        t = cases[case]
        sel, scalar, three, copy = (t.get(k) for k in ("selected", "scalar", "three_pass", "memcpy"))
        if None in (sel, scalar, three, copy):
            continue
        numpy = numpy_rate(int(case[0].split(":")[1]), case[1])
        vs_numpy = f"{sel / numpy:>9.1f}" if numpy else f"{'-':>9}"
        others = "  ".join(f"{k} {v / scalar:.1f}" for k, v in sorted(t.items())
                           if k not in ("selected", "scalar", "three_pass", "memcpy"))
        print(f"{case[0] + ' ' + case[1]:<16}{sel / 1e6:>9.0f}{sel / scalar:>10.1f}{sel / three:>10.1f}{vs_numpy}"
              f"{copy / 1e6:>15.0f}{sel / copy:>10.2f}   {others}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
